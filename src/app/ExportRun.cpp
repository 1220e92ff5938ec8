#include "ExportRun.h"

#include "export/FileExporter.h"
#include "export/FileUtils.h"
#include "mail/OutlookMail.h"
#include "outlook/Folder.h"
#include "runtime/Exception.h"
#include "support/TempFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString WithDelimiter(const QString& dir)
{
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

// Restores the progress display's visibility at the end of a folder level.
class TProgressShown {
public:
    explicit TProgressShown(IExportHost& host) : FHost(host) { FHost.SetProgressVisible(true); }
    ~TProgressShown() { FHost.SetProgressVisible(false); }

private:
    IExportHost& FHost;
};

} // namespace

TExportRun::TExportRun(IExportHost& host, TMailSelections& selections, TErrorMailList& errorMails)
    : FHost(host), FSelections(selections), FErrorMails(errorMails)
{
}

QString TExportRun::SafeComponentName(const QString& text)
{
    QString name = TFileUtils::GetUsingFileName(text);
    if (name.isEmpty())
        return QStringLiteral("(noname)");
    if (name.count(QLatin1Char('.')) == name.size())
        name.fill(QChar(0xFF0E)); // "." and ".." would name this folder or its parent
    return TFileUtils::TruncateToUtf8Bytes(name, TFileUtils::MaxFileNameBytes);
}

bool TExportRun::ExportFolders(const TExportConf& conf, TFolderNode* node, bool withSubFolders)
{
    FHost.SetCancelRequested(false);
    if (!node) {
        FHost.ShowWarning(QStringLiteral("フォルダが選択されていません。"));
        return false;
    }
    FErrorMails.Clear();
    ExportFolder(conf, node, conf.GetEmlSaveDir(), withSubFolders);
    return true;
}

void TExportRun::ExportFolder(TExportConf conf, TFolderNode* node, const QString& saveDir,
                              bool withSubFolders)
{
    const bool writeMails = !saveDir.isEmpty();
    const QString folderDir = writeMails ? WithDelimiter(saveDir) : QString();
    const QString path = GetFolderPath(node);
    TMailSelection selection = FSelections[path];

    Outlook::TMessages* items = nullptr;
    try {
        if (node->Folder->GetDefaultItemType() != 0)
            return;
        items = node->Folder->GetMessages();
        FHost.ShowStatus(QStringLiteral("メールをエクスポートしています。 ") + path);
        if (selection.GetState() == ssAll)
            selection.SelectRange(items->GetCount());
    } catch (const Exception& e) {
        // The folder's mails cannot even be counted. Keep a record so that the
        // failure is listed, and go on with its sub-folders and the rest of the tree.
        FErrorMails.Add(path, -1, e.Message());
        FHost.ShowWarning(
            QStringLiteral("フォルダを読み込めませんでした。\n%1\n(%2)").arg(path, e.Message()));
        items = nullptr;
    }
    if (items && !ExportMails(conf, items, selection, path, saveDir))
        return;
    if (!withSubFolders)
        return;
    for (const auto& child : node->Children) {
        const QString childDir =
            writeMails ? WithDelimiter(folderDir + SafeComponentName(child->Text)) : QString();
        ExportFolder(conf, child.get(), childDir, true);
    }
}

bool TExportRun::ExportMails(const TExportConf& conf, Outlook::TMessages* items,
                             const TMailSelection& selection, const QString& path,
                             const QString& saveDir)
{
    const bool writeMails = !saveDir.isEmpty();
    const QString folderDir = writeMails ? WithDelimiter(saveDir) : QString();
    const QString attachmentDir = conf.GetEmlAttachedFileDir();
    const int total = selection.SelectedCount();

    TProgressShown progress(FHost);
    FHost.SetProgressRange(0, total);
    FHost.SetProgressPosition(0);
    FHost.ProcessPendingEvents();

    // A folder that cannot be made fails each of its mails, with the reason.
    QString saveDirProblem;
    if (writeMails) {
        if (const QString reason = TFileUtils::MakeDirectories(saveDir); !reason.isEmpty()) {
            FHost.ShowWarning(QStringLiteral("フォルダの作成に失敗しました。\n") + saveDir);
            saveDirProblem =
                QStringLiteral("保存先フォルダ \"%1\" を作成できないため、書き出せません。%2")
                    .arg(saveDir, reason);
        }
    }
    QString attachmentDirProblem;
    if (!attachmentDir.isEmpty()) {
        if (const QString reason = TFileUtils::MakeDirectories(attachmentDir); !reason.isEmpty()) {
            FHost.ShowWarning(QStringLiteral("フォルダの作成に失敗しました。\n") + attachmentDir);
            attachmentDirProblem =
                QStringLiteral(
                    "添付ファイルの保存先フォルダ \"%1\" を作成できないため、保存できません。%2")
                    .arg(attachmentDir, reason);
        }
    }

    TFileExporter exporter;
    ApplyExportConf(exporter, conf);
    // The sequence rule numbers files and replaces what has its names; the other
    // rules never replace a file, not even one that appears while the mail is
    // being written (another export into the same folder).
    const bool keepOthers = conf.GetEmlNameType() != 0;

    int position = 0;
    for (const qint32 index : selection.GetIndices()) {
        FHost.ProcessPendingEvents();
        if (FHost.GetCancelRequested())
            return false;
        try {
            Outlook::TMailItem item = items->GetItem(index);
            if (writeMails) {
                const QString body = item.GetBody();
                const QString subject = item.GetSubject();
                const QString fileName = exporter.GetSaveName(folderDir, subject, body);
                if (!saveDirProblem.isEmpty())
                    throw EInOutError(saveDirProblem);
                TOutlookMail mail(item);
                TOutlookMail::TNextName nextName;
                if (keepOthers)
                    nextName = [&] { return exporter.GetSaveName(folderDir, subject, body); };
                const QString written = mail.Save(fileName, conf.GetExportType(), nextName);
                TFileUtils::SetFileTimeStamp(written, item.GetSentOn());
                ++FWrittenMails;
                if (!mail.GetOmissions().isEmpty())
                    FErrorMails.Add(
                        path, index,
                        QStringLiteral("メールは書き出しましたが、読めない部分を除きました: ") +
                            mail.GetOmissions().join(QStringLiteral(" / ")));
            }
            if (!attachmentDir.isEmpty()) {
                if (!attachmentDirProblem.isEmpty())
                    throw EInOutError(attachmentDirProblem);
                SaveAttachments(item, attachmentDir);
            }
            FHost.SetProgressPosition(++position);
            FHost.ProcessPendingEvents();
        } catch (const Exception& e) {
            FErrorMails.Add(path, index, e.Message());
            const QString question =
                QStringLiteral("%1通目のメールでエラーが発生しました。\n(%2)\n処理を続行しますか？")
                    .arg(index + 1)
                    .arg(e.Message());
            if (FHost.AskYesNoCancel(question) != IExportHost::Answer::Yes)
                return false;
        }
    }
    return true;
}

void TExportRun::SaveAttachments(const Outlook::TMailItem& item, const QString& dir)
{
    const QString folder = WithDelimiter(dir);
    for (const Outlook::TAttachment& attachment : item.GetAttachments()) {
        const QString name = SafeComponentName(attachment.GetFileName());
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString stem = dot > 0 ? name.left(dot) : name;
        const QString extension = dot > 0 ? name.mid(dot) : QString();
        auto fit = [&](const QString& suffix) {
            const qsizetype room =
                TFileUtils::MaxFileNameBytes - (suffix + extension).toUtf8().size();
            return folder + TFileUtils::TruncateToUtf8Bytes(stem, std::max<qsizetype>(room, 1)) +
                   suffix + extension;
        };
        // The next numbered name that no file has yet.
        auto numbered = [&] {
            int& next = FAttachmentNumbers[name];
            if (next == 0)
                next = 1;
            QString candidate;
            do
                candidate = fit(QStringLiteral("(%1)").arg(next++));
            while (QFileInfo::exists(candidate));
            return candidate;
        };
        QString target = fit(QString());
        if (QFileInfo::exists(target))
            target = numbered();
        TTargetTempFile file(target);
        attachment.SaveAsFile(file.GetPath());
        // Never over another file, also one that appeared meanwhile.
        while (!file.CommitNew(target))
            target = numbered();
        ++FSavedAttachments;
    }
}
