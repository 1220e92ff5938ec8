// The late-bound object interface: members are invoked by name, with a kind and
// arguments, and names match without regard to case.
#pragma once

#include "Variant.h"

#include <QHash>
#include <QString>
#include <functional>
#include <memory>

namespace Automation {

enum class InvokeKind {
    PropertyGet, // a property read, optionally with arguments
    Method,      // a method call that returns a value
    Procedure,   // a method call without a result
};

QString InvokeKindName(InvokeKind kind);

// An automation object. Invoke raises an Exception for an unknown member, for
// arguments it cannot use, or when the operation itself fails; callers go through
// OleRef, which turns every failure into an EOleException naming the member.
class Dispatch : public std::enable_shared_from_this<Dispatch> {
public:
    virtual ~Dispatch() = default;

    // The object's class name as shown in messages ("MailItem", "Folder").
    virtual QString ClassName() const = 0;
    virtual Variant Invoke(const QString& member, InvokeKind kind, const Arguments& args) = 0;
};

// A Dispatch that dispatches through a table of named members.
class DispatchTable : public Dispatch {
public:
    using Handler = std::function<Variant(const Arguments& args)>;

    Variant Invoke(const QString& member, InvokeKind kind, const Arguments& args) override;

protected:
    void AddMember(const QString& name, Handler handler);

    // Argument helpers for handlers: the argument at `index` converted, or an error
    // that names the argument's position.
    static QString TextArg(const Arguments& args, std::size_t index);
    static qint32 IntArg(const Arguments& args, std::size_t index);

private:
    QHash<QString, Handler> FMembers; // keys in lower case
};

// An automation reference: one object or the null state. Copying shares the
// object; clearing or destroying drops this reference.
class OleRef {
public:
    OleRef() = default;
    OleRef(DispatchPtr object) : FObject(std::move(object)) {}

    bool IsNull() const { return !FObject; }
    void Clear() { FObject.reset(); }
    const DispatchPtr& Object() const { return FObject; }
    QString ClassName() const;

    Variant Get(const QString& member, const Arguments& args = {}) const;
    Variant Call(const QString& member, const Arguments& args = {}) const;
    void Exec(const QString& member, const Arguments& args = {}) const;

    // Property reads with their result converted.
    QString GetText(const QString& member, const Arguments& args = {}) const;
    qint32 GetInt(const QString& member, const Arguments& args = {}) const;
    TDateTime GetDateTime(const QString& member, const Arguments& args = {}) const;
    OleRef GetObject(const QString& member, const Arguments& args = {}) const;
    // A method call whose result is an object.
    OleRef CallObject(const QString& member, const Arguments& args = {}) const;

    bool operator==(const OleRef& other) const { return FObject == other.FObject; }

private:
    Variant Invoke(const QString& member, InvokeKind kind, const Arguments& args) const;
    QString Context(const QString& member) const;

    DispatchPtr FObject;
};

} // namespace Automation
