#include "fake/FakeAutomation.h"
#include "outlook/Folder.h"
#include "outlook/Outlook.h"

#include "automation/ComObj.h"

#include <gtest/gtest.h>

using Fake::FakeOutlook;

namespace {

class OutlookSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Automation::ClearRunningObjects();
        Automation::UnregisterClass(QStringLiteral("Outlook.Application"));
        inbox = &fake.AddFolder(nullptr, QStringLiteral("Personal"));
    }
    void TearDown() override
    {
        TOutlookSingleton::ReleaseInstance();
        Automation::ClearRunningObjects();
    }

    FakeOutlook fake;
    Fake::FakeFolder* inbox = nullptr;
};

QString MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

TEST_F(OutlookSessionTest, AttachesToARunningOutlookWithoutShowingIt)
{
    fake.SetRunning();
    TOutlook* session = TOutlookSingleton::GetInstance();
    ASSERT_NE(session, nullptr);
    EXPECT_FALSE(session->StartedOutlook());
    EXPECT_EQ(session->GetMajorVersion(), 16);
    EXPECT_EQ(fake.Log.Trace(), QStringList({QStringLiteral("app.GetNamespace"), QStringLiteral("app.Version")}));
    EXPECT_EQ(fake.Log.Calls[0].Args, Automation::Arguments{QStringLiteral("MAPI")});

    fake.Log.Clear();
    EXPECT_EQ(TOutlookSingleton::GetInstance(), session); // no call to Outlook
    session->Open();                                      // connected: no call either
    EXPECT_EQ(fake.Log.Total(), 0);

    TOutlookSingleton::ReleaseInstance();
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Quit")), 0);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Logoff")), 0);
}

TEST_F(OutlookSessionTest, StartsOutlookAndShowsTheInboxWhenNoneRuns)
{
    fake.RegisterClass();
    TOutlook* session = TOutlookSingleton::GetInstance();
    EXPECT_TRUE(session->StartedOutlook());
    EXPECT_EQ(fake.Log.Trace(),
              QStringList({QStringLiteral("app.GetNamespace"), QStringLiteral("app.Version"),
                           QStringLiteral("ns.GetDefaultFolder"), QStringLiteral("folder:Personal.Display")}));
    EXPECT_EQ(fake.Log.Calls[2].Args, Automation::Arguments{6});
    // The folders are read once and kept.
    session->GetFolders();
    fake.Log.Clear();
    session->GetFolders();
    EXPECT_EQ(fake.Log.Total(), 0);
    TOutlookSingleton::ReleaseInstance(); // Outlook keeps running
    EXPECT_EQ(fake.Log.Total(), 0);
}

TEST_F(OutlookSessionTest, MajorVersion)
{
    struct Case {
        const char16_t* text;
        qint32 major;
    } cases[] = {{u"15.0.0.4569", 15}, {u"16", 16}, {u"", 0}, {u"x.1", 0}, {u"12.", 12}};
    for (const Case& c : cases)
        EXPECT_EQ(TOutlook::ParseMajorVersion(QString::fromUtf16(c.text)), c.major);
}

TEST_F(OutlookSessionTest, FailedConnectToTheUsersOutlookSendsNothing)
{
    fake.SetRunning();
    fake.App->Fail(QStringLiteral("GetNamespace"), QStringLiteral("名前空間がありません"));
    const QString message = MessageOf([] { TOutlookSingleton::GetInstance(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Outlookの起動に失敗しました。\n")));
    EXPECT_TRUE(message.contains(QStringLiteral("名前空間がありません")));
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Logoff")), 0);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Quit")), 0);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Session")), 0);
}

TEST_F(OutlookSessionTest, FailedConnectToAStartedOutlookLogsOffAndQuits)
{
    fake.RegisterClass();
    fake.App->Fail(QStringLiteral("Version"));
    try {
        TOutlookSingleton::GetInstance();
        FAIL();
    } catch (const Outlook::TOutlookException& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Outlookの起動に失敗しました。\n")));
    }
    EXPECT_EQ(fake.Log.Trace(),
              QStringList({QStringLiteral("app.GetNamespace"), QStringLiteral("app.Version"), QStringLiteral("ns.Logoff"),
                           QStringLiteral("app.Session"), QStringLiteral("ns.Logoff"), QStringLiteral("app.Quit")}));
}

TEST_F(OutlookSessionTest, ShutdownStopsSilentlyAtItsFirstFailure)
{
    fake.RegisterClass();
    fake.App->Fail(QStringLiteral("GetNamespace")).Fail(QStringLiteral("Session"));
    EXPECT_THROW(TOutlookSingleton::GetInstance(), Outlook::TOutlookException);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Session")), 1);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Quit")), 0);
}

TEST_F(OutlookSessionTest, NoOutlookAtAllIsReportedAndTheNextCallTriesAgain)
{
    const QString message = MessageOf([] { TOutlookSingleton::GetInstance(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Outlookの起動に失敗しました。\n")));
    EXPECT_TRUE(message.contains(QStringLiteral("Outlook.Application")));
    // The holder is empty: the next call looks for a running Outlook again.
    fake.SetRunning();
    EXPECT_NE(TOutlookSingleton::GetInstance(), nullptr);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("GetNamespace")), 1);
}

TEST_F(OutlookSessionTest, DisplayFailureIsRaisedUnwrapped)
{
    fake.RegisterClass();
    inbox->Object->Fail(QStringLiteral("Display"), QStringLiteral("ウィンドウを表示できません"));
    try {
        TOutlookSingleton::GetInstance();
        FAIL();
    } catch (const Outlook::TOutlookException&) {
        FAIL() << "wrapped";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("ウィンドウを表示できません")));
    }
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Quit")), 0);
    fake.Log.Clear();
    inbox->Object->Unfail(QStringLiteral("Display"));
    EXPECT_NE(TOutlookSingleton::GetInstance(), nullptr);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("GetNamespace")), 1);
}

TEST_F(OutlookSessionTest, FailedInitialisationLeavesTheSessionUsable)
{
    fake.SetRunning();
    const int before = Automation::CoInitializeCount();
    Automation::SetCoInitializeFailure(Automation::E_FAIL);
    TOutlook* session = TOutlookSingleton::GetInstance();
    Automation::SetCoInitializeFailure(Automation::S_OK);
    EXPECT_EQ(session->GetFolders().size(), 1u);
    TOutlookSingleton::ReleaseInstance();
    EXPECT_EQ(Automation::CoInitializeCount(), before);
}

TEST_F(OutlookSessionTest, TopLevelFoldersAreReadInOrder)
{
    fake.AddFolder(nullptr, QStringLiteral("Archive"));
    fake.SetRunning();
    TOutlook* session = TOutlookSingleton::GetInstance();
    std::vector<Outlook::TFolder*>& folders = session->GetFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0]->GetName(), QStringLiteral("Personal"));
    EXPECT_EQ(folders[1]->GetName(), QStringLiteral("Archive"));
}
