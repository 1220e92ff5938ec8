#include "Objects.h"
#include "OutlookPst.h"
#include "Store.h"
#include "automation/ComObj.h"
#include "runtime/Exception.h"

#include <QFileInfo>
#include <map>
#include <optional>

using Automation::Arguments;
using Automation::DispatchPtr;
using Automation::Variant;

namespace OutlookPst {

namespace {

const QString kProgId = QStringLiteral("Outlook.Application");
const QString kVersion = QStringLiteral("16.0.0.0");

std::optional<QStringList>& SessionStores()
{
    static std::optional<QStringList> stores;
    return stores;
}

struct DefaultFolderName {
    qint32 Number;
    const char* English;
    const char16_t* Japanese;
};

const DefaultFolderName kDefaultFolders[] = {
    {3, "Deleted Items", u"削除済みアイテム"},
    {4, "Outbox", u"送信トレイ"},
    {5, "Sent Items", u"送信済みアイテム"},
    {6, "Inbox", u"受信トレイ"},
    {9, "Calendar", u"予定表"},
    {10, "Contacts", u"連絡先"},
    {11, "Journal", u"履歴"},
    {12, "Notes", u"メモ"},
    {13, "Tasks", u"タスク"},
    {16, "Drafts", u"下書き"},
};

// Data files opened by CheckDataFile, by absolute path, until a namespace takes them.
std::map<QString, StorePtr>& CheckedStores()
{
    static std::map<QString, StorePtr> stores;
    return stores;
}

StorePtr OpenStore(const QString& path)
{
    auto& checked = CheckedStores();
    const auto found = checked.find(QFileInfo(path).absoluteFilePath());
    if (found == checked.end())
        return Store::Open(path);
    StorePtr store = found->second;
    checked.erase(found);
    return store;
}

} // namespace

QString CheckDataFile(const QString& path)
{
    StorePtr store = Store::Open(path);
    try {
        store->RequireOpen();
    } catch (const Exception& e) {
        return e.Message();
    }
    CheckedStores()[QFileInfo(path).absoluteFilePath()] = store;
    return QString();
}

void SetSessionStores(const QStringList& paths)
{
    SessionStores() = paths;
}

void ClearSessionStores()
{
    SessionStores().reset();
}

void RegisterOutlookApplication()
{
    Automation::RegisterClass(kProgId, []() -> DispatchPtr {
        const std::optional<QStringList>& session = SessionStores();
        auto application =
            std::make_shared<ApplicationObject>(session ? *session : ProfileStores());
        Automation::RegisterActiveObject(kProgId, application);
        return application;
    });
}

ApplicationObject::ApplicationObject(QStringList storePaths) : FStorePaths(std::move(storePaths))
{
    AddMember(QStringLiteral("GetNamespace"), [this](const Arguments& args) {
        const QString type = TextArg(args, 0);
        if (type.compare(QLatin1String("MAPI"), Qt::CaseInsensitive) != 0)
            throw EOleException(
                QStringLiteral("名前空間 %1 には対応していません (対応しているのは MAPI)。")
                    .arg(type));
        return Variant(DispatchPtr(Namespace()));
    });
    AddMember(QStringLiteral("Session"),
              [this](const Arguments&) { return Variant(DispatchPtr(Namespace())); });
    AddMember(QStringLiteral("Version"), [](const Arguments&) { return Variant(kVersion); });
    AddMember(QStringLiteral("Name"),
              [](const Arguments&) { return Variant(QStringLiteral("Outlook")); });
    AddMember(QStringLiteral("Quit"), [this](const Arguments&) {
        Quit();
        return Variant();
    });
}

ApplicationObject::~ApplicationObject() = default;

std::shared_ptr<NamespaceObject> ApplicationObject::Namespace()
{
    if (FQuit)
        throw EOleException(QStringLiteral("Outlook は終了しています。"));
    if (!FNamespace)
        FNamespace = std::make_shared<NamespaceObject>(FStorePaths);
    return FNamespace;
}

void ApplicationObject::Quit()
{
    if (FNamespace)
        FNamespace->Close();
    FNamespace.reset();
    FQuit = true;
    // Revoking may drop the last reference to this object: nothing follows it.
    Automation::RevokeActiveObject(kProgId, this);
}

NamespaceObject::NamespaceObject(QStringList storePaths) : FStorePaths(std::move(storePaths))
{
    AddMember(QStringLiteral("Logoff"), [](const Arguments&) { return Variant(); });
    AddMember(QStringLiteral("Folders"), [this](const Arguments&) {
        TopFolders();
        auto self = std::static_pointer_cast<NamespaceObject>(shared_from_this());
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Folders"),
            [self] { return static_cast<qint32>(self->TopFolders().size()); },
            [self](qint32 i) -> DispatchPtr {
                return self->TopFolders()[static_cast<std::size_t>(i)];
            }));
    });
    AddMember(QStringLiteral("GetDefaultFolder"),
              [this](const Arguments& args) { return Variant(DefaultFolder(IntArg(args, 0))); });
    AddMember(QStringLiteral("AddStore"), [this](const Arguments& args) {
        AddStore(TextArg(args, 0));
        return Variant();
    });
    AddMember(QStringLiteral("RemoveStore"), [this](const Arguments& args) {
        if (args.empty() || args[0].Type() != Automation::VarType::Object)
            throw EOleException(QStringLiteral("1番目の引数にはフォルダーを渡してください。"));
        RemoveStore(args[0].AsObject());
        return Variant();
    });
}

NamespaceObject::~NamespaceObject() = default;

const std::vector<FolderObjectPtr>& NamespaceObject::TopFolders()
{
    if (FClosed)
        throw EOleException(QStringLiteral("Outlook は終了しています。"));
    if (!FOpened) {
        // Each data file is opened once; one that fails shows under its file
        // name and reports its failure when its folders are read.
        for (const QString& path : FStorePaths)
            FTop.push_back(FolderObject::StoreRoot(OpenStore(path)));
        FOpened = true;
    }
    return FTop;
}

DispatchPtr NamespaceObject::DefaultFolder(qint32 number)
{
    const DefaultFolderName* known = nullptr;
    for (const DefaultFolderName& d : kDefaultFolders)
        if (d.Number == number)
            known = &d;
    if (!known)
        throw EOleException(QStringLiteral("既定のフォルダーの番号 %1 は不明です。").arg(number));
    const QString japanese = QString::fromUtf16(known->Japanese);
    const std::vector<FolderObjectPtr>& top = TopFolders();
    if (!top.empty()) {
        try {
            for (const FolderObjectPtr& folder : top.front()->SubFolders()) {
                const QString name = folder->Name();
                if (name.compare(QLatin1String(known->English), Qt::CaseInsensitive) == 0 ||
                    name == japanese)
                    return folder;
            }
        } catch (const Exception&) {
            // A damaged first data file must not stop a start-up that shows this
            // folder; its own folders report the damage when they are read.
        }
    }
    // With no such folder (or no data file at all) an empty folder stands in.
    return FolderObject::Placeholder(japanese);
}

void NamespaceObject::AddStore(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw EOleException(QStringLiteral("データファイル %1 がありません。").arg(path));
    AddProfileStore(path);
    TopFolders();
    const QString absolute = info.absoluteFilePath();
    for (const FolderObjectPtr& folder : FTop)
        if (QFileInfo(folder->GetStore()->Path()).absoluteFilePath() == absolute)
            return;
    FStorePaths << absolute;
    FTop.push_back(FolderObject::StoreRoot(OpenStore(absolute)));
}

void NamespaceObject::RemoveStore(const DispatchPtr& object)
{
    TopFolders();
    for (auto it = FTop.begin(); it != FTop.end(); ++it) {
        if (it->get() != object.get())
            continue;
        const QString path = (*it)->GetStore()->Path();
        bool inProfile = false;
        for (const QString& p : ProfileStores())
            if (QFileInfo(p).absoluteFilePath() == QFileInfo(path).absoluteFilePath())
                inProfile = true;
        if (inProfile)
            RemoveProfileStore(path);
        FTop.erase(it);
        FStorePaths.removeAll(path);
        return;
    }
    throw EOleException(
        QStringLiteral("渡されたフォルダーはデータファイルの最上位のフォルダーではありません。"));
}

void NamespaceObject::Close()
{
    for (const FolderObjectPtr& folder : FTop)
        if (folder->GetStore())
            folder->GetStore()->Close();
    FTop.clear();
    FClosed = true;
}

} // namespace OutlookPst
