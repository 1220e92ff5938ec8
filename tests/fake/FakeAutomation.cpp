#include "FakeAutomation.h"

#include "automation/ComObj.h"
#include "runtime/Exception.h"

#include <QFile>
#include <QStringList>

using Automation::Arguments;
using Automation::DispatchPtr;
using Automation::Variant;

namespace Fake {

int CallLog::Count(const QString& member, const QString& object) const
{
    int n = 0;
    for (const Call& c : Calls) {
        if (c.Member.compare(member, Qt::CaseInsensitive) == 0 &&
            (object.isEmpty() || c.Object == object))
            ++n;
    }
    return n;
}

QStringList CallLog::Trace() const
{
    QStringList out;
    for (const Call& c : Calls)
        out << c.Object + QLatin1Char('.') + c.Member;
    return out;
}

Variant FakeObject::Invoke(const QString& member, Automation::InvokeKind kind, const Arguments& args)
{
    FLog.Calls.push_back({FId, member, kind, args});
    const QString key = member.toLower();
    const auto failure = FFailures.constFind(key);
    if (failure != FFailures.constEnd())
        throw EOleException(*failure);
    const auto it = FMembers.constFind(key);
    if (it == FMembers.constEnd())
        throw EOleException(QStringLiteral("メンバー %1 はありません。").arg(member));
    return (*it)(args);
}

FakeObject& FakeObject::Set(const QString& member, const Variant& value)
{
    FMembers.insert(member.toLower(), [value](const Arguments&) { return value; });
    return *this;
}

FakeObject& FakeObject::On(const QString& member, Handler handler)
{
    FMembers.insert(member.toLower(), std::move(handler));
    return *this;
}

FakeObject& FakeObject::Fail(const QString& member, const QString& message)
{
    FFailures.insert(member.toLower(), message);
    return *this;
}

FakeObject& FakeObject::Unfail(const QString& member)
{
    FFailures.remove(member.toLower());
    return *this;
}

FakePtr MakeCollection(CallLog& log, const QString& id, std::shared_ptr<std::vector<DispatchPtr>> items)
{
    auto collection = std::make_shared<FakeObject>(log, QStringLiteral("Collection"), id);
    collection->On(QStringLiteral("Count"),
                   [items](const Arguments&) { return Variant(static_cast<qint32>(items->size())); });
    collection->On(QStringLiteral("Item"), [items](const Arguments& args) {
        const qint32 index = args.empty() ? 0 : Automation::VarToInt(args[0], QStringLiteral("Item"));
        if (index < 1 || index > static_cast<qint32>(items->size()))
            throw EOleException(QStringLiteral("配列の範囲外です。(%1)").arg(index));
        return Variant((*items)[static_cast<std::size_t>(index - 1)]);
    });
    return collection;
}

FakeOutlook::FakeOutlook()
    : App(std::make_shared<FakeObject>(Log, QStringLiteral("Application"), QStringLiteral("app"))),
      Namespace(std::make_shared<FakeObject>(Log, QStringLiteral("NameSpace"), QStringLiteral("ns"))),
      TopFolders(std::make_shared<std::vector<DispatchPtr>>())
{
    TopFolderCollection = MakeCollection(Log, QStringLiteral("ns.Folders"), TopFolders);
    App->On(QStringLiteral("GetNamespace"), [this](const Arguments&) { return Variant(Namespace); })
        .Set(QStringLiteral("Version"), QStringLiteral("16.0.0.1"))
        .On(QStringLiteral("Session"), [this](const Arguments&) { return Variant(Namespace); })
        .Set(QStringLiteral("Quit"), Variant());
    Namespace->Set(QStringLiteral("Logoff"), Variant())
        .On(QStringLiteral("Folders"), [this](const Arguments&) { return Variant(TopFolderCollection); })
        .On(QStringLiteral("GetDefaultFolder"), [this](const Arguments&) {
            if (TopFolders->empty())
                throw EOleException(QStringLiteral("既定のフォルダがありません。"));
            return Variant(TopFolders->front());
        });
}

FakeOutlook::~FakeOutlook()
{
    // The registrations refer to this object; they must not outlive it.
    Automation::RevokeActiveObject(QStringLiteral("Outlook.Application"), App.get());
    if (FRegistered)
        Automation::UnregisterClass(QStringLiteral("Outlook.Application"));
}

FakeFolder& FakeOutlook::AddFolder(FakeFolder* parent, const QString& name, qint32 itemType)
{
    auto folder = std::make_unique<FakeFolder>();
    folder->Object = std::make_shared<FakeObject>(Log, QStringLiteral("Folder"), QStringLiteral("folder:") + name);
    folder->SubFolders = std::make_shared<std::vector<DispatchPtr>>();
    folder->Items = std::make_shared<std::vector<DispatchPtr>>();
    folder->SubFolderCollection = MakeCollection(Log, QStringLiteral("folders:") + name, folder->SubFolders);
    folder->ItemCollection = MakeCollection(Log, QStringLiteral("items:") + name, folder->Items);
    FakeFolder* raw = folder.get();
    folder->Object->Set(QStringLiteral("Name"), name)
        .Set(QStringLiteral("DefaultItemType"), itemType)
        .On(QStringLiteral("Folders"), [raw](const Arguments&) { return Variant(raw->SubFolderCollection); })
        .On(QStringLiteral("Items"), [raw](const Arguments&) { return Variant(raw->ItemCollection); })
        .Set(QStringLiteral("Display"), Variant());
    (parent ? parent->SubFolders : TopFolders)->push_back(folder->Object);
    FFolders.push_back(std::move(folder));
    return *FFolders.back();
}

FakePtr FakeOutlook::MakeMail(const MailSpec& spec, const QString& id)
{
    auto mail = std::make_shared<FakeObject>(Log, QStringLiteral("MailItem"), id);
    auto recipients = std::make_shared<std::vector<DispatchPtr>>();
    int n = 0;
    for (const RecipientSpec& r : spec.Recipients) {
        auto recipient = std::make_shared<FakeObject>(Log, QStringLiteral("Recipient"),
                                                      id + QStringLiteral(":recipient%1").arg(++n));
        recipient->Set(QStringLiteral("Name"), r.Name).Set(QStringLiteral("Address"), r.Address);
        recipients->push_back(recipient);
    }
    auto attachments = std::make_shared<std::vector<DispatchPtr>>();
    n = 0;
    for (const AttachmentSpec& a : spec.Attachments) {
        auto attachment = std::make_shared<FakeObject>(Log, QStringLiteral("Attachment"),
                                                       id + QStringLiteral(":attachment%1").arg(++n));
        const QByteArray data = a.Data;
        attachment->Set(QStringLiteral("FileName"), a.FileName)
            .On(QStringLiteral("SaveAsFile"), [data](const Arguments& args) {
                QFile file(Automation::VarToText(args.at(0), QStringLiteral("SaveAsFile")));
                if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
                    throw EOleException(QStringLiteral("ファイルを書き込めません。"));
                return Variant();
            });
        attachments->push_back(attachment);
    }
    auto recipientCollection = MakeCollection(Log, id + QStringLiteral(":recipients"), recipients);
    auto attachmentCollection = MakeCollection(Log, id + QStringLiteral(":attachments"), attachments);
    mail->Set(QStringLiteral("Subject"), spec.Subject)
        .Set(QStringLiteral("Body"), spec.Body)
        .Set(QStringLiteral("SenderName"), spec.SenderName)
        .Set(QStringLiteral("SenderEmailAddress"), spec.SenderEmailAddress)
        .Set(QStringLiteral("To"), spec.To)
        .Set(QStringLiteral("CC"), spec.CC)
        .Set(QStringLiteral("BCC"), spec.BCC)
        .Set(QStringLiteral("SentOn"), Variant::FromDate(spec.SentOn))
        .Set(QStringLiteral("ReceivedTime"), Variant::FromDate(spec.ReceivedTime))
        .Set(QStringLiteral("Importance"), spec.Importance)
        .Set(QStringLiteral("Sensitivity"), spec.Sensitivity)
        .Set(QStringLiteral("EntryID"), spec.EntryID)
        .Set(QStringLiteral("ReplyRecipientNames"), spec.ReplyRecipientNames)
        .Set(QStringLiteral("Recipients"), Variant(recipientCollection))
        .Set(QStringLiteral("Attachments"), Variant(attachmentCollection))
        .On(QStringLiteral("SaveAs"), [this](const Arguments& args) {
            const QString path = Automation::VarToText(args.at(0), QStringLiteral("SaveAs"));
            const qint32 format = Automation::VarToInt(args.at(1), QStringLiteral("SaveAs"));
            SavedAs.emplace_back(path, format);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                throw EOleException(QStringLiteral("ファイルを作成できません。"));
            file.write("saved by the fake in format " + QByteArray::number(format));
            return Variant();
        });
    const MailSpec replySpec = [&spec] {
        MailSpec r;
        r.Subject = QStringLiteral("RE: ") + spec.Subject;
        r.Recipients = {{spec.SenderName, spec.SenderEmailAddress}};
        return r;
    }();
    mail->On(QStringLiteral("Reply"), [this, replySpec, id](const Arguments&) {
        return Variant(MakeMail(replySpec, id + QStringLiteral(":reply")));
    });
    return mail;
}

FakePtr FakeOutlook::AddMail(FakeFolder& folder, const MailSpec& spec)
{
    FakePtr mail = MakeMail(spec, QStringLiteral("mail:") + spec.Subject);
    folder.Items->push_back(mail);
    return mail;
}

void FakeOutlook::RegisterClass()
{
    Automation::RegisterClass(QStringLiteral("Outlook.Application"), [this] { return App; });
    FRegistered = true;
}

void FakeOutlook::SetRunning()
{
    Automation::RegisterActiveObject(QStringLiteral("Outlook.Application"), App);
}

} // namespace Fake
