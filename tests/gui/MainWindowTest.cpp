// The main window on the sample data file: start-up, the tree, the mail list and
// its ticks, the preview, opening data files, and the window's loops.
#include "GuiTestSupport.h"

#include "app/ui/Dialogs.h"
#include "app/ui/FolderTreeModel.h"
#include "automation/ComObj.h"
#include "pst/PstTestSupport.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"
#include "OutlookPst.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace GuiTest;

namespace {

const QString kTop = QStringLiteral("\\Personal folders");
const QString kMlokay = QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)");
const QString kSystems = kMlokay + QStringLiteral("\\Systems");
const QString kCommercial = kMlokay + QStringLiteral("\\TW-Commercial Group");
const QString kPersonal = kMlokay + QStringLiteral("\\Personal");

// pffexport's messages of a folder, given by its path below the data file's top.
std::vector<PstTest::ExportedMessage> Expected(const QString& path)
{
    const QString below = path.mid(kTop.size());
    std::vector<PstTest::ExportedMessage> out;
    for (const auto& m : PstTest::PffExport(SamplePath()).Messages)
        if (m.Folder == below)
            out.push_back(m);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
    return out;
}

std::vector<bool> Ticks(const QTreeWidget* list)
{
    std::vector<bool> ticks;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        ticks.push_back(list->topLevelItem(i)->checkState(0) == Qt::Checked);
    return ticks;
}

QStringList Messages()
{
    QStringList texts;
    for (const auto& shown : TMessageBox::History())
        texts << shown.Text;
    return texts;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMessageBox::ClearHistory();
        TFileDialog::ClearRequests();
        TModal::ClearHandlers();
        ResetSession({SamplePath()});
        QFile::remove(OutlookPst::ProfilePath());
    }
    void TearDown() override { OutlookPst::ClearSessionStores(); }
};

} // namespace

TEST_F(MainWindowTest, StartUpShowsTheExpandedTreeAndListsTheFirstFolder)
{
    auto form = StartMainWindow();
    auto* tree = Find<QTreeView>(form.get(), "TreeViewFolder");
    auto* model = static_cast<TFolderTreeModel*>(tree->model());
    ASSERT_EQ(model->rowCount(), 1);
    const QModelIndex root = model->index(0, 0);
    EXPECT_EQ(root.data().toString(), QStringLiteral("Personal folders"));
    // Expanded all the way down.
    std::function<void(const QModelIndex&)> expanded = [&](const QModelIndex& index) {
        if (model->rowCount(index) > 0) {
            EXPECT_TRUE(tree->isExpanded(index)) << index.data().toString().toStdString();
        }
        for (int row = 0; row < model->rowCount(index); ++row)
            expanded(model->index(row, 0, index));
    };
    expanded(root);
    EXPECT_EQ(tree->currentIndex(), root);
    EXPECT_EQ(form->GetCurrentFolderPath(), kTop);
    EXPECT_EQ(form->statusBar()->currentMessage(), QStringLiteral("メールの一覧を読み込みました。"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('\n')).toStdString();
    // Every mail folder starts fully ticked.
    for (const auto& [path, selection] : form->GetMailSelections())
        EXPECT_EQ(selection.GetState(), ssAll) << path.toStdString();
    EXPECT_EQ(form->GetMailSelections().size(), 8u);
}

TEST_F(MainWindowTest, MissingConverterEndsWithItsWarningBeforeOutlookIsAsked)
{
    TMainServices services = ProgramServices();
    services.InitConverter = [] { return -1; };
    auto form = StartMainWindow(std::move(services));
    ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("NKF32.DLLの読み込みに失敗しました。")});
    EXPECT_THROW(Automation::GetActiveOleObject(QStringLiteral("Outlook.Application")), EOleSysError);
}

TEST_F(MainWindowTest, ListShowsSenderSubjectAndReceivedTimeOfEveryMail)
{
    TestSupport::ScopedTimeZone zone("UTC");
    auto form = StartMainWindow();
    SelectFolder(*form, kCommercial);
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    const auto expected = Expected(kCommercial);
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(expected.size()));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const auto& m = expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(list->topLevelItem(i)->text(0), m.Headers.value(QStringLiteral("Sender name")));
        EXPECT_EQ(list->topLevelItem(i)->text(1), m.Headers.value(QStringLiteral("Subject")));
        const QDateTime received = PstTest::ParsePffTime(m.Headers.value(QStringLiteral("Delivery time")));
        EXPECT_TRUE(list->topLevelItem(i)->text(2).startsWith(received.toString(QStringLiteral("yyyy/MM/dd("))));
        EXPECT_TRUE(list->topLevelItem(i)->text(2).endsWith(received.toString(QStringLiteral(") HH:mm"))));
    }
    EXPECT_FALSE(Find<QWidget>(form.get(), "PanelFolderLoad")->isVisible());
}

TEST_F(MainWindowTest, PreviewShowsTheClickedMailInItsLineOrder)
{
    TestSupport::ScopedTimeZone zone("UTC");
    auto form = StartMainWindow();
    SelectFolder(*form, kPersonal);
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    auto* memo = Find<QPlainTextEdit>(form.get(), "Memo1");
    const auto expected = Expected(kPersonal);
    // One mail with attachments, one without.
    int withAttachments = -1, without = -1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        (expected[i].Attachments.empty() ? without : withAttachments) = static_cast<int>(i);
    ASSERT_GE(withAttachments, 0);
    ASSERT_GE(without, 0);
    for (const int row : {without, withAttachments}) {
        const auto& m = expected[static_cast<std::size_t>(row)];
        ClickRow(list, row);
        const QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
        ASSERT_GE(lines.size(), 5);
        EXPECT_EQ(lines[0], QStringLiteral("差出人：") + m.Headers.value(QStringLiteral("Sender name")));
        EXPECT_EQ(lines[1], QStringLiteral("件名：") + m.Headers.value(QStringLiteral("Subject")));
        const QDateTime received = PstTest::ParsePffTime(m.Headers.value(QStringLiteral("Delivery time")));
        EXPECT_TRUE(lines[2].startsWith(QStringLiteral("受信日時：") + received.toString(QStringLiteral("yyyy/MM/dd("))));
        int line = 3;
        for (const auto& attachment : m.Attachments) {
            EXPECT_TRUE(lines[line].startsWith(QStringLiteral("添付ファイル："))) << lines[line].toStdString();
            EXPECT_EQ(PstTest::ExportName(lines[line].mid(7)), attachment.Name);
            ++line;
        }
        EXPECT_EQ(lines[line], QStringLiteral("---"));
        EXPECT_EQ(memo->textCursor().position(), 0);
    }
    // A click where there is no row leaves the preview empty.
    list->clearSelection();
    QMouseEvent release(QEvent::MouseButtonRelease, QPoint(5, list->viewport()->height() - 2),
                        list->viewport()->mapToGlobal(QPoint(5, 5)), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, TicksSurviveAFolderChangeAndTheSelectCommandsOverrideThem)
{
    auto form = StartMainWindow();
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    SelectFolder(*form, kSystems);
    ASSERT_EQ(list->topLevelItemCount(), 7);
    EXPECT_EQ(Ticks(list), std::vector<bool>(7, true));
    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    list->topLevelItem(4)->setCheckState(0, Qt::Unchecked);

    SelectFolder(*form, kCommercial);
    Find<QAction>(form.get(), "ActionMailSelectNon")->trigger();
    EXPECT_EQ(Ticks(list), std::vector<bool>(14, false));

    SelectFolder(*form, kSystems);
    EXPECT_EQ(Ticks(list), (std::vector<bool>{true, false, true, true, false, true, true}));
    const TMailSelection& systems = form->GetMailSelections().at(kSystems);
    EXPECT_EQ(systems.GetState(), ssIndividual);
    EXPECT_EQ(systems.GetIndices(), (std::set<qint32>{0, 2, 3, 5, 6}));
    EXPECT_EQ(form->GetMailSelections().at(kCommercial).SelectedCount(), 0);

    // Ctrl+A works with the focus in the preview too.
    Find<QPlainTextEdit>(form.get(), "Memo1")->setFocus();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), Qt::Key_A,
                    Qt::ControlModifier);
    EXPECT_EQ(Ticks(list), std::vector<bool>(7, true));
    EXPECT_EQ(form->GetMailSelections().at(kSystems).GetState(), ssAll);
}

TEST_F(MainWindowTest, NonMailFolderCannotBeSelected)
{
    ResetSession({OstPath()});
    auto form = StartMainWindow();
    auto* tree = Find<QTreeView>(form.get(), "TreeViewFolder");
    SelectFolder(*form, QStringLiteral("\\pstextractortest@outlook.com.ost\\Inbox"));
    const QModelIndex inbox = tree->currentIndex();
    SelectFolder(*form, QStringLiteral("\\pstextractortest@outlook.com.ost\\Contacts"));
    EXPECT_EQ(tree->currentIndex(), inbox);
    EXPECT_EQ(form->GetCurrentFolderPath(), QStringLiteral("\\pstextractortest@outlook.com.ost\\Inbox"));
    EXPECT_EQ(Find<QTreeWidget>(form.get(), "ListViewMail")->topLevelItemCount(), 10);
}

TEST_F(MainWindowTest, CancelStopsTheLoadAndOnlyTheRowsReadKeepTheirTicks)
{
    auto form = StartMainWindow();
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    auto* cancel = Find<QPushButton>(form.get(), "BtnFolderLoadCancel");
    auto* progress = Find<QProgressBar>(form.get(), "ProgressBarMail");
    bool checkedCommands = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        // Three rows read, as the progress bar shows.
        if (progress->value() < 2 || !cancel->isVisible())
            return;
        // While the list loads, nothing that starts another load or export runs.
        for (const char* name : {"ActionFolderExportAll", "ActionFolderExportSubDir",
                                 "ActionFolderExportSelected", "ActionMailExport", "ActionFileOpen",
                                 "ActionMailSelectAll"})
            EXPECT_FALSE(Find<QAction>(form.get(), name)->isEnabled()) << name;
        EXPECT_TRUE(Find<QAction>(form.get(), "ActionMailLoadCancel")->isEnabled());
        EXPECT_FALSE(Find<QTreeView>(form.get(), "TreeViewFolder")->isEnabled());
        checkedCommands = true;
        cancel->click();
        watcher.stop();
    });
    watcher.start(0);
    SelectFolder(*form, kPersonal);
    ASSERT_TRUE(checkedCommands);
    const int rows = list->topLevelItemCount();
    EXPECT_GE(rows, 3);
    EXPECT_LT(rows, 47);
    EXPECT_EQ(form->statusBar()->currentMessage(), QStringLiteral("メールの一覧を読み込みました。"));
    EXPECT_TRUE(Find<QAction>(form.get(), "ActionFolderExportAll")->isEnabled());
    EXPECT_EQ(Ticks(list), std::vector<bool>(static_cast<std::size_t>(rows), true));
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);

    // Leaving records the rows shown; the mails beyond them stay ticked as the
    // fully ticked folder had them.
    SelectFolder(*form, kSystems);
    const TMailSelection& personal = form->GetMailSelections().at(kPersonal);
    EXPECT_EQ(personal.GetState(), ssIndividual);
    EXPECT_FALSE(personal.IsSelected(0));
    EXPECT_TRUE(personal.IsSelected(1));
    EXPECT_TRUE(personal.IsSelected(46));
    EXPECT_EQ(personal.SelectedCount(), 46);
}

TEST_F(MainWindowTest, ClosingDuringALoadCancelsItAndClosesAfterTheLoop)
{
    auto form = StartMainWindow();
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    auto* progress = Find<QProgressBar>(form.get(), "ProgressBarMail");
    bool closedInside = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (progress->value() < 1 || !progress->isVisible())
            return;
        watcher.stop();
        form->close();
        closedInside = form->isVisible();
    });
    watcher.start(0);
    SelectFolder(*form, kPersonal);
    EXPECT_TRUE(closedInside); // still open inside the loop
    EXPECT_LT(list->topLevelItemCount(), 47);
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }));
}

TEST_F(MainWindowTest, OpeningADataFileAddsItsFoldersAndKeepsTheTicks)
{
    auto form = StartMainWindow();
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    SelectFolder(*form, kSystems);
    list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);

    TFileDialog::SetNextFileNames({OstPath()});
    Find<QAction>(form.get(), "ActionFileOpen")->trigger();
    WaitFor([&] { return !form->IsBusy(); });
    ASSERT_EQ(TFileDialog::Requests().size(), 1u);
    EXPECT_TRUE(TFileDialog::Requests()[0].Filter.contains(QStringLiteral("*.pst;*.ost")));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('\n')).toStdString();

    // The second data file hangs below the first root, after its own folders.
    auto* tree = Find<QTreeView>(form.get(), "TreeViewFolder");
    const QModelIndex root = tree->model()->index(0, 0);
    const int children = tree->model()->rowCount(root);
    EXPECT_EQ(tree->model()->index(children - 1, 0, root).data().toString(),
              QStringLiteral("pstextractortest@outlook.com.ost"));
    // The folder on screen is listed again with its ticks.
    EXPECT_EQ(form->GetCurrentFolderPath(), kSystems);
    EXPECT_EQ(Ticks(list), (std::vector<bool>{true, true, false, true, true, true, true}));
    // Its folders are found by their paths and listed.
    SelectFolder(*form, QStringLiteral("\\pstextractortest@outlook.com.ost\\Inbox"));
    EXPECT_EQ(list->topLevelItemCount(), 10);
    // Outlook keeps the file in its profile.
    EXPECT_EQ(OutlookPst::ProfileStores(), QStringList{OstPath()});
}

TEST_F(MainWindowTest, DataFilesOnTheCommandLineAreOpenedForThisRun)
{
    ResetSession({});
    OutlookPst::ClearSessionStores();
    auto form = StartMainWindow(ProgramServices({OstPath(), QStringLiteral("/nonexistent/archive.pst")}));
    ASSERT_EQ(TMessageBox::History().size(), 1u);
    EXPECT_TRUE(Messages()[0].contains(QStringLiteral("archive.pst")));
    auto* tree = Find<QTreeView>(form.get(), "TreeViewFolder");
    ASSERT_EQ(tree->model()->rowCount(), 1);
    EXPECT_EQ(tree->model()->index(0, 0).data().toString(), QStringLiteral("pstextractortest@outlook.com.ost"));
    EXPECT_TRUE(OutlookPst::ProfileStores().isEmpty());
}

TEST_F(MainWindowTest, WithoutADataFileTheWindowSaysHowToOpenOne)
{
    ResetSession({});
    auto form = StartMainWindow();
    EXPECT_EQ(Find<QTreeView>(form.get(), "TreeViewFolder")->model()->rowCount(), 0);
    EXPECT_TRUE(Find<QPlainTextEdit>(form.get(), "Memo1")->placeholderText().contains(QStringLiteral("Ctrl+O")));
    // F5 with no folder says so.
    Find<QAction>(form.get(), "ActionFolderExportAll")->trigger();
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("フォルダが選択されていません。")});
}
