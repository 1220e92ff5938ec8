// The session with Outlook and its process-wide holder.
#pragma once

#include "OutlookException.h"
#include "automation/Dispatch.h"
#include "automation/InitOle.h"

#include <QString>
#include <memory>
#include <vector>

namespace Outlook {
class TFolder;
}

// One session with Outlook: the application object, its MAPI namespace, the
// top-level folders and one initialisation of the automation services.
class TOutlook {
public:
    TOutlook();
    explicit TOutlook(const Automation::OleRef& application);
    virtual ~TOutlook();
    TOutlook(const TOutlook&) = delete;
    TOutlook& operator=(const TOutlook&) = delete;

    // A session on an Outlook that is already running, not yet connected; null
    // when none is running.
    static TOutlook* AttachRunning();

    // Connects: starts Outlook when the session has no application yet, then
    // reads the MAPI namespace and the version. Does nothing when connected.
    void Open();
    // Undoes a failed Open. A session that started Outlook logs off and quits it;
    // a session that attached to the user's Outlook only drops its references.
    void Shutdown();

    std::vector<Outlook::TFolder*>& GetFolders();
    // Adds a data file to the session (Outlook also records it in its profile) and
    // reads the top-level folders again; every earlier folder object is deleted.
    void AddStore(const QString& path);
    void LoadFolders();
    void ClearFolders();
    QString GetVersion();
    void DisplayDefaultFolder(qint32 folderNumber);
    // The folder at a path such as \Personal\Inbox, matched name by name, exactly
    // and without backtracking; null when there is none.
    Outlook::TFolder* FindFolder(const QString& path);

    qint32 GetMajorVersion() const { return MajorVersion; }
    bool IsConnected() const { return !Namespace.IsNull(); }
    // Whether this session created the application object itself.
    bool StartedOutlook() const { return FStartedOutlook; }

    // The major version in a dot-separated version text: 0 for an empty text or
    // one that does not begin with an integer.
    static qint32 ParseMajorVersion(const QString& version);

private:
    TInitOle OleInit;
    Automation::OleRef Application;
    Automation::OleRef Namespace;
    std::vector<Outlook::TFolder*> Folders;
    qint32 MajorVersion = 0;
    bool FStartedOutlook = false;
};

// Holder of the process-wide session, made and connected on first use.
class TOutlookSingleton {
public:
    // The session, never null on return: attaches to a running Outlook, or starts
    // one and shows its Inbox. An error leaves the holder empty.
    static TOutlook* GetInstance();
    static void ReleaseInstance();

private:
    static std::unique_ptr<TOutlook>& Holder();
};
