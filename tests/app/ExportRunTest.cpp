#include "app/ExportRun.h"
#include "TestSupport.h"
#include "fake/FakeAutomation.h"
#include "outlook/Outlook.h"
#include "runtime/DateTime.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

class RecordingHost : public IExportHost {
public:
    void ShowStatus(const QString& text) override { Statuses << text; }
    void SetProgressVisible(bool) override {}
    void SetProgressRange(int, int maximum) override { Ranges << maximum; }
    void SetProgressPosition(int) override {}
    void ProcessPendingEvents() override
    {
        if (OnEvents)
            OnEvents(*this);
    }
    bool GetCancelRequested() const override { return Cancel; }
    void SetCancelRequested(bool value) override { Cancel = value; }
    void ShowWarning(const QString& message) override { Warnings << message; }
    Answer AskYesNoCancel(const QString& message) override
    {
        Questions << message;
        return NextAnswer;
    }

    QStringList Statuses, Warnings, Questions;
    QList<int> Ranges;
    bool Cancel = false;
    Answer NextAnswer = Answer::Yes;
    std::function<void(RecordingHost&)> OnEvents;
};

Fake::MailSpec Mail(const QString& subject, TDateTime sent = 41644.375)
{
    Fake::MailSpec spec;
    spec.Subject = subject;
    spec.Body = QStringLiteral("本文 of ") + subject;
    spec.SenderName = QStringLiteral("Sender");
    spec.SenderEmailAddress = QStringLiteral("sender@example.com");
    spec.SentOn = sent;
    return spec;
}

QStringList Files(const QString& dir)
{
    return TestSupport::FilesBelow(dir);
}

class ExportRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        personal = &fake.AddFolder(nullptr, QStringLiteral("Personal"));
        inbox = &fake.AddFolder(personal, QStringLiteral("Inbox"));
        fake.AddMail(*inbox, Mail(QStringLiteral("A"), 41644.375));
        fake.AddMail(*inbox, Mail(QStringLiteral("B"), 41650.5));
        sub = &fake.AddFolder(inbox, QStringLiteral("Sub"));
        fake.AddMail(*sub, Mail(QStringLiteral("C")));
        auto& calendar = fake.AddFolder(personal, QStringLiteral("Calendar"), 1);
        fake.AddMail(calendar, Mail(QStringLiteral("appointment")));
        fake.AddFolder(&calendar, QStringLiteral("Hidden"));
        empty = &fake.AddFolder(personal, QStringLiteral("Empty"));
    }

    void Build()
    {
        session = std::make_unique<TOutlook>(Automation::OleRef(fake.App));
        tree.Build(session->GetFolders(), selections);
    }

    TExportConf Conf(int type, int nameType, const QString& saveDir)
    {
        TExportConf conf(type);
        conf.SetEmlNameType(nameType);
        if (nameType == 1)
            conf.SetEmlFormat(QStringLiteral("<s>(<n>)") + conf.GetExtension());
        conf.SetEmlSaveDir(saveDir);
        return conf;
    }

    Fake::FakeOutlook fake;
    Fake::FakeFolder* personal = nullptr;
    Fake::FakeFolder* inbox = nullptr;
    Fake::FakeFolder* sub = nullptr;
    Fake::FakeFolder* empty = nullptr;
    std::unique_ptr<TOutlook> session;
    TFolderTree tree;
    TMailSelections selections;
    TErrorMailList errors;
    RecordingHost host;
    QTemporaryDir out;
};

} // namespace

TEST_F(ExportRunTest, WholeTreeMirrorsTheFoldersAndStampsTheSentTime)
{
    Build();
    TExportRun run(host, selections, errors);
    ASSERT_TRUE(run.ExportFolders(Conf(2, 1, out.path()), tree.FirstNode(), true));
    EXPECT_TRUE(errors.IsEmpty());
    EXPECT_EQ(Files(out.path()),
              QStringList({QStringLiteral("Inbox/A.eml"), QStringLiteral("Inbox/B.eml"),
                           QStringLiteral("Inbox/Sub/C.eml")}));
    // Mail folders make their directory even when they hold nothing to write.
    EXPECT_TRUE(QFileInfo(out.filePath(QStringLiteral("Empty"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("Calendar"))));
    EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("Inbox/B.eml"))).lastModified(),
              DateTimeToQDateTime(41650.5));
    EXPECT_EQ(run.WrittenMails(), 3);
    EXPECT_TRUE(host.Statuses.contains(
        QStringLiteral("メールをエクスポートしています。 \\Personal\\Inbox\\Sub")));
}

TEST_F(ExportRunTest, TicksDecideWhatIsWritten)
{
    Build();
    selections[QStringLiteral("\\Personal\\Inbox")].SelectRange(0);
    selections[QStringLiteral("\\Personal\\Inbox")].SetSelected(1, true);
    selections[QStringLiteral("\\Personal\\Inbox\\Sub")].SetState(ssNone);
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 0, out.path()), tree.FindNode(QStringLiteral("\\Personal\\Inbox")),
                      true);
    EXPECT_EQ(Files(out.path()), QStringList({QStringLiteral("1.eml")}));
    EXPECT_TRUE(QFileInfo(out.filePath(QStringLiteral("Sub"))).isDir());
    EXPECT_EQ(host.Ranges, (QList<int>{1, 0}));
    // The export works on copies: the selections are unchanged.
    EXPECT_EQ(selections[QStringLiteral("\\Personal\\Inbox")].SelectedCount(), 1);
    EXPECT_EQ(selections[QStringLiteral("\\Personal\\Empty")].GetState(), ssAll);
}

TEST_F(ExportRunTest, FailedMailIsRecordedAndTheAnswerDecides)
{
    fake.AddMail(*inbox, Mail(QStringLiteral("D")));
    std::static_pointer_cast<Fake::FakeObject>(inbox->Items->at(0))
        ->Fail(QStringLiteral("Subject"), QStringLiteral("読めません"));
    Build();
    {
        TExportRun run(host, selections, errors);
        run.ExportFolders(Conf(2, 1, out.path()), tree.FirstNode(), true);
    }
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_EQ(errors.GetList()[0].FolderPath, QStringLiteral("\\Personal\\Inbox"));
    EXPECT_EQ(errors.GetList()[0].Index, 0);
    ASSERT_EQ(host.Questions.size(), 1);
    EXPECT_TRUE(
        host.Questions[0].startsWith(QStringLiteral("1通目のメールでエラーが発生しました。\n(")));
    EXPECT_TRUE(host.Questions[0].endsWith(QStringLiteral(")\n処理を続行しますか？")));
    EXPECT_EQ(Files(out.path()),
              QStringList({QStringLiteral("Inbox/B.eml"), QStringLiteral("Inbox/D.eml"),
                           QStringLiteral("Inbox/Sub/C.eml")}));

    // No ends that level and its sub-folders; the siblings are still exported.
    QTemporaryDir second;
    host.NextAnswer = IExportHost::Answer::No;
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 1, second.path()), tree.FirstNode(), true);
    EXPECT_EQ(errors.Count(), 1);
    EXPECT_TRUE(Files(second.path()).isEmpty());
    EXPECT_TRUE(QFileInfo(second.filePath(QStringLiteral("Empty"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(second.filePath(QStringLiteral("Inbox/Sub"))));
}

TEST_F(ExportRunTest, CancelStopsBeforeTheNextMail)
{
    Build();
    int events = 0;
    host.OnEvents = [&](RecordingHost& h) {
        if (++events == 4) // two level starts, before A, after A
            h.Cancel = true;
    };
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 0, out.path()), tree.FirstNode(), true);
    EXPECT_EQ(run.WrittenMails(), 1);
    EXPECT_TRUE(errors.IsEmpty());
}

TEST_F(ExportRunTest, SubFolderNamesAreMadeSafe)
{
    for (const char16_t* name : {u".", u"..", u"", u"a/b:c", u"..."})
        fake.AddMail(fake.AddFolder(empty, QString::fromUtf16(name)), Mail(QStringLiteral("x")));
    Build();
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 0, out.path()), tree.FindNode(QStringLiteral("\\Personal\\Empty")),
                      true);
    EXPECT_EQ(Files(out.path()),
              QStringList({QStringLiteral("(noname)/1.eml"), QStringLiteral("a／b：c/1.eml"),
                           QStringLiteral("．/1.eml"), QStringLiteral("．．/1.eml"),
                           QStringLiteral("．．．/1.eml")}));
}

TEST_F(ExportRunTest, EmptyTreeHasNoFolderToExport)
{
    TFolderTree emptyTree;
    TExportRun run(host, selections, errors);
    EXPECT_FALSE(run.ExportFolders(Conf(2, 0, out.path()), emptyTree.FirstNode(), true));
    EXPECT_EQ(host.Warnings, QStringList{QStringLiteral("フォルダが選択されていません。")});
}

TEST_F(ExportRunTest, ParameterRuleTakesTheNameFromTheBody)
{
    Build();
    TExportConf conf(2);
    conf.SetEmlNameType(2);
    conf.SetEmlFormat(QStringLiteral("本文 of "));
    conf.SetEmlSaveDir(out.path());
    TExportRun run(host, selections, errors);
    run.ExportFolders(conf, tree.FindNode(QStringLiteral("\\Personal\\Inbox")), false);
    EXPECT_EQ(Files(out.path()), QStringList({QStringLiteral("A.eml"), QStringLiteral("B.eml")}));
}

TEST_F(ExportRunTest, AttachmentFolderGetsEveryAttachmentUnderAUniqueName)
{
    Fake::MailSpec spec = Mail(QStringLiteral("with attachments"));
    spec.Attachments = {{QStringLiteral("report.pdf"), "first"},
                        {QStringLiteral("report.pdf"), "second"},
                        {QStringLiteral("a/b?.txt"), "third"},
                        {QString(), "fourth"}};
    fake.AddMail(*empty, spec);
    Build();
    const QString attachments = out.filePath(QStringLiteral("attachments"));
    TExportConf conf = Conf(3, 0, QString()); // attachments only
    conf.SetEmlAttachedFileDir(attachments);
    TExportRun run(host, selections, errors);
    run.ExportFolders(conf, tree.FindNode(QStringLiteral("\\Personal\\Empty")), true);
    EXPECT_TRUE(errors.IsEmpty());
    EXPECT_EQ(Files(out.path()), QStringList({QStringLiteral("attachments/(noname)"),
                                              QStringLiteral("attachments/a／b？.txt"),
                                              QStringLiteral("attachments/report(1).pdf"),
                                              QStringLiteral("attachments/report.pdf")}));
    QFile second(out.filePath(QStringLiteral("attachments/report(1).pdf")));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(second.readAll(), QByteArray("second"));
    EXPECT_EQ(run.WrittenMails(), 0);
    EXPECT_EQ(run.SavedAttachments(), 4);
}

TEST_F(ExportRunTest, UnreadableFolderIsListedAndTheRestGoesOn)
{
    inbox->Object->Fail(QStringLiteral("Items"), QStringLiteral("壊れたフォルダ"));
    Build();
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 0, out.path()), tree.FirstNode(), true);
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_EQ(errors.GetList()[0].FolderPath, QStringLiteral("\\Personal\\Inbox"));
    EXPECT_EQ(errors.GetList()[0].Index, -1);
    EXPECT_TRUE(errors.GetList()[0].Message.contains(QStringLiteral("壊れたフォルダ")));
    EXPECT_EQ(host.Warnings.size(), 1);
    // Its sub-folder is exported all the same.
    EXPECT_EQ(Files(out.path()), QStringList{QStringLiteral("Inbox/Sub/1.eml")});
}

TEST_F(ExportRunTest, AMailWrittenWithoutAnUnreadablePartIsAlsoListed)
{
    std::static_pointer_cast<Fake::FakeObject>(inbox->Items->at(1))
        ->Fail(QStringLiteral("Recipients"), QStringLiteral("受信者の表が壊れています"));
    Build();
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(3, 0, out.path()), tree.FindNode(QStringLiteral("\\Personal\\Inbox")),
                      false);
    EXPECT_EQ(run.WrittenMails(), 2);
    ASSERT_EQ(errors.Count(), 1);
    EXPECT_EQ(errors.GetList()[0].Index, 1);
    EXPECT_TRUE(errors.GetList()[0].Message.contains(QStringLiteral("受信者を除きました")))
        << errors.GetList()[0].Message.toStdString();
    EXPECT_TRUE(errors.GetList()[0].Message.contains(QStringLiteral("受信者の表が壊れています")));
    EXPECT_TRUE(host.Questions.isEmpty()); // nothing failed, so nothing to ask
}

TEST_F(ExportRunTest, UncreatableSaveFolderFailsEveryMailOfThatLevel)
{
    Build();
    QFile blocker(out.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString saveDir = out.filePath(QStringLiteral("file/below"));
    TExportRun run(host, selections, errors);
    run.ExportFolders(Conf(2, 0, saveDir), tree.FindNode(QStringLiteral("\\Personal\\Inbox")),
                      false);
    EXPECT_EQ(host.Warnings,
              QStringList{QStringLiteral("フォルダの作成に失敗しました。\n") + saveDir});
    ASSERT_EQ(errors.Count(), 2);
    EXPECT_EQ(run.WrittenMails(), 0);
    // Each mail says why.
    EXPECT_EQ(errors.GetList()[0].Message,
              QStringLiteral("保存先フォルダ \"%1\" を作成できないため、書き出せません。"
                             "パスの途中にフォルダーではないものがあります。")
                  .arg(saveDir));
}
