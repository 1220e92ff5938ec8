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

bool MakeDirectory(const QString& dir)
{
    return QFileInfo(dir).isDir() || QDir().mkpath(dir);
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
    const QString attachmentDir = conf.GetEmlAttachedFileDir();
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
        // The folder cannot be read: its mails cannot even be counted. Keep a record
        // so that the failure is listed, and go on with the rest of the tree.
        FErrorMails.Add(path, -1, e.Message());
        FHost.ShowWarning(QStringLiteral("フォルダを読み込めませんでした。\n%1\n(%2)").arg(path, e.Message()));
        return;
    }
    const int total = selection.SelectedCount();

    TProgressShown progress(FHost);
    FHost.SetProgressRange(0, total);
    FHost.SetProgressPosition(0);
    FHost.ProcessPendingEvents();

    if (writeMails && !MakeDirectory(saveDir))
        FHost.ShowWarning(QStringLiteral("フォルダの作成に失敗しました。\n") + saveDir);
    if (!attachmentDir.isEmpty() && !MakeDirectory(attachmentDir))
        FHost.ShowWarning(QStringLiteral("フォルダの作成に失敗しました。\n") + attachmentDir);

    TFileExporter exporter;
    ApplyExportConf(exporter, conf);

    int position = 0;
    for (const qint32 index : selection.GetIndices()) {
        FHost.ProcessPendingEvents();
        if (FHost.GetCancelRequested())
            return;
        try {
            Outlook::TMailItem item = items->GetItem(index);
            if (writeMails) {
                const QString body = item.GetBody();
                const QString subject = item.GetSubject();
                const QString fileName = exporter.GetSaveName(folderDir, subject, body);
                TOutlookMail(item).Save(fileName, conf.GetExportType());
                TFileUtils::SetFileTimeStamp(fileName, item.GetSentOn());
                ++FWrittenMails;
            }
            if (!attachmentDir.isEmpty())
                SaveAttachments(item, attachmentDir);
            FHost.SetProgressPosition(++position);
            FHost.ProcessPendingEvents();
        } catch (const Exception& e) {
            FErrorMails.Add(path, index, e.Message());
            const QString question =
                QStringLiteral("%1通目のメールでエラーが発生しました。\n(%2)\n処理を続行しますか？")
                    .arg(index + 1)
                    .arg(e.Message());
            if (FHost.AskYesNoCancel(question) != IExportHost::Answer::Yes)
                return;
        }
    }

    if (!withSubFolders)
        return;
    for (const auto& child : node->Children) {
        const QString childDir =
            writeMails ? WithDelimiter(folderDir + SafeComponentName(child->Text)) : QString();
        ExportFolder(conf, child.get(), childDir, true);
    }
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
            const qsizetype room = TFileUtils::MaxFileNameBytes - (suffix + extension).toUtf8().size();
            return folder + TFileUtils::TruncateToUtf8Bytes(stem, std::max<qsizetype>(room, 1)) + suffix +
                   extension;
        };
        QString target = fit(QString());
        if (QFileInfo::exists(target)) {
            int& next = FAttachmentNumbers[name];
            if (next == 0)
                next = 1;
            do
                target = fit(QStringLiteral("(%1)").arg(next++));
            while (QFileInfo::exists(target));
        }
        TTargetTempFile file(target);
        attachment.SaveAsFile(file.GetPath());
        file.Commit();
        ++FSavedAttachments;
    }
}
