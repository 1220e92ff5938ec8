// The export commands of the main window on the sample data file, through both
// dialogs, to files on disk; failures, the question after them and the error window.
#include "GuiTestSupport.h"

#include "app/ui/Dialogs.h"
#include "app/ui/ErrorMailListWindow.h"
#include "OutlookPst.h"
#include "pst/PstTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace GuiTest;

namespace {

const QString kMlokay = QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)");
const QString kSystems = kMlokay + QStringLiteral("\\Systems");

// Answers the format dialog with a type and the conditions dialog with a folder,
// optionally changing the conditions first.
void AnswerDialogs(int type, const QString& saveDir,
                   const std::function<void(QDialog&)>& conditions = {})
{
    TModal::PushHandler([type](QDialog& dialog) {
        Find<QRadioButton>(&dialog, QStringLiteral("RadioType%1").arg(type).toLatin1().constData())->click();
        Find<QPushButton>(&dialog, "BtnOk")->click();
    });
    TModal::PushHandler([saveDir, conditions](QDialog& dialog) {
        QApplication::processEvents();
        Find<QLineEdit>(&dialog, "LabeledEditEmlDir")->setText(saveDir);
        if (conditions)
            conditions(dialog);
        Find<QPushButton>(&dialog, "BtnOk")->click();
    });
}

QStringList Messages()
{
    QStringList texts;
    for (const auto& shown : TMessageBox::History())
        texts << shown.Text;
    return texts;
}

// pffexport's count of mails per folder, by path below the data file's top.
std::map<QString, int> ExpectedCounts()
{
    std::map<QString, int> counts;
    for (const auto& m : PstTest::PffExport(SamplePath()).Messages)
        ++counts[m.Folder];
    return counts;
}

class ExportWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMessageBox::ClearHistory();
        TFileDialog::ClearRequests();
        TModal::ClearHandlers();
        ResetSession({SamplePath()});
        ASSERT_TRUE(FDir.isValid());
    }
    void TearDown() override { OutlookPst::ClearSessionStores(); }
    QString Out(const QString& name) const { return FDir.filePath(name); }

    QTemporaryDir FDir;
};

} // namespace

TEST_F(ExportWindowTest, F5WritesEveryTickedMailIntoTheFolderTreeWithSentTimes)
{
    TestSupport::ScopedTimeZone zone("Asia/Tokyo");
    auto form = StartMainWindow();
    const QString out = Out(QStringLiteral("all/new"));
    AnswerDialogs(3, out);
    TMessageBox::SetNextAnswer(QMessageBox::Yes); // create the missing save folder
    QTest::keyClick(form.get(), Qt::Key_F5);
    WaitFor([&] { return !form->IsBusy(); });
    EXPECT_EQ(Messages(), (QStringList{QStringLiteral("保存先フォルダが見つかりません。\n作成しますか？"),
                                       QStringLiteral("エクスポート処理を終了しました。")}));
    EXPECT_EQ(TMessageBox::History().back().BoxKind, TMessageBox::Kind::Information);

    // One file per mail, in a directory per folder below the save folder.
    std::map<QString, int> written;
    for (const QString& file : TestSupport::FilesBelow(out)) {
        const QString dir = QFileInfo(file).path();
        ++written[dir == QLatin1String(".") ? QString() : QLatin1Char('\\') + QString(dir).replace(QLatin1Char('/'), QLatin1Char('\\'))];
    }
    EXPECT_EQ(written, ExpectedCounts());

    // Each file carries the mail's sent time.
    const QString systems = out + QStringLiteral("/lokay-m/MLOKAY (Non-Privileged)/Systems/");
    for (const auto& m : PstTest::PffExport(SamplePath()).Messages) {
        if (!m.Folder.endsWith(QStringLiteral("\\Systems")))
            continue;
        const QFileInfo file(systems + QString::number(m.Index) + QStringLiteral(".eml"));
        ASSERT_TRUE(file.exists()) << file.filePath().toStdString();
        EXPECT_EQ(file.lastModified().toSecsSinceEpoch(),
                  PstTest::ParsePffTime(m.Headers.value(QStringLiteral("Client submit time"))).toSecsSinceEpoch());
    }
    EXPECT_TRUE(Find<QTreeWidget>(form.get(), "ListViewMail")->isEnabled());
}

TEST_F(ExportWindowTest, F7WritesTheFolderAloneAndF6ItsSubFoldersToo)
{
    auto form = StartMainWindow();
    SelectFolder(*form, kMlokay);
    const QString alone = Out(QStringLiteral("alone"));
    QDir().mkpath(alone);
    AnswerDialogs(2, alone);
    Find<QAction>(form.get(), "ActionFolderExportSelected")->trigger();
    WaitFor([&] { return !form->IsBusy(); });
    EXPECT_EQ(TestSupport::FilesBelow(alone), QStringList{QStringLiteral("1.eml")});

    // Ticks count: a folder whose ticks were all removed writes nothing.
    SelectFolder(*form, kSystems);
    Find<QAction>(form.get(), "ActionMailSelectNon")->trigger();
    SelectFolder(*form, kMlokay);
    const QString withSub = Out(QStringLiteral("sub"));
    QDir().mkpath(withSub);
    AnswerDialogs(0, withSub);
    Find<QAction>(form.get(), "ActionFolderExportSubDir")->trigger();
    WaitFor([&] { return !form->IsBusy(); });
    const QStringList files = TestSupport::FilesBelow(withSub);
    EXPECT_EQ(files.size(), 1 + 14 + 2 + 47);
    EXPECT_TRUE(files.contains(QStringLiteral("Sent Items/2.msg")));
    EXPECT_FALSE(files.join(QLatin1Char(' ')).contains(QStringLiteral("Systems/")));
    EXPECT_TRUE(QFileInfo(withSub + QStringLiteral("/Systems")).isDir());
}

TEST_F(ExportWindowTest, CancelledDialogsWriteNothingAndEnableTheControlsAgain)
{
    auto form = StartMainWindow();
    Find<QAction>(form.get(), "ActionFolderExportAll")->trigger(); // the format dialog cancelled
    TModal::PushHandler([](QDialog& dialog) { Find<QPushButton>(&dialog, "BtnOk")->click(); });
    Find<QAction>(form.get(), "ActionFolderExportAll")->trigger(); // the conditions dialog cancelled
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_TRUE(Find<QTreeWidget>(form.get(), "ListViewMail")->isEnabled());
    EXPECT_TRUE(Find<QAction>(form.get(), "ActionFolderExportAll")->isEnabled());
}

TEST_F(ExportWindowTest, SingleMailIsSavedInEachType)
{
    struct Case {
        int Type;
        QString Filter;
        QString Suffix;
        QByteArray Start;
    };
    const Case cases[] = {
        {0, QStringLiteral("Outlook メッセージ形式(.msg)|*.msg"), QStringLiteral(".msg"),
         QByteArray::fromHex("d0cf11e0a1b11ae1")},
        {1, QStringLiteral("テキスト形式(.txt)|*.txt"), QStringLiteral(".txt"), QByteArray()},
        {2, QStringLiteral("eml形式(.eml)|*.eml"), QStringLiteral(".eml"), QByteArray()},
        {3, QStringLiteral("eml形式(.eml)|*.eml"), QStringLiteral(".eml"), QByteArray()},
    };
    auto form = StartMainWindow();
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    // Without a selected mail there is nothing to save.
    Find<QAction>(form.get(), "ActionMailExport")->trigger();
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("メールが選択されていません。")});
    TMessageBox::ClearHistory();

    SelectFolder(*form, kSystems);
    const QString subject = list->topLevelItem(0)->text(1);
    ClickRow(list, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Type);
        TFileDialog::ClearRequests();
        const QString file = Out(QStringLiteral("mail%1%2").arg(c.Type).arg(c.Suffix));
        TModal::PushHandler([&](QDialog& dialog) {
            Find<QRadioButton>(&dialog, QStringLiteral("RadioType%1").arg(c.Type).toLatin1().constData())->click();
            Find<QPushButton>(&dialog, "BtnOk")->click();
        });
        TFileDialog::SetNextFileName(file);
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(form.get(), Qt::Key_F8);
        ASSERT_EQ(TFileDialog::Requests().size(), 1u);
        EXPECT_EQ(TFileDialog::Requests()[0].Title, QStringLiteral("エクスポート"));
        EXPECT_EQ(TFileDialog::Requests()[0].Filter, c.Filter);
        EXPECT_EQ(TFileDialog::Requests()[0].DefaultSuffix, c.Suffix);
        EXPECT_EQ(form->statusBar()->currentMessage(), QStringLiteral("ファイルに保存しました。"));
        const QByteArray data = PstTest::ReadFile(file);
        ASSERT_FALSE(data.isEmpty());
        if (!c.Start.isEmpty())
            EXPECT_TRUE(data.startsWith(c.Start));
        else if (c.Type == 1)
            EXPECT_TRUE(QString::fromUtf8(data).contains(subject));
        else
            EXPECT_TRUE(data.contains("\nSubject: ") || data.startsWith("Subject: "));
    }
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ExportWindowTest, FailedMailsAreAskedAboutAndListedInTheErrorWindowAndItsCsv)
{
    auto form = StartMainWindow();
    SelectFolder(*form, kSystems);
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    const QStringList senders = Texts(list, 0);
    const QStringList subjects = Texts(list, 1);
    const QStringList received = Texts(list, 2);
    // Folders in the way of the 2nd and 4th mail's files make them fail.
    const QString out = Out(QStringLiteral("errors"));
    QDir().mkpath(out + QStringLiteral("/2.eml"));
    QDir().mkpath(out + QStringLiteral("/4.eml"));
    AnswerDialogs(2, out);
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    TMessageBox::SetNextAnswer(QMessageBox::No);
    Find<QAction>(form.get(), "ActionFolderExportSelected")->trigger();
    WaitFor([&] { return !form->IsBusy(); });

    ASSERT_EQ(TMessageBox::History().size(), 2u);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("2通目のメールでエラーが発生しました。\n(")));
    EXPECT_TRUE(Messages()[0].endsWith(QStringLiteral(")\n処理を続行しますか？")));
    EXPECT_TRUE(Messages()[1].startsWith(QStringLiteral("4通目のメールでエラーが発生しました。")));
    EXPECT_EQ(TMessageBox::History()[0].BoxButtons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // Yes went on to the 3rd mail, No ended the folder before the 5th.
    EXPECT_EQ(TestSupport::FilesBelow(out), (QStringList{QStringLiteral("1.eml"), QStringLiteral("3.eml")}));

    TFormErrorMailList* window = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        window = form->findChild<TFormErrorMailList*>();
        return window && window->IsFilled();
    }));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("エラーメール"));
    auto* rows = Find<QTreeWidget>(window, "ListViewMail");
    ASSERT_EQ(rows->topLevelItemCount(), 2);
    for (int r = 0; r < 2; ++r) {
        const int index = r == 0 ? 1 : 3;
        const QTreeWidgetItem* row = rows->topLevelItem(r);
        EXPECT_EQ(row->text(0), kSystems);
        EXPECT_EQ(row->text(1), QString::number(index + 1));
        EXPECT_EQ(row->text(2), senders[index]);
        EXPECT_EQ(row->text(3), subjects[index]);
        EXPECT_EQ(row->text(4), received[index]);
        EXPECT_TRUE(Messages()[r].contains(row->text(5)));
    }

    const QString csv = Out(QStringLiteral("errors.csv"));
    TFileDialog::SetNextFileName(csv);
    Find<QAction>(window, "ActionFileSaveToCsv")->trigger();
    EXPECT_EQ(TFileDialog::Requests().back().Filter,
              QStringLiteral("CSVファイル(*.CSV)|*.CSV|すべてのファイル(*.*)|*.*"));
    const QStringList lines = QString::fromUtf8(PstTest::ReadFile(csv)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4); // the header, two rows and the end of the last line
    EXPECT_EQ(lines[0], QStringLiteral("フォルダー,Index,差出人,件名,送信日時,エラーメッセージ"));
    EXPECT_TRUE(lines[1].startsWith(QLatin1Char('"') + kSystems + QStringLiteral("\",2,")));
    EXPECT_TRUE(lines[1].contains(QLatin1Char('"') + received[1] + QLatin1Char('"')));
    EXPECT_EQ(lines[3], QString());
    window->close();
}
