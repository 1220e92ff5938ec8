// The folder export without a window: walks the folder tree from a node, writes
// every ticked mail of every mail folder, and records the mails that fail.
#pragma once

#include "ErrorMail.h"
#include "ExportHost.h"
#include "FolderTree.h"
#include "MailSelection.h"
#include "export/ExportConf.h"

#include <QHash>
#include <QString>

namespace Outlook {
class TMailItem;
class TMessages;
} // namespace Outlook

class TExportRun {
public:
    TExportRun(IExportHost& host, TMailSelections& selections, TErrorMailList& errorMails);

    // The folder export command after its dialogs: clears the cancel flag and the
    // error list, then exports from the node into the configuration's save folder.
    // Without a node (an empty tree) it warns "フォルダが選択されていません。" and
    // returns false.
    bool ExportFolders(const TExportConf& conf, TFolderNode* node, bool withSubFolders);

    // One folder level: the ticked mails of the node's folder into saveDir, then,
    // when asked, each child into a sub-directory named after it. With an empty
    // saveDir and an attachment folder, only the attachments are saved.
    void ExportFolder(TExportConf conf, TFolderNode* node, const QString& saveDir,
                      bool withSubFolders);

    int WrittenMails() const { return FWrittenMails; }
    int SavedAttachments() const { return FSavedAttachments; }

    // A folder or file name made safe to join to a path: characters a file name may
    // not hold replaced, a name of dots alone in full-width dots, an empty name
    // "(noname)", and cut to fit one path component.
    static QString SafeComponentName(const QString& text);

private:
    // The ticked mails of one folder level; false when the level ends early (the
    // cancel command, or an answer other than Yes after a failure).
    bool ExportMails(const TExportConf& conf, Outlook::TMessages* items,
                     const TMailSelection& selection, const QString& path, const QString& saveDir);
    void SaveAttachments(const Outlook::TMailItem& item, const QString& dir);

    IExportHost& FHost;
    TMailSelections& FSelections;
    TErrorMailList& FErrorMails;
    int FWrittenMails = 0;
    int FSavedAttachments = 0;
    // Next duplicate number per attachment name in the attachment folder.
    QHash<QString, int> FAttachmentNumbers;
};
