// The main window's start-up, folder tree, mail list and commands.
#include "Dialogs.h"
#include "ErrorMailListWindow.h"
#include "FolderTreeModel.h"
#include "Help.h"
#include "MainWindow.h"
#include "UiScope.h"
#include "app/ExportRun.h"
#include "app/MailPreview.h"
#include "export/ExportConf.h"
#include "export/ui/ExportSelectTarget.h"
#include "export/ui/ExportSelectType.h"
#include "mail/OutlookMail.h"
#include "outlook/Folder.h"
#include "outlook/Outlook.h"
#include "runtime/Exception.h"
#include "support/Nkf.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTreeView>
#include <QTreeWidget>
#include <utility>

namespace {

class TListRows : public IMailRows {
public:
    explicit TListRows(QTreeWidget* list) : FList(list) {}
    int RowCount() const override { return FList->topLevelItemCount(); }
    bool IsRowChecked(int row) const override
    {
        return FList->topLevelItem(row)->checkState(0) == Qt::Checked;
    }
    void SetRowChecked(int row, bool checked) override
    {
        FList->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }

private:
    QTreeWidget* FList;
};

} // namespace

// ---- Start-up and the folder tree

void TFormMain::StartUp()
{
    if (FStarted)
        return;
    FStarted = true;
    TBusy busy(*this);
    TCursorHourGlass cursor;

    ShowStatus(QStringLiteral("NKF32.DLLを読み込みます。"));
    int converter = -1;
    try {
        converter = FServices.InitConverter ? FServices.InitConverter()
                                            : TNkfSingleton::GetInstance()->GetNkf()->Init();
    } catch (const Exception&) {
        converter = -1;
    }
    if (converter != 0) {
        TMessageBox::Warning(this, QStringLiteral("NKF32.DLLの読み込みに失敗しました。"));
        close();
        return;
    }
    ShowStatus(QStringLiteral("NKF32.DLLを読み込みました。"));

    // Data files named on the command line are opened for this run only; those
    // that cannot be read are named with the reason.
    if (!FServices.DataFiles.isEmpty()) {
        QStringList openable;
        QStringList problems;
        for (const QString& file : FServices.DataFiles) {
            const QString path = QFileInfo(file).absoluteFilePath();
            const QString problem = FServices.CheckDataFile ? FServices.CheckDataFile(path) : QString();
            if (problem.isEmpty())
                openable << path;
            else
                problems << problem;
        }
        if (!problems.isEmpty())
            TMessageBox::Warning(this, problems.join(QLatin1Char('\n')));
        if (FServices.SetSessionFiles)
            FServices.SetSessionFiles(openable);
    }

    ShowStatus(QStringLiteral("Outlookに接続します。"));
    try {
        OutlookSession = TOutlookSingleton::GetInstance();
    } catch (const Exception& e) {
        TMessageBox::Warning(this, e.Message());
        close();
        return;
    }
    ShowStatus(QStringLiteral("Outlookに接続しました。"));

    ShowStatus(QStringLiteral("Outlookのフォルダを取得します。"));
    RebuildTree();
    ShowStatus(QStringLiteral("Outlookのフォルダを取得しました。"));
    if (TFolderNode* first = FTree.FirstNode())
        SelectNode(first);
}

void TFormMain::RebuildTree()
{
    // The folder objects may be new: nothing of the old tree stays in use.
    const QString previousPath = CurrentFolderPath;
    ClearMailView();
    CurrentMessages = nullptr;
    CurrentFolderPath.clear();
    FTreeModel->BeginReset();
    FTree.Clear();
    try {
        FTree.Build(OutlookSession->GetFolders(), MailSelections);
    } catch (...) {
        FTreeModel->EndReset();
        throw;
    }
    FTreeModel->EndReset();
    TreeViewFolder->expandAll();

    if (!FTree.Problems().empty()) {
        QStringList lines;
        for (const TErrorMail& problem : FTree.Problems())
            lines << QStringLiteral("フォルダを読み込めませんでした。 %1 (%2)")
                         .arg(problem.FolderPath, problem.Message);
        TMessageBox::Warning(this, lines.join(QLatin1Char('\n')));
    }
    ShowNoDataFileHint();
    CurrentFolderPath = previousPath;
}

void TFormMain::ShowNoDataFileHint()
{
    // With no data file the window says how to open one.
    Memo1->setPlaceholderText(FTree.IsEmpty() ? QStringLiteral(
        "Outlookデータファイル (.pst, .ost) が開かれていません。\n"
        "「ファイル」メニューの「Outlookデータファイルを開く」(Ctrl+O) で開くか、\n"
        "データファイルをこのウィンドウにドロップしてください。") : QString());
}

void TFormMain::SelectNode(TFolderNode* node)
{
    FRevertingSelection = true;
    TreeViewFolder->selectionModel()->setCurrentIndex(FTreeModel->IndexOf(node),
                                                      QItemSelectionModel::ClearAndSelect);
    FRevertingSelection = false;
    TreeViewFolderChange(node);
}

TFolderNode* TFormMain::SelectedNode() const
{
    const QModelIndexList selected = TreeViewFolder->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : FTreeModel->NodeAt(selected.front());
}

void TFormMain::ClearMailView()
{
    Memo1->clear();
    ListViewMail->clear();
    CurrentItemCount = 0;
}

void TFormMain::TreeViewFolderCurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (FRevertingSelection)
        return;
    TFolderNode* node = FTreeModel->NodeAt(current);
    if (!node)
        return;
    if (!TreeViewFolderChanging(node)) {
        // A folder without mail is never selected: the selection stays where it was.
        FRevertingSelection = true;
        if (previous.isValid())
            TreeViewFolder->selectionModel()->setCurrentIndex(previous, QItemSelectionModel::ClearAndSelect);
        else
            TreeViewFolder->selectionModel()->clear();
        FRevertingSelection = false;
        return;
    }
    TreeViewFolderChange(node);
}

bool TFormMain::TreeViewFolderChanging(TFolderNode* node)
{
    if (node->ImageIndex <= 0)
        return false;
    TCursorHourGlass cursor;
    SaveChecks(CurrentFolderPath);
    return true;
}

void TFormMain::TreeViewFolderChange(TFolderNode* node)
{
    TCursorHourGlass cursor;
    TBusy busy(*this);
    CancelRequested = false;
    TUnenableControl<QWidget> tree(TreeViewFolder);
    CurrentFolderPath = GetFolderPath(node);
    try {
        OutlookSession = TOutlookSingleton::GetInstance();
        // The node's own folder: a lookup by path would take the first of two
        // folders with the same name.
        Outlook::TFolder* folder = node->Folder;
        if (folder && folder->GetDefaultItemType() == 0)
            LoadMailList(CurrentFolderPath, folder->GetMessages());
        else
            ClearMailView();
    } catch (const Exception& e) {
        TMessageBox::Warning(this, e.Message());
        ClearMailView();
    }
}

void TFormMain::TreeViewFolderCollapsed(const QModelIndex& index)
{
    TFolderNode* node = FTreeModel->NodeAt(index);
    if (node && node->ImageIndex > 0) {
        node->ImageIndex = fiMailFolder;
        FTreeModel->ImageChanged(node);
    }
}

// ---- The mail list

void TFormMain::LoadMailList(const QString& path, Outlook::TMessages* items)
{
    TCursorHourGlass cursor;
    CurrentMessages = items;
    CancelRequested = false;
    ClearMailView();
    ListViewMail->setUpdatesEnabled(false);
    ShowStatus(QStringLiteral("メールの一覧を読み込み中です。"));
    // The rows are made one by one, with a pending-events pass each, but join the
    // list together once the loop ends: the list is hidden from painting while it
    // loads anyway, and a view laid out again after every row costs time that
    // grows with the square of the folder's size.
    QList<QTreeWidgetItem*> rows;
    try {
        const int count = items->GetCount();
        CurrentItemCount = count;
        ProgressBarMail->setRange(0, count);
        ProgressBarMail->setValue(0);
        TVisibleControl panel(PanelFolderLoad);
        const TMailSelection& selection = MailSelections[path];
        for (int i = 0; i < count; ++i) {
            const Outlook::TMailItem item = items->GetItem(i);
            auto* row = new QTreeWidgetItem;
            rows.append(row);
            row->setText(0, item.GetSenderName());
            row->setCheckState(0, Qt::Unchecked);
            row->setText(1, item.GetSubject());
            row->setText(2, FormatMailDateTime(item.GetReceivedTime()));
            row->setCheckState(0, selection.IsSelected(i) ? Qt::Checked : Qt::Unchecked);
            ProgressBarMail->setValue(i);
            QApplication::processEvents();
            if (CancelRequested) {
                ShowStatus(QStringLiteral("キャンセルされました。"));
                break;
            }
        }
    } catch (const Exception& e) {
        ListViewMail->addTopLevelItems(std::exchange(rows, {}));
        ListViewMail->setUpdatesEnabled(true);
        TMessageBox::Warning(this, e.Message(), hcMailListReadError);
    }
    ListViewMail->addTopLevelItems(rows);
    ListViewMail->setUpdatesEnabled(true);
    RestoreChecks(path);
    // Fitted to their contents, but no column so wide that the date is out of view.
    const int widest = std::max(ListViewMail->viewport()->width() / 3, 120);
    for (int column = 0; column < ListViewMail->columnCount(); ++column) {
        ListViewMail->resizeColumnToContents(column);
        if (column < ListViewMail->columnCount() - 1 && ListViewMail->columnWidth(column) > widest)
            ListViewMail->setColumnWidth(column, widest);
    }
    ShowStatus(QStringLiteral("メールの一覧を読み込みました。"));
}

void TFormMain::SaveChecks(const QString& path)
{
    if (path.isEmpty())
        return; // no folder listed yet
    ::SaveChecks(MailSelections, path, TListRows(ListViewMail), CurrentItemCount);
}

void TFormMain::RestoreChecks(const QString& path)
{
    TListRows rows(ListViewMail);
    ::RestoreChecks(MailSelections, path, rows);
}

int TFormMain::SelectedMailRow() const
{
    const QList<QTreeWidgetItem*> selected = ListViewMail->selectedItems();
    return selected.isEmpty() ? -1 : ListViewMail->indexOfTopLevelItem(selected.front());
}

void TFormMain::ListViewMailClick()
{
    TCursorHourGlass cursor;
    Memo1->clear();
    const int row = SelectedMailRow();
    if (row < 0 || !CurrentMessages)
        return;
    QString partial;
    try {
        Memo1->setPlainText(MailPreviewText(CurrentMessages->GetItem(row), &partial));
    } catch (...) {
        Memo1->setPlainText(partial);
        throw;
    }
    QTextCursor start = Memo1->textCursor();
    start.movePosition(QTextCursor::Start);
    Memo1->setTextCursor(start);
    Memo1->ensureCursorVisible();
}

// ---- Commands

void TFormMain::ActionMailLoadCancelExecute() { CancelRequested = true; }

void TFormMain::ActionMailSelectAllExecute()
{
    TCursorHourGlass cursor;
    MailSelections[CurrentFolderPath].SetState(ssAll);
    RestoreChecks(CurrentFolderPath);
}

void TFormMain::ActionMailSelectNonExecute()
{
    TCursorHourGlass cursor;
    MailSelections[CurrentFolderPath].SetState(ssNone);
    RestoreChecks(CurrentFolderPath);
}

void TFormMain::ActionFolderExportAllExecute() { ExportFolders(FTree.FirstNode(), true); }
void TFormMain::ActionFolderExportSubDirExecute() { ExportFolders(SelectedNode(), true); }
void TFormMain::ActionFolderExportSelectedExecute() { ExportFolders(SelectedNode(), false); }

void TFormMain::ActionFileCloseExecute() { close(); }
void TFormMain::ActionHelpHelpExecute() { ShowHelpContents(this); }
void TFormMain::ActionHelpVersionExecute() { ShowAboutBox(this); }

void TFormMain::ActionFileOpenExecute()
{
    const QStringList files = TFileDialog::GetOpenFileNames(
        this, QStringLiteral("Outlookデータファイルを開く"),
        QStringLiteral("Outlookデータファイル(*.pst;*.ost)|*.pst;*.ost|すべてのファイル(*)|*"));
    if (!files.isEmpty())
        OpenDataFiles(files);
}

void TFormMain::OpenDataFiles(const QStringList& paths)
{
    if (FBusy > 0 || !FStarted || !OutlookSession)
        return;
    TBusy busy(*this);
    TCursorHourGlass cursor;
    SaveChecks(CurrentFolderPath);
    QStringList problems;
    bool tried = false;
    for (const QString& file : paths) {
        const QString path = QFileInfo(file).absoluteFilePath();
        const QString problem = FServices.CheckDataFile ? FServices.CheckDataFile(path) : QString();
        if (!problem.isEmpty()) {
            problems << problem;
            continue;
        }
        tried = true;
        try {
            OutlookSession->AddStore(path);
        } catch (const Exception& e) {
            problems << e.Message();
        }
    }
    if (tried) {
        ShowStatus(QStringLiteral("Outlookのフォルダを取得します。"));
        RebuildTree();
        ShowStatus(QStringLiteral("Outlookのフォルダを取得しました。"));
        TFolderNode* node = FTree.FindNode(CurrentFolderPath);
        if (!node || node->ImageIndex <= 0)
            node = FTree.FirstNode();
        if (node)
            SelectNode(node);
    }
    if (!problems.isEmpty())
        TMessageBox::Warning(this, problems.join(QLatin1Char('\n')));
}

// ---- Exports

int TFormMain::SelectExportType()
{
    TFormExportSelectType dialog(this);
    if (TModal::Exec(dialog) != QDialog::Accepted)
        return -1;
    return dialog.GetSelectedType();
}

bool TFormMain::ShowExportConditions(TExportConf& conf)
{
    TFormExportSelectTarget dialog(this);
    dialog.SetConf(&conf);
    return TModal::Exec(dialog) == QDialog::Accepted;
}

void TFormMain::ActionMailExportExecute()
{
    const int row = SelectedMailRow();
    if (row < 0 || !CurrentMessages) {
        TMessageBox::Warning(this, QStringLiteral("メールが選択されていません。"));
        return;
    }
    TBusy busy(*this);
    const int type = SelectExportType();
    if (type < 0)
        return;
    QString filter;
    QString suffix;
    switch (type) {
    case 0:
        filter = QStringLiteral("Outlook メッセージ形式(.msg)|*.msg");
        suffix = QStringLiteral(".msg");
        break;
    case 1:
        filter = QStringLiteral("テキスト形式(.txt)|*.txt");
        suffix = QStringLiteral(".txt");
        break;
    default:
        filter = QStringLiteral("eml形式(.eml)|*.eml");
        suffix = QStringLiteral(".eml");
        break;
    }
    const QString fileName =
        TFileDialog::GetSaveFileName(this, QStringLiteral("エクスポート"), filter, suffix);
    if (fileName.isEmpty())
        return;
    TCursorHourGlass cursor;
    try {
        TOutlookMail mail(CurrentMessages->GetItem(row));
        mail.Save(fileName, type);
        ShowStatus(QStringLiteral("ファイルに保存しました。"));
        // The file is there, but the user should know what it lacks.
        if (!mail.GetOmissions().isEmpty())
            TMessageBox::Warning(this, QStringLiteral("メールは書き出しましたが、読めない部分を除きました: ") +
                                           mail.GetOmissions().join(QStringLiteral(" / ")));
    } catch (const Exception& e) {
        TMessageBox::Warning(this, e.Message());
    }
}

void TFormMain::ExportFolders(TFolderNode* node, bool withSubFolders)
{
    CancelRequested = false;
    if (!node) {
        TMessageBox::Warning(this, QStringLiteral("フォルダが選択されていません。"));
        return;
    }
    SaveChecks(CurrentFolderPath);
    TBusy busy(*this);
    TUnenableControl<QWidget> tree(TreeViewFolder);
    TUnenableControl<QWidget> list(ListViewMail);
    ErrorMails.Clear();
    const int type = SelectExportType();
    if (type < 0)
        return;
    TExportConf conf(type);
    if (!ShowExportConditions(conf))
        return;
    TExportRun run(*this, MailSelections, ErrorMails);
    run.ExportFolders(conf, node, withSubFolders);
    if (FCloseRequested) {
        ErrorMails.Clear();
        return;
    }
    if (ErrorMails.IsEmpty()) {
        TMessageBox::Information(this, QStringLiteral("エクスポート処理を終了しました。"));
    } else {
        ShowErrorMailList();
        ErrorMails.Clear();
    }
}

void TFormMain::ShowErrorMailList()
{
    auto* window = new TFormErrorMailList(this, ErrorMails.GetList(), OutlookSession);
    window->show();
}

// ---- The export run's host

void TFormMain::SetProgressVisible(bool visible) { PanelFolderLoad->setVisible(visible); }
void TFormMain::SetProgressRange(int minimum, int maximum) { ProgressBarMail->setRange(minimum, maximum); }
void TFormMain::SetProgressPosition(int position) { ProgressBarMail->setValue(position); }
void TFormMain::ProcessPendingEvents() { QApplication::processEvents(); }
void TFormMain::ShowWarning(const QString& message) { TMessageBox::Warning(this, message); }

IExportHost::Answer TFormMain::AskYesNoCancel(const QString& message)
{
    switch (TMessageBox::Ask(this, TMessageBox::Kind::Warning, message)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}
