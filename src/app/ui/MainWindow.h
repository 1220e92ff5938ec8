// The main window: the folder tree, the mail list with its ticks and preview, the
// status line, and the commands that export mail.
#pragma once

#include "app/ErrorMail.h"
#include "app/ExportHost.h"
#include "app/FolderTree.h"
#include "app/MailSelection.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>

class QAction;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeView;
class QTreeWidget;
class TExportConf;
class TFolderTreeModel;
class TOutlook;
namespace Outlook {
class TMessages;
}

// What the window needs from outside the Outlook layer: the converter check and
// the data files. The program wires the real ones; tests may replace them.
struct TMainServices {
    // 0 when the converter library loads.
    std::function<int()> InitConverter;
    // Empty when the data file can be read, else the reason in Japanese.
    std::function<QString(const QString&)> CheckDataFile;
    // Makes the session open these data files instead of the profile's.
    std::function<void(const QStringList&)> SetSessionFiles;
    // Data files to open for this run only (the command line's); none: the profile's.
    QStringList DataFiles;
};

class TFormMain : public QMainWindow, private IExportHost {
    Q_OBJECT
public:
    explicit TFormMain(TMainServices services = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The status line; lets the window repaint and handle input.
    void ShowStatus(const QString& text) override;

    // Whether a list is loading, an export runs or the start-up is under way.
    bool IsBusy() const { return FBusy > 0; }
    // Whether the start-up sequence has run.
    bool IsStarted() const { return FStarted; }

    const TMailSelections& GetMailSelections() const { return MailSelections; }
    const QString& GetCurrentFolderPath() const { return CurrentFolderPath; }
    // Opens data files as the menu command does, then rebuilds the tree.
    void OpenDataFiles(const QStringList& paths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Marks a loop that processes events: the commands that would start another
    // load or export are disabled meanwhile, and a close asked for during it
    // happens once the loop has returned.
    class TBusy {
    public:
        explicit TBusy(TFormMain& form) : FForm(form)
        {
            if (FForm.FBusy++ == 0)
                FForm.UpdateCommands();
        }
        ~TBusy()
        {
            if (--FForm.FBusy > 0)
                return;
            FForm.UpdateCommands();
            if (FForm.FCloseRequested)
                QTimer::singleShot(0, &FForm, &QWidget::close);
        }
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;

    private:
        TFormMain& FForm;
    };

    void CreateActions();
    void CreateMenus();
    void CreateLayout();
    QAction* NewAction(const char* name, const QString& caption, const QString& hint,
                       const QKeySequence& shortcut, int image, const QString& category,
                       void (TFormMain::*handler)());
    // Runs a command; an error escaping it is shown and the window stays open.
    void RunCommand(const std::function<void()>& command);

    void StartUp();
    bool ConnectAndFillTree();
    void RebuildTree();
    void ShowNoDataFileHint();
    void SelectNode(TFolderNode* node);
    TFolderNode* SelectedNode() const;
    void ClearMailView();

    // Folder tree events.
    void TreeViewFolderCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    bool TreeViewFolderChanging(TFolderNode* node);
    void TreeViewFolderChange(TFolderNode* node);
    void TreeViewFolderCollapsed(const QModelIndex& index);

    // The mail list.
    void LoadMailList(const QString& path, Outlook::TMessages* items);
    void SaveChecks(const QString& path);
    void RestoreChecks(const QString& path);
    void ListViewMailClick();
    int SelectedMailRow() const;

    // Commands.
    void ActionMailLoadCancelExecute();
    void ActionMailSelectAllExecute();
    void ActionMailSelectNonExecute();
    void ActionFolderExportAllExecute();
    void ActionFolderExportSubDirExecute();
    void ActionFolderExportSelectedExecute();
    void ActionMailExportExecute();
    void ActionFileOpenExecute();
    void ActionFileCloseExecute();
    void ActionHelpHelpExecute();
    void ActionHelpVersionExecute();

    // Exports.
    int SelectExportType();
    bool ShowExportConditions(TExportConf& conf);
    void ExportFolders(TFolderNode* node, bool withSubFolders);
    void ShowErrorMailList();
    void UpdateCommands();

    // The export run's host.
    void SetProgressVisible(bool visible) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void ProcessPendingEvents() override;
    bool GetCancelRequested() const override { return CancelRequested; }
    void SetCancelRequested(bool value) override { CancelRequested = value; }
    void ShowWarning(const QString& message) override;
    Answer AskYesNoCancel(const QString& message) override;

    TMainServices FServices;

    // Controls.
    QWidget* Panel2 = nullptr;
    QTreeView* TreeViewFolder = nullptr;
    QWidget* Panel1 = nullptr;
    QTreeWidget* ListViewMail = nullptr;
    QWidget* PanelFolderLoad = nullptr;
    QProgressBar* ProgressBarMail = nullptr;
    QPushButton* BtnFolderLoadCancel = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* PopupActionBarFolder = nullptr;
    QMenu* PopupActionBarListView = nullptr;

    // Commands.
    QAction* ActionMailLoadCancel = nullptr;
    QAction* ActionMailSelectAll = nullptr;
    QAction* ActionMailSelectNon = nullptr;
    QAction* ActionFolderExportAll = nullptr;
    QAction* ActionFolderExportSubDir = nullptr;
    QAction* ActionFolderExportSelected = nullptr;
    QAction* ActionMailExport = nullptr;
    QAction* ActionFileOpen = nullptr;
    QAction* ActionFileClose = nullptr;
    QAction* ActionHelpHelp = nullptr;
    QAction* ActionHelpVersion = nullptr;

    // State.
    bool CancelRequested = false;
    QString CurrentFolderPath;
    TOutlook* OutlookSession = nullptr;
    Outlook::TMessages* CurrentMessages = nullptr;
    int CurrentItemCount = 0;
    TMailSelections MailSelections;
    TErrorMailList ErrorMails;
    TFolderTree FTree;
    TFolderTreeModel* FTreeModel = nullptr;
    bool FStartQueued = false;
    bool FStarted = false;
    bool FRevertingSelection = false;
    int FBusy = 0;
    bool FCloseRequested = false;
};
