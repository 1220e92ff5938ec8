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

protected:
    // Argument helpers for handlers: the argument at `index` converted, or an error
    // that names the argument's position.
    static QString TextArg(const Arguments& args, std::size_t index);
    static qint32 IntArg(const Arguments& args, std::size_t index);
    [[noreturn]] static void ThrowUnknownMember(const QString& member);
};

// A Dispatch that dispatches through a table of named members.
class DispatchTable : public Dispatch {
public:
    using Handler = std::function<Variant(const Arguments& args)>;

    Variant Invoke(const QString& member, InvokeKind kind, const Arguments& args) override;

protected:
    void AddMember(const QString& name, Handler handler);

private:
    QHash<QString, Handler> FMembers; // keys in lower case
};

// A Dispatch whose members are the same for every object of class T: the table is
// built once, on first use, by T::BuildMembers(ClassMembers<T>&), and each handler
// is given the object it was invoked on. For objects made once per mail, where a
// table per object would cost more than the calls it serves.
template <class T>
class ClassMembers {
public:
    using Handler = std::function<Variant(T& self, const Arguments& args)>;

    void Add(const QString& name, Handler handler)
    {
        FExact.insert(name, handler);
        FMembers.insert(name.toLower(), std::move(handler));
    }
    // Names are matched without regard to case. Callers nearly always spell a
    // member as it was added, which is looked up first without making a
    // lower-case copy of the name.
    const Handler* Find(const QString& member) const
    {
        if (const auto exact = FExact.constFind(member); exact != FExact.constEnd())
            return &*exact;
        const auto it = FMembers.constFind(member.toLower());
        return it == FMembers.constEnd() ? nullptr : &*it;
    }

private:
    QHash<QString, Handler> FExact;   // keys as added
    QHash<QString, Handler> FMembers; // keys in lower case
};

template <class T>
class ClassDispatch : public Dispatch {
public:
    Variant Invoke(const QString& member, InvokeKind, const Arguments& args) override
    {
        static const ClassMembers<T> members = [] {
            ClassMembers<T> built;
            T::BuildMembers(built);
            return built;
        }();
        const auto* handler = members.Find(member);
        if (!handler)
            ThrowUnknownMember(member);
        return (*handler)(static_cast<T&>(*this), args);
    }
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
