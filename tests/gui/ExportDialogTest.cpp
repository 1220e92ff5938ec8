// The export-format and export-conditions dialogs on their own.
#include "GuiTestSupport.h"

#include "app/ui/Dialogs.h"
#include "app/ui/Help.h"
#include "export/ExportConf.h"
#include "export/ui/ExportSelectTarget.h"
#include "export/ui/ExportSelectType.h"
#include "export/ui/FrameExportEml.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace GuiTest;

namespace {

class TRecordingHelp : public IHelpHost {
public:
    explicit TRecordingHelp(std::vector<int>& contexts) : FContexts(contexts) {}
    void ShowContext(QWidget*, int context) override { FContexts.push_back(context); }
    void ShowContents(QWidget*) override {}
    void ShowAboutBox(QWidget*) override {}

private:
    std::vector<int>& FContexts;
};

class ExportDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMessageBox::ClearHistory();
        TFileDialog::ClearRequests();
        TModal::ClearHandlers();
        SetHelpHost(std::make_unique<TRecordingHelp>(FHelp));
    }
    void TearDown() override { SetHelpHost(nullptr); }

    // A conditions dialog on screen over the configuration.
    std::unique_ptr<TFormExportSelectTarget> Open(TExportConf& conf)
    {
        auto dialog = std::make_unique<TFormExportSelectTarget>(nullptr);
        dialog->SetConf(&conf);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        QApplication::processEvents();
        return dialog;
    }
    QStringList Samples(QDialog& dialog)
    {
        QApplication::processEvents();
        return Texts(Find<QTreeWidget>(&dialog, "ListViewEml"), 0);
    }

    std::vector<int> FHelp;
};

} // namespace

TEST_F(ExportDialogTest, FormatDialogDescribesTheChosenTypeAndHelpsWithContext4)
{
    TFormExportSelectType dialog(nullptr);
    auto* memo = Find<QPlainTextEdit>(&dialog, "MemoDescription");
    const QStringList& descriptions = dialog.GetDescriptions();
    ASSERT_EQ(descriptions.size(), 4);
    EXPECT_TRUE(descriptions[0].startsWith(QStringLiteral("Outlook メッセージ形式 (.msg)\r\n\r\nOutlookのエクスポート機能")));
    EXPECT_TRUE(descriptions[1].contains(QStringLiteral("「テキスト形式 (.txt))」形式で保存します。\r\n")));
    EXPECT_TRUE(descriptions[2].endsWith(QStringLiteral("* X-ReceivedTime(受信日)…独自拡張\r\n* 本文")));
    EXPECT_EQ(descriptions[3], descriptions[2] + QStringLiteral("\r\n* 添付ファイル"));
    EXPECT_EQ(memo->toPlainText(), QString(descriptions[0]).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    Find<QRadioButton>(&dialog, "RadioType3")->click();
    EXPECT_EQ(dialog.GetSelectedType(), 3);
    EXPECT_TRUE(memo->toPlainText().endsWith(QStringLiteral("* 本文\n* 添付ファイル")));

    Find<QPushButton>(&dialog, "BtnHelp")->click();
    EXPECT_EQ(FHelp, std::vector<int>{hcExportSelectType});
}

TEST_F(ExportDialogTest, ConditionsShowTheTypeAndRuleAndSampleNames)
{
    TExportConf conf(1);
    auto dialog = Open(conf);
    EXPECT_EQ(Find<QGroupBox>(dialog.get(), "GroupBoxEml")->title(), QStringLiteral("テキスト形式 (.txt)"));
    auto* format = Find<QLineEdit>(dialog.get(), "LabeledEditEmlFormat");
    auto* digits = Find<QLineEdit>(dialog.get(), "LabeledEditEmlDigit");
    auto* rule = Find<QComboBox>(dialog.get(), "ComboBoxEmlNameType");
    EXPECT_EQ(format->text(), QStringLiteral("<n>.txt"));
    EXPECT_FALSE(Find<QCheckBox>(dialog.get(), "CheckBoxEmlMakeDir")->isVisible());
    EXPECT_EQ(Samples(*dialog), (QStringList{QStringLiteral("0.txt"), QStringLiteral("1.txt"), QStringLiteral("2.txt")}));

    // One refresh once the queue is idle, not one per change.
    format->setText(QStringLiteral("<n>.eml"));
    digits->setText(QStringLiteral("3"));
    EXPECT_EQ(Texts(Find<QTreeWidget>(dialog.get(), "ListViewEml"), 0).value(0), QStringLiteral("0.txt"));
    EXPECT_EQ(Samples(*dialog), (QStringList{QStringLiteral("000.eml"), QStringLiteral("001.eml"), QStringLiteral("002.eml")}));

    // Switching the rule replaces a hand-made format.
    rule->setCurrentIndex(1);
    Q_EMIT rule->activated(1);
    EXPECT_EQ(format->text(), QStringLiteral("<s>(<n>).txt"));
    EXPECT_EQ(Find<QLabel>(dialog.get(), "LabelEmlFormatHint")->text(), QStringLiteral("番号 = <n> 件名 = <s>"));
    digits->setText(QStringLiteral("2"));
    EXPECT_EQ(Samples(*dialog), (QStringList{QStringLiteral("メールの件名.txt"), QStringLiteral("メールの件名(01).txt"),
                                             QStringLiteral("メールの件名(02).txt")}));
    rule->setCurrentIndex(2);
    Q_EMIT rule->activated(2);
    EXPECT_EQ(format->text(), QString());
    EXPECT_EQ(Find<QLabel>(dialog.get(), "LabelEmlFormat")->text(), QStringLiteral("パラメータ文字(&F)"));
    EXPECT_TRUE(Find<QCheckBox>(dialog.get(), "CheckBoxUseParamRegexp")->isVisible());
    EXPECT_FALSE(Find<QLabel>(dialog.get(), "LabelEmlFormatHint")->isVisible());
    EXPECT_EQ(Samples(*dialog).value(2), QStringLiteral("パラメータにマッチした文字.txt"));

    Find<QPushButton>(dialog.get(), "BitBtn1")->click();
    EXPECT_EQ(FHelp, std::vector<int>{hcExportSelectTarget});
}

TEST_F(ExportDialogTest, DigitEditKeepsOneDigitAndBecomesANumberOnLeaving)
{
    TExportConf conf(2);
    auto dialog = Open(conf);
    auto* digits = Find<QLineEdit>(dialog.get(), "LabeledEditEmlDigit");
    digits->setFocus(Qt::TabFocusReason);
    QTest::keyClick(digits, Qt::Key_5);
    QTest::keyClick(digits, Qt::Key_7); // replaces the digit
    EXPECT_EQ(digits->text(), QStringLiteral("7"));
    digits->clear();
    EXPECT_EQ(Samples(*dialog).value(1), QStringLiteral("1.eml")); // 0 digits while empty
    Find<QLineEdit>(dialog.get(), "LabeledEditEmlDir")->setFocus();
    EXPECT_EQ(digits->text(), QStringLiteral("1"));
    digits->setText(QStringLiteral("0"));
    digits->setFocus();
    Find<QLineEdit>(dialog.get(), "LabeledEditEmlDir")->setFocus();
    EXPECT_EQ(digits->text(), QStringLiteral("0"));
}

TEST_F(ExportDialogTest, AttachmentFolderAppearsWithItsBoxAndFolderButtonsBrowse)
{
    QTemporaryDir dir;
    TExportConf conf(3);
    auto dialog = Open(conf);
    auto* box = Find<QCheckBox>(dialog.get(), "CheckBoxEmlAttachedFileDir");
    auto* edit = Find<QLineEdit>(dialog.get(), "EditEmlAttachedFileDir");
    EXPECT_FALSE(edit->isVisible());
    box->click();
    EXPECT_TRUE(edit->isVisible());
    EXPECT_TRUE(Find<QPushButton>(dialog.get(), "BtnEmlAttachedFileDir")->isVisible());

    Find<QLineEdit>(dialog.get(), "LabeledEditEmlDir")->setText(dir.path());
    TFileDialog::SetNextFileName(dir.filePath(QStringLiteral("chosen")));
    Find<QPushButton>(dialog.get(), "BtnEmlSelectDir")->click();
    edit->setText(QStringLiteral("/nonexistent/folder"));
    Find<QPushButton>(dialog.get(), "BtnEmlAttachedFileDir")->click(); // cancelled
    ASSERT_EQ(TFileDialog::Requests().size(), 2u);
    EXPECT_EQ(TFileDialog::Requests()[0].Title, QStringLiteral("emlファイルの保存先フォルダーを選択してください。"));
    EXPECT_EQ(TFileDialog::Requests()[0].Dir, dir.path());
    EXPECT_EQ(TFileDialog::Requests()[1].Title, QStringLiteral("添付ファイルの保存先フォルダーを選択してください。"));
    EXPECT_EQ(TFileDialog::Requests()[1].Dir, QString());
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "LabeledEditEmlDir")->text(), dir.filePath(QStringLiteral("chosen")));
    EXPECT_EQ(edit->text(), QStringLiteral("/nonexistent/folder"));

    // Unchecked, the attachment folder is not stored whatever the edit holds.
    box->click();
    EXPECT_FALSE(edit->isVisible());
    QDir().mkpath(dir.filePath(QStringLiteral("chosen")));
    Find<QPushButton>(dialog.get(), "BtnOk")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(conf.GetEmlAttachedFileDir(), QString());
    EXPECT_EQ(conf.GetEmlSaveDir(), dir.filePath(QStringLiteral("chosen")));
}

TEST_F(ExportDialogTest, ValidateNamesEachProblemAndKeepsTheDialogOpen)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString missing = dir.filePath(QStringLiteral("a/b"));

    struct Case {
        const char* Name;
        int Rule;
        QString Format;
        bool Regexp;
        QString SaveDir;
        QString AttachmentDir; // checks the box when not empty
        std::vector<QMessageBox::StandardButton> Answers;
        QStringList Messages;
        const char* Focus; // the control that has the focus afterwards, or null
        bool Accepted;
    };
    const QString noNumber = QStringLiteral("フォーマット形式に連番記号(<n>)がありません。");
    const QString notFound = QStringLiteral("保存先フォルダが見つかりません。\n作成しますか？");
    const Case cases[] = {
        {"subject without <n>", 1, QStringLiteral("<s>.eml"), false, dir.path(), {}, {}, {noNumber}, "LabeledEditEmlFormat", false},
        {"sequence without <n>", 0, QStringLiteral("x.eml"), false, dir.path(), {}, {}, {noNumber}, "LabeledEditEmlFormat", false},
        {"empty parameter", 2, QString(), false, dir.path(), {}, {},
         {QStringLiteral("パラメータ文字が入力されていません。")}, "LabeledEditEmlFormat", false},
        {"bad pattern", 2, QStringLiteral("(abc"), true, dir.path(), {}, {},
         {QStringLiteral("正規表現に間違いがあります。")}, "LabeledEditEmlFormat", false},
        {"same text, no pattern", 2, QStringLiteral("(abc"), false, dir.path(), {}, {}, {}, nullptr, true},
        {"no save folder", 0, QStringLiteral("<n>.eml"), false, QString(), {}, {},
         {QStringLiteral("保存先フォルダが指定されていません。")}, nullptr, false},
        {"attachments only, yes", 0, QStringLiteral("<n>.eml"), false, QString(), dir.path(), {QMessageBox::Yes},
         {QStringLiteral("添付ファイルだけをエクスポートします。\nよろしいですか？")}, nullptr, true},
        {"attachments only, no", 0, QStringLiteral("<n>.eml"), false, QString(), dir.path(), {QMessageBox::No},
         {QStringLiteral("添付ファイルだけをエクスポートします。\nよろしいですか？")}, nullptr, false},
        {"missing folder, no", 0, QStringLiteral("<n>.eml"), false, missing, {}, {QMessageBox::No}, {notFound},
         "LabeledEditEmlDir", false},
        {"folder under a file", 0, QStringLiteral("<n>.eml"), false, dir.filePath(QStringLiteral("file/sub")), {},
         {QMessageBox::Yes}, {notFound, QStringLiteral("保存先フォルダの作成に失敗しました。")}, "LabeledEditEmlDir", false},
        {"missing folder, yes", 0, QStringLiteral("<n>.eml"), false, missing, {}, {QMessageBox::Yes}, {notFound}, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMessageBox::ClearHistory();
        TExportConf conf(2);
        auto dialog = Open(conf);
        auto* rule = Find<QComboBox>(dialog.get(), "ComboBoxEmlNameType");
        rule->setCurrentIndex(c.Rule);
        Q_EMIT rule->activated(c.Rule);
        Find<QLineEdit>(dialog.get(), "LabeledEditEmlFormat")->setText(c.Format);
        Find<QCheckBox>(dialog.get(), "CheckBoxUseParamRegexp")->setChecked(c.Regexp);
        Find<QLineEdit>(dialog.get(), "LabeledEditEmlDir")->setText(c.SaveDir);
        if (!c.AttachmentDir.isEmpty()) {
            Find<QCheckBox>(dialog.get(), "CheckBoxEmlAttachedFileDir")->click();
            Find<QLineEdit>(dialog.get(), "EditEmlAttachedFileDir")->setText(c.AttachmentDir);
        }
        for (const auto answer : c.Answers)
            TMessageBox::SetNextAnswer(answer);
        Find<QPushButton>(dialog.get(), "BtnOk")->setFocus();
        Find<QPushButton>(dialog.get(), "BtnOk")->click();

        QStringList shown;
        for (const auto& box : TMessageBox::History())
            shown << box.Text.section(QLatin1Char('\n'), 0, box.Text.startsWith(QStringLiteral("保存先フォルダの作成")) ? 0 : -1);
        EXPECT_EQ(shown, c.Messages);
        EXPECT_EQ(dialog->isVisible(), !c.Accepted);
        EXPECT_EQ(dialog->result() == QDialog::Accepted, c.Accepted);
        if (c.Focus) {
            EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(dialog.get(), c.Focus));
        }
        if (c.Accepted) {
            EXPECT_EQ(conf.GetEmlNameType(), c.Rule);
            EXPECT_EQ(conf.GetEmlFormat(), c.Format);
            EXPECT_EQ(conf.GetEmlSaveDir(), c.SaveDir);
            EXPECT_EQ(conf.GetEmlAttachedFileDir(), c.AttachmentDir);
        } else {
            EXPECT_EQ(conf.GetEmlSaveDir(), QString()); // untouched
        }
    }
    EXPECT_TRUE(QFileInfo(missing).isDir());
}
