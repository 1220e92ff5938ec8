#include "fake/FakeAutomation.h"
#include "outlook/Folder.h"
#include "outlook/Outlook.h"

#include "automation/ComObj.h"

#include <gtest/gtest.h>

using Fake::FakeOutlook;

namespace {

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Automation::ClearRunningObjects();
        personal = &fake.AddFolder(nullptr, QStringLiteral("Personal"));
        inbox = &fake.AddFolder(personal, QStringLiteral("Inbox"));
        fake.AddFolder(inbox, QStringLiteral("Sub"));
        calendar = &fake.AddFolder(personal, QStringLiteral("Calendar"), 1);
        archive = &fake.AddFolder(nullptr, QStringLiteral("Archive"));
        fake.AddFolder(archive, QStringLiteral("Inbox"));
        fake.SetRunning();
        session = TOutlookSingleton::GetInstance();
        fake.Log.Clear();
    }
    void TearDown() override
    {
        TOutlookSingleton::ReleaseInstance();
        Automation::ClearRunningObjects();
    }

    FakeOutlook fake;
    Fake::FakeFolder* personal = nullptr;
    Fake::FakeFolder* inbox = nullptr;
    Fake::FakeFolder* calendar = nullptr;
    Fake::FakeFolder* archive = nullptr;
    TOutlook* session = nullptr;
};

} // namespace

TEST_F(FolderTest, FindFolderByPath)
{
    struct Case {
        const char16_t* path;
        const char16_t* found; // name of the parent and the folder, or null
    } cases[] = {
        {u"\\Personal\\Inbox", u"Personal/Inbox"},
        {u"\\Personal\\\\Inbox", u"Personal/Inbox"},
        {u"\\Personal\\Inbox\\Sub", u"Inbox/Sub"},
        {u"\\Archive\\Inbox", u"Archive/Inbox"},
        {u"\\Archive", u"/Archive"},
        {u"\\personal\\Inbox", nullptr},
        {u"\\Personal\\Nothing", nullptr},
        {u"", nullptr},
        {u"\\", nullptr},
    };
    for (const Case& c : cases) {
        Outlook::TFolder* folder = session->FindFolder(QString::fromUtf16(c.path));
        if (!c.found) {
            EXPECT_EQ(folder, nullptr) << QString::fromUtf16(c.path).toStdString();
            continue;
        }
        ASSERT_NE(folder, nullptr) << QString::fromUtf16(c.path).toStdString();
        EXPECT_EQ(folder->GetName(), QString::fromUtf16(c.found).section(QLatin1Char('/'), 1));
    }
}

TEST_F(FolderTest, FindFolderDoesNotBacktrack)
{
    FakeOutlook other;
    auto& first = other.AddFolder(nullptr, QStringLiteral("A"));
    (void)first;
    auto& second = other.AddFolder(nullptr, QStringLiteral("A"));
    other.AddFolder(&second, QStringLiteral("B"));
    TOutlook attached(Automation::OleRef(other.App));
    EXPECT_EQ(attached.FindFolder(QStringLiteral("\\A\\B")), nullptr);
    EXPECT_NE(attached.FindFolder(QStringLiteral("\\A")), nullptr);
}

TEST_F(FolderTest, SubFoldersAndItemsAreReadOnce)
{
    session->FindFolder(QStringLiteral("\\Personal\\Inbox\\Sub"));
    const int foldersReads = fake.Log.Count(QStringLiteral("Folders"));
    fake.Log.Clear();
    // A second walk costs only the name reads.
    session->FindFolder(QStringLiteral("\\Personal\\Inbox\\Sub"));
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Folders")), 0);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Name")), fake.Log.Total());
    EXPECT_GE(foldersReads, 2);

    Outlook::TFolder* folder = session->FindFolder(QStringLiteral("\\Personal\\Inbox"));
    fake.Log.Clear();
    Outlook::TMessages* a = folder->GetMessages();
    Outlook::TMessages* b = folder->GetMessages();
    EXPECT_EQ(a, b);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Items")), 1);
}

TEST_F(FolderTest, EmptySubFolderListIsReadAgain)
{
    Outlook::TFolder* sub = session->FindFolder(QStringLiteral("\\Personal\\Inbox\\Sub"));
    fake.Log.Clear();
    sub->GetFolders();
    sub->GetFolders();
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Folders")), 2);
}

TEST_F(FolderTest, HalfLoadedListIsKept)
{
    Outlook::TFolder* folder = session->FindFolder(QStringLiteral("\\Personal"));
    ASSERT_NE(folder, nullptr);
    // Personal's list is already loaded by the lookup; try a fresh folder object.
    Outlook::TFolder fresh{Automation::OleRef(personal->Object)};
    personal->SubFolderCollection->On(QStringLiteral("Item"), [this](const Automation::Arguments& args) {
        const qint32 i = args[0].AsInt();
        if (i == 2)
            throw Exception(QStringLiteral("壊れた項目"));
        return Automation::Variant((*personal->SubFolders)[static_cast<std::size_t>(i - 1)]);
    });
    EXPECT_THROW(fresh.GetFolders(), EOleException);
    fake.Log.Clear();
    EXPECT_EQ(fresh.GetFolders().size(), 1u);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Folders")), 0);
}

TEST_F(FolderTest, ItemsAreAddressedFromZero)
{
    Fake::MailSpec a, b;
    a.Subject = QStringLiteral("first");
    b.Subject = QStringLiteral("second");
    fake.AddMail(*inbox, a);
    fake.AddMail(*inbox, b);
    Outlook::TMessages* messages = session->FindFolder(QStringLiteral("\\Personal\\Inbox"))->GetMessages();
    EXPECT_EQ(messages->GetCount(), 2);
    fake.Log.Clear();
    EXPECT_EQ(messages->GetItem(0).GetSubject(), QStringLiteral("first"));
    EXPECT_EQ(fake.Log.Calls[0].Args, Automation::Arguments{1});
    EXPECT_EQ(messages->GetItem(1).GetSubject(), QStringLiteral("second"));
    EXPECT_THROW(messages->GetItem(2), EOleException);
}

TEST_F(FolderTest, NonMailFolderStillOffersItsContents)
{
    Outlook::TFolder* folder = session->FindFolder(QStringLiteral("\\Personal\\Calendar"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->GetDefaultItemType(), 1);
    EXPECT_TRUE(folder->GetFolders().empty());
    EXPECT_EQ(folder->GetMessages()->GetCount(), 0);
}
