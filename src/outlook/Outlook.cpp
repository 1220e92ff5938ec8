#include "Outlook.h"

#include "Folder.h"
#include "automation/ComObj.h"
#include "support/StringSeparator.h"

#include <QStringList>

using Automation::OleRef;

namespace {
const QString kProgId = QStringLiteral("Outlook.Application");
}

TOutlook::TOutlook() = default;

TOutlook::TOutlook(const OleRef& application) : Application(application) {}

TOutlook::~TOutlook()
{
    try {
        if (!Namespace.IsNull())
            ClearFolders();
    } catch (...) {
    }
    // Nothing is sent to Outlook: an attached Outlook and one this session started
    // both keep running.
    Namespace.Clear();
    Application.Clear();
}

TOutlook* TOutlook::AttachRunning()
{
    Automation::DispatchPtr running;
    try {
        running = Automation::GetActiveOleObject(kProgId);
    } catch (const EOleSysError&) {
        return nullptr;
    }
    return new TOutlook(OleRef(running));
}

qint32 TOutlook::ParseMajorVersion(const QString& version)
{
    if (version.isEmpty())
        return 0;
    const qsizetype dot = version.indexOf(QLatin1Char('.'));
    const QString head = dot >= 0 ? version.left(dot) : version;
    bool ok = false;
    const qint32 major = head.toInt(&ok);
    return ok ? major : 0;
}

void TOutlook::Open()
{
    if (!Namespace.IsNull())
        return;
    try {
        if (Application.IsNull()) {
            Application = OleRef(Automation::CreateOleObject(kProgId));
            FStartedOutlook = true;
        }
        Namespace = Application.GetObject(QStringLiteral("GetNamespace"), {QStringLiteral("MAPI")});
        MajorVersion = ParseMajorVersion(GetVersion());
    } catch (const Exception& e) {
        Shutdown();
        throw Outlook::TOutlookException(QStringLiteral("Outlookの起動に失敗しました。\n") + e.Message());
    }
}

void TOutlook::Shutdown()
{
    try {
        if (!FStartedOutlook) {
            // The user's own Outlook: quitting it could lose their unsaved work.
            Namespace.Clear();
            Application.Clear();
            return;
        }
        if (!Namespace.IsNull()) {
            Namespace.Exec(QStringLiteral("Logoff"));
            Namespace.Clear();
        }
        if (Application.IsNull())
            return;
        OleRef session = Application.GetObject(QStringLiteral("Session"));
        session.Exec(QStringLiteral("Logoff"));
        session.Clear();
        Application.Exec(QStringLiteral("Quit"));
        Application.Clear();
    } catch (...) {
    }
}

std::vector<Outlook::TFolder*>& TOutlook::GetFolders()
{
    Open();
    if (Folders.empty())
        LoadFolders();
    return Folders;
}

void TOutlook::AddStore(const QString& path)
{
    Open();
    Namespace.Exec(QStringLiteral("AddStore"), {path});
    LoadFolders();
}

void TOutlook::LoadFolders()
{
    Open();
    ClearFolders();
    OleRef collection = Namespace.GetObject(QStringLiteral("Folders"));
    const qint32 count = collection.GetInt(QStringLiteral("Count"));
    for (qint32 i = 1; i <= count; ++i)
        Folders.push_back(new Outlook::TFolder(collection.GetObject(QStringLiteral("Item"), {i})));
}

void TOutlook::ClearFolders()
{
    Open();
    for (Outlook::TFolder* folder : Folders)
        delete folder;
    Folders.clear();
}

QString TOutlook::GetVersion() { return Application.GetText(QStringLiteral("Version")); }

void TOutlook::DisplayDefaultFolder(qint32 folderNumber)
{
    OleRef folder = Namespace.CallObject(QStringLiteral("GetDefaultFolder"), {folderNumber});
    folder.Call(QStringLiteral("Display"));
    folder.Clear();
}

Outlook::TFolder* TOutlook::FindFolder(const QString& path)
{
    Open();
    QStringList names = TStringSeparator(path, QStringLiteral("\\")).Items();
    if (names.isEmpty())
        return nullptr;
    std::vector<Outlook::TFolder*> level = GetFolders();
    while (true) {
        const QString name = names.takeFirst();
        Outlook::TFolder* match = nullptr;
        for (Outlook::TFolder* folder : level) {
            if (folder->GetName() == name) {
                match = folder;
                break;
            }
        }
        if (!match || names.isEmpty())
            return match;
        level = match->GetFolders();
    }
}

std::unique_ptr<TOutlook>& TOutlookSingleton::Holder()
{
    static std::unique_ptr<TOutlook> holder;
    return holder;
}

TOutlook* TOutlookSingleton::GetInstance()
{
    auto& holder = Holder();
    if (holder)
        return holder.get();
    std::unique_ptr<TOutlook> session;
    try {
        session.reset(TOutlook::AttachRunning());
        if (session) {
            session->Open();
        } else {
            session = std::make_unique<TOutlook>();
            session->Open();
            session->DisplayDefaultFolder(6);
        }
    } catch (...) {
        session.reset();
        ReleaseInstance();
        throw;
    }
    holder = std::move(session);
    return holder.get();
}

void TOutlookSingleton::ReleaseInstance() { Holder().reset(); }
