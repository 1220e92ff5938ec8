// A scripted in-memory automation server for the tests: an application,
// namespace, folders, items, recipients and attachments described in a few lines.
// Every call is recorded (object, member, kind, arguments) and any member of any
// object can be made to fail.
#pragma once

#include "automation/Dispatch.h"
#include "runtime/DateTime.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace Fake {

struct Call {
    QString Object; // the fake object's id, such as "app" or "mail:Hello"
    QString Member;
    Automation::InvokeKind Kind;
    Automation::Arguments Args;
};

class CallLog {
public:
    std::vector<Call> Calls;

    void Clear() { Calls.clear(); }
    // Calls of `member` (case-insensitive), on the object with id `object` or,
    // when `object` is empty, on any object.
    int Count(const QString& member, const QString& object = QString()) const;
    int Total() const { return static_cast<int>(Calls.size()); }
    // "object.member" of every call, in order.
    QStringList Trace() const;
};

class FakeObject : public Automation::Dispatch {
public:
    using Handler = std::function<Automation::Variant(const Automation::Arguments&)>;

    FakeObject(CallLog& log, QString className, QString id)
        : FLog(log), FClassName(std::move(className)), FId(std::move(id))
    {
    }

    QString ClassName() const override { return FClassName; }
    const QString& Id() const { return FId; }
    Automation::Variant Invoke(const QString& member, Automation::InvokeKind kind,
                               const Automation::Arguments& args) override;

    // A member that returns a fixed value.
    FakeObject& Set(const QString& member, const Automation::Variant& value);
    // A member computed on every call.
    FakeObject& On(const QString& member, Handler handler);
    // Makes every later call of the member raise an error with this text.
    FakeObject& Fail(const QString& member,
                     const QString& message = QStringLiteral("失敗させた呼び出し"));
    FakeObject& Unfail(const QString& member);

private:
    CallLog& FLog;
    QString FClassName;
    QString FId;
    QHash<QString, Handler> FMembers;  // lower-case keys
    QHash<QString, QString> FFailures; // lower-case keys
};

using FakePtr = std::shared_ptr<FakeObject>;

// A collection object with Count and Item(1..Count) over a list it shares.
FakePtr MakeCollection(CallLog& log, const QString& id,
                       std::shared_ptr<std::vector<Automation::DispatchPtr>> items);

struct AttachmentSpec {
    QString FileName;
    QByteArray Data;
};

struct RecipientSpec {
    QString Name;
    QString Address;
};

struct MailSpec {
    QString Subject;
    QString Body;
    QString SenderName;
    QString SenderEmailAddress;
    QString To, CC, BCC;
    std::vector<RecipientSpec> Recipients;
    std::vector<AttachmentSpec> Attachments;
    TDateTime SentOn = 0;
    TDateTime ReceivedTime = 0;
    qint32 Importance = 1;
    qint32 Sensitivity = 0;
    QString EntryID;
    QString ReplyRecipientNames;
};

// A folder of the fake Outlook, with its sub-folder list and its items.
struct FakeFolder {
    FakePtr Object;
    std::shared_ptr<std::vector<Automation::DispatchPtr>> SubFolders;
    std::shared_ptr<std::vector<Automation::DispatchPtr>> Items;
    FakePtr SubFolderCollection;
    FakePtr ItemCollection;
};

// A fake Outlook: application, namespace and top-level folder collection.
class FakeOutlook {
public:
    FakeOutlook();
    ~FakeOutlook();

    CallLog Log;
    FakePtr App;
    FakePtr Namespace;
    FakePtr TopFolderCollection;
    std::shared_ptr<std::vector<Automation::DispatchPtr>> TopFolders;

    // Adds a folder at the top level (parent null) or below parent.
    FakeFolder& AddFolder(FakeFolder* parent, const QString& name, qint32 itemType = 0);
    // Adds a mail item to the folder; its id is "mail:" followed by the subject.
    FakePtr AddMail(FakeFolder& folder, const MailSpec& spec);
    // A stand-alone mail item, not in any folder.
    FakePtr MakeMail(const MailSpec& spec, const QString& id);

    // Registers this fake as the class "Outlook.Application" (creation gives App).
    void RegisterClass();
    // Registers App as the running Outlook.
    void SetRunning();

    // Files written through SaveAs: (path, format number).
    std::vector<std::pair<QString, qint32>> SavedAs;

private:
    std::vector<std::unique_ptr<FakeFolder>> FFolders;
    bool FRegistered = false;
};

} // namespace Fake
