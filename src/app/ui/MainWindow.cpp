#include "MainWindow.h"

#include "Dialogs.h"
#include "ErrorMailListWindow.h"
#include "FolderTreeModel.h"
#include "Help.h"
#include "Icons.h"
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

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

bool IsDataFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("pst") || suffix == QLatin1String("ost");
}

QStringList DroppedDataFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && IsDataFile(url.toLocalFile()))
            files << url.toLocalFile();
    return files;
}

} // namespace

TFormMain::TFormMain(TMainServices services, QWidget* parent)
    : QMainWindow(parent), FServices(std::move(services))
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tidewell"));
    setAcceptDrops(true);
    FTreeModel = new TFolderTreeModel(FTree, this);
    CreateActions();
    CreateLayout();
    CreateMenus();
    UpdateCommands();
}

TFormMain::~TFormMain()
{
    // The session goes with the window; Outlook itself keeps running.
    TOutlookSingleton::ReleaseInstance();
}

QAction* TFormMain::NewAction(const char* name, const QString& caption, const QString& hint,
                              const QKeySequence& shortcut, int image, const QString& category,
                              void (TFormMain::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    if (image >= 0)
        action->setIcon(ActionImage(image));
    action->setProperty("category", category);
    connect(action, &QAction::triggered, this, [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
    // Its shortcut works anywhere in the window, on a menu or not.
    addAction(action);
    return action;
}

void TFormMain::CreateActions()
{
    const QString mail = QStringLiteral("メール");
    const QString exports = QStringLiteral("エクスポート(&E)");
    const QString file = QStringLiteral("ファイル(&F)");
    const QString help = QStringLiteral("ヘルプ(&H)");
    ActionMailLoadCancel = NewAction(
        "ActionMailLoadCancel", QStringLiteral("キャンセル(ESC)"),
        QStringLiteral("メールの一覧の取得を中止します。"), {}, -1, mail,
        &TFormMain::ActionMailLoadCancelExecute);
    ActionMailSelectAll = NewAction(
        "ActionMailSelectAll", QStringLiteral("すべて選択"),
        QStringLiteral("フォルダ中のすべてのメールをチェックします。"),
        QKeySequence(Qt::CTRL | Qt::Key_A), 1, mail, &TFormMain::ActionMailSelectAllExecute);
    ActionMailSelectNon = NewAction(
        "ActionMailSelectNon", QStringLiteral("選択解除"),
        QStringLiteral("フォルダ中のすべてのメールのチェックを外します。"),
        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A), 2, mail,
        &TFormMain::ActionMailSelectNonExecute);
    ActionFolderExportAll = NewAction(
        "ActionFolderExportAll", QStringLiteral("全フォルダのエクスポート"),
        QStringLiteral("チェックされたすべてのメールをエクスポートします。"), QKeySequence(Qt::Key_F5),
        0, exports, &TFormMain::ActionFolderExportAllExecute);
    ActionFolderExportSubDir = NewAction(
        "ActionFolderExportSubDir", QStringLiteral("サブフォルダも含めてエクスポート"),
        QStringLiteral("選択したフォルダ中のメールをサブフォルダも含めてエクスポートします。"),
        QKeySequence(Qt::Key_F6), 5, exports, &TFormMain::ActionFolderExportSubDirExecute);
    ActionFolderExportSelected = NewAction(
        "ActionFolderExportSelected", QStringLiteral("選択したフォルダをエクスポート"),
        QStringLiteral("選択したフォルダ中のメールをエクスポートします。"), QKeySequence(Qt::Key_F7),
        3, exports, &TFormMain::ActionFolderExportSelectedExecute);
    ActionMailExport = NewAction(
        "ActionMailExport", QStringLiteral("選択したメールをエクスポート"),
        QStringLiteral("選択したメールをエクスポートします。"), QKeySequence(Qt::Key_F8), 4, mail,
        &TFormMain::ActionMailExportExecute);
    ActionFileOpen = NewAction(
        "ActionFileOpen", QStringLiteral("Outlookデータファイルを開く(&O)..."),
        QStringLiteral("Outlookのデータファイル (.pst, .ost) を開いて、フォルダの一覧に加えます。"),
        QKeySequence(Qt::CTRL | Qt::Key_O), 7, file, &TFormMain::ActionFileOpenExecute);
    ActionFileClose = NewAction("ActionFileClose", QStringLiteral("閉じる(&X)"),
                                QStringLiteral("ソフトウェアを終了します。"), {}, 6, file,
                                &TFormMain::ActionFileCloseExecute);
    ActionHelpHelp = NewAction("ActionHelpHelp", QStringLiteral("ヘルプ(&U)"), {}, {}, -1, help,
                               &TFormMain::ActionHelpHelpExecute);
    ActionHelpVersion = NewAction("ActionHelpVersion", QStringLiteral("バージョン情報(&A)"), {}, {},
                                  -1, help, &TFormMain::ActionHelpVersionExecute);
}

void TFormMain::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("MenuFile"));
    file->addAction(ActionFileOpen);
    file->addSeparator();
    file->addAction(ActionFileClose);

    // The export menu gives the commands captions of its own, with access keys.
    QMenu* exports = bar->addMenu(QStringLiteral("エクスポート(&E)"));
    exports->setObjectName(QStringLiteral("MenuExport"));
    const std::pair<QAction*, QString> items[] = {
        {ActionFolderExportAll, QStringLiteral("全フォルダのエクスポート(&Z)")},
        {ActionFolderExportSubDir, QStringLiteral("サブフォルダも含めてエクスポート(&Y)")},
        {ActionFolderExportSelected, QStringLiteral("選択したフォルダをエクスポート(&X)")},
    };
    for (const auto& [action, caption] : items) {
        // The shortcut is shown, not registered twice.
        QAction* item = exports->addAction(
            action->icon(), caption + QLatin1Char('\t') + action->shortcut().toString(QKeySequence::NativeText));
        item->setObjectName(action->objectName() + QStringLiteral("MenuItem"));
        item->setStatusTip(action->statusTip());
        connect(item, &QAction::triggered, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, item, &QAction::setEnabled);
    }

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("MenuHelp"));
    help->addAction(ActionHelpHelp);
    help->addAction(ActionHelpVersion);

    PopupActionBarListView = new QMenu(this);
    PopupActionBarListView->setObjectName(QStringLiteral("PopupActionBarListView"));
    PopupActionBarListView->addAction(ActionMailSelectAll);
    PopupActionBarListView->addAction(ActionMailSelectNon);
    PopupActionBarListView->addSeparator();
    PopupActionBarListView->addAction(ActionFolderExportSelected);
    PopupActionBarListView->addAction(ActionMailExport);

    PopupActionBarFolder = new QMenu(this);
    PopupActionBarFolder->setObjectName(QStringLiteral("PopupActionBarFolder"));
    PopupActionBarFolder->addAction(ActionFolderExportAll);
    PopupActionBarFolder->addSeparator();
    PopupActionBarFolder->addAction(ActionFolderExportSubDir);
    PopupActionBarFolder->addAction(ActionFolderExportSelected);

    TreeViewFolder->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeViewFolder, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupActionBarFolder->popup(TreeViewFolder->viewport()->mapToGlobal(at));
    });
    ListViewMail->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewMail, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupActionBarListView->popup(ListViewMail->viewport()->mapToGlobal(at));
    });
}

void TFormMain::CreateLayout()
{
    // Sizes follow the text size, so that a larger font still fits.
    const double scale = std::max(1.0, fontMetrics().height() / 13.0);
    auto scaled = [scale](int pixels) { return static_cast<int>(pixels * scale); };

    auto* toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("Panel2"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->toggleViewAction()->setVisible(false);
    int number = 1;
    for (QAction* action : {ActionFolderExportAll, ActionFolderExportSelected, ActionFolderExportSubDir}) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QStringLiteral("SpeedButton%1").arg(number++));
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        toolBar->addWidget(button);
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
    Panel2 = toolBar;

    auto* splitter1 = new QSplitter(Qt::Horizontal, this);
    splitter1->setObjectName(QStringLiteral("Splitter1"));
    splitter1->setChildrenCollapsible(false);

    TreeViewFolder = new QTreeView(splitter1);
    TreeViewFolder->setObjectName(QStringLiteral("TreeViewFolder"));
    TreeViewFolder->setModel(FTreeModel);
    TreeViewFolder->setHeaderHidden(true);
    TreeViewFolder->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeViewFolder->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeViewFolder->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(TreeViewFolder->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                RunCommand([&] { TreeViewFolderCurrentChanged(current, previous); });
            });
    connect(TreeViewFolder, &QTreeView::collapsed, this, &TFormMain::TreeViewFolderCollapsed);

    Panel1 = new QWidget(splitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* panel1Layout = new QVBoxLayout(Panel1);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter2 = new QSplitter(Qt::Vertical, Panel1);
    splitter2->setObjectName(QStringLiteral("Splitter2"));
    splitter2->setChildrenCollapsible(false);
    panel1Layout->addWidget(splitter2);

    auto* listPart = new QWidget(splitter2);
    auto* listLayout = new QVBoxLayout(listPart);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(2);
    ListViewMail = new QTreeWidget(listPart);
    ListViewMail->setObjectName(QStringLiteral("ListViewMail"));
    ListViewMail->setColumnCount(3);
    ListViewMail->setHeaderLabels(
        {QStringLiteral("差出人"), QStringLiteral("件名"), QStringLiteral("送信日時")});
    ListViewMail->setRootIsDecorated(false);
    ListViewMail->setUniformRowHeights(true);
    ListViewMail->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewMail->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewMail->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewMail->setSortingEnabled(false);
    ListViewMail->header()->setSectionsClickable(false);
    ListViewMail->header()->setStretchLastSection(false);
    ListViewMail->setStatusTip(QStringLiteral("エクスポートするメールをチェックして下さい。"));
    ListViewMail->setToolTip(ListViewMail->statusTip());
    ListViewMail->viewport()->installEventFilter(this);
    listLayout->addWidget(ListViewMail);

    PanelFolderLoad = new QWidget(listPart);
    PanelFolderLoad->setObjectName(QStringLiteral("PanelFolderLoad"));
    auto* loadLayout = new QHBoxLayout(PanelFolderLoad);
    loadLayout->setContentsMargins(0, 0, 0, 0);
    ProgressBarMail = new QProgressBar(PanelFolderLoad);
    ProgressBarMail->setObjectName(QStringLiteral("ProgressBarMail"));
    BtnFolderLoadCancel = new QPushButton(ActionMailLoadCancel->text(), PanelFolderLoad);
    BtnFolderLoadCancel->setObjectName(QStringLiteral("BtnFolderLoadCancel"));
    BtnFolderLoadCancel->setStatusTip(ActionMailLoadCancel->statusTip());
    BtnFolderLoadCancel->setFocusPolicy(Qt::NoFocus);
    connect(BtnFolderLoadCancel, &QPushButton::clicked, ActionMailLoadCancel, &QAction::trigger);
    loadLayout->addWidget(ProgressBarMail, 1);
    loadLayout->addWidget(BtnFolderLoadCancel);
    PanelFolderLoad->setFixedHeight(std::max(scaled(26), BtnFolderLoadCancel->sizeHint().height()));
    PanelFolderLoad->setVisible(false);
    listLayout->addWidget(PanelFolderLoad);

    Memo1 = new QPlainTextEdit(splitter2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setAcceptDrops(false);
    Memo1->installEventFilter(this);
    Memo1->clear();

    splitter2->setStretchFactor(0, 0);
    splitter2->setStretchFactor(1, 1);
    splitter2->setSizes({scaled(180) + PanelFolderLoad->height(), scaled(340)});
    splitter1->setStretchFactor(0, 0);
    splitter1->setStretchFactor(1, 1);
    splitter1->setSizes({scaled(240), scaled(660)});
    setCentralWidget(splitter1);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);

    // Esc presses the cancel button while it is shown.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("ShortcutCancel"));
    connect(escape, &QShortcut::activated, this, [this] {
        if (PanelFolderLoad->isVisible())
            BtnFolderLoadCancel->click();
    });

    resize(scaled(900), scaled(520) + menuBar()->sizeHint().height() + toolBar->sizeHint().height() +
                            statusBar()->sizeHint().height());
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 && event->type() == QEvent::ShortcutOverride) {
        // The preview would take Ctrl+A for itself; the window's commands go first.
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction* action : actions())
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
    }
    if (watched == ListViewMail->viewport() && event->type() == QEvent::MouseButtonRelease)
        RunCommand([this] { ListViewMailClick(); });
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::RunCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const Exception& e) {
        TMessageBox::Error(this, e.Message());
    } catch (const std::exception& e) {
        TMessageBox::Error(this, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        TMessageBox::Error(this, QString());
    }
}

void TFormMain::ShowStatus(const QString& text)
{
    statusBar()->showMessage(text);
    QApplication::processEvents();
}

void TFormMain::UpdateCommands()
{
    const bool idle = FBusy == 0;
    for (QAction* action : {ActionMailSelectAll, ActionMailSelectNon, ActionFolderExportAll,
                            ActionFolderExportSubDir, ActionFolderExportSelected, ActionMailExport,
                            ActionFileOpen})
        action->setEnabled(idle);
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FStartQueued) {
        // Once the window is on screen and the event queue is empty.
        FStartQueued = true;
        QTimer::singleShot(0, this, [this] { RunCommand([this] { StartUp(); }); });
    }
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (FBusy > 0) {
        // Never closed inside its own loop: the loop is cancelled, and the window
        // closes once it has returned.
        FCloseRequested = true;
        CancelRequested = true;
        event->ignore();
        return;
    }
    event->accept();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedDataFiles(event->mimeData()).isEmpty() && FBusy == 0)
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedDataFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has finished, so that the dragging program is not kept waiting.
    QTimer::singleShot(0, this, [this, files] { RunCommand([&] { OpenDataFiles(files); }); });
}
