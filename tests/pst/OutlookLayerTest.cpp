// The Outlook access layer over the stand-in, started the way the program
// starts it: from the profile, with no running Outlook.
#include "OutlookPst.h"
#include "PstTestSupport.h"
#include "automation/ComObj.h"
#include "outlook/Folder.h"
#include "outlook/MailItem.h"
#include "outlook/Outlook.h"
#include "runtime/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace PstTest;

namespace {

// A profile file of its own for each test.
class OutlookLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OutlookPst::RegisterOutlookApplication();
        OutlookPst::ClearSessionStores();
        FOld = qgetenv("TIDEWELL_OUTLOOK_PROFILE");
        qputenv("TIDEWELL_OUTLOOK_PROFILE", FDir.filePath(QStringLiteral("profile")).toLocal8Bit());
    }
    void TearDown() override
    {
        TOutlookSingleton::ReleaseInstance();
        Automation::ClearRunningObjects();
        qputenv("TIDEWELL_OUTLOOK_PROFILE", FOld);
    }
    void Profile(const QStringList& paths)
    {
        for (const QString& p : paths)
            OutlookPst::AddProfileStore(p);
    }
    QTemporaryDir FDir;
    QByteArray FOld;
};

struct Totals {
    int Folders = 0;
    int Items = 0;
    int Attachments = 0;
};

void WalkFolder(Outlook::TFolder* folder, const QString& saveDir, Totals& totals)
{
    ++totals.Folders;
    Outlook::TMessages* messages = folder->GetMessages();
    const qint32 count = messages->GetCount();
    for (qint32 i = 0; i < count; ++i) {
        Outlook::TMailItem item = messages->GetItem(i);
        ++totals.Items;
        EXPECT_EQ(item.GetEntryID().size(), 48);
        item.GetSubject();
        item.GetBody();
        item.GetReplyRecipientNames();
        EXPECT_GT(item.GetSentOn(), 36000.0);
        EXPECT_GT(item.GetReceivedTime(), 36000.0);
        EXPECT_FALSE(item.GetFrom().isEmpty());
        item.GetImportance();
        item.GetSensitivity();
        // Every recipient of the table lands in one of the three lists.
        const std::size_t listed = item.GetToList().size() + item.GetCcList().size() + item.GetBccList().size();
        EXPECT_EQ(listed, item.GetRecipients().size()) << item.GetSubject().toStdString();
        item.GetTo();
        const Outlook::TMailItem reply = item.Reply();
        ASSERT_EQ(reply.GetRecipients().size(), 1u);
        EXPECT_EQ(reply.GetSentOn(), 949998.0); // unsent: 4501-01-01
        EXPECT_EQ(reply.GetRecipients()[0].GetName(), item.GetSenderName());
        for (const Outlook::TAttachment& attachment : item.GetAttachments()) {
            const QString path = saveDir + QStringLiteral("/a%1").arg(totals.Attachments++);
            attachment.SaveAsFile(path);
            EXPECT_TRUE(QFile::exists(path)) << attachment.GetFileName().toStdString();
        }
    }
    for (Outlook::TFolder* child : folder->GetFolders())
        WalkFolder(child, saveDir, totals);
}

} // namespace

TEST_F(OutlookLayerTest, WalksTheWholeSampleFile)
{
    Profile({SamplePath()});
    TOutlook* outlook = TOutlookSingleton::GetInstance();
    ASSERT_NE(outlook, nullptr);
    EXPECT_EQ(outlook->GetMajorVersion(), 16);
    ASSERT_EQ(outlook->GetFolders().size(), 1u);
    Totals totals;
    WalkFolder(outlook->GetFolders()[0], FDir.path(), totals);
    EXPECT_EQ(totals.Items, 71);
    EXPECT_EQ(totals.Attachments, 70);
    EXPECT_EQ(totals.Folders, static_cast<int>(PffExport(SamplePath()).Folders.size()) + 1);

    const QString sent = QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items");
    Outlook::TFolder* folder = outlook->FindFolder(sent);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->GetMessages()->GetCount(), 2);

    // The running application is found again by a later session.
    TOutlookSingleton::ReleaseInstance();
    TOutlook* again = TOutlookSingleton::GetInstance();
    ASSERT_EQ(again->GetFolders().size(), 1u);
}

TEST_F(OutlookLayerTest, FirstStartWithAnEmptyProfileShowsAnEmptyTree)
{
    TOutlook* outlook = TOutlookSingleton::GetInstance();
    ASSERT_NE(outlook, nullptr);
    EXPECT_TRUE(outlook->GetFolders().empty());
    EXPECT_EQ(outlook->FindFolder(QStringLiteral("\\Inbox")), nullptr);
}

TEST_F(OutlookLayerTest, ADataFileThatCannotBeOpenedHidesNoOther)
{
    const QString broken = FDir.filePath(QStringLiteral("broken.pst"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    Profile({broken, SamplePath()});
    TOutlook* outlook = TOutlookSingleton::GetInstance();
    ASSERT_EQ(outlook->GetFolders().size(), 2u);
    Outlook::TFolder* bad = outlook->GetFolders()[0];
    EXPECT_EQ(bad->GetName(), QStringLiteral("broken.pst"));
    EXPECT_EQ(bad->GetDefaultItemType(), 0);
    try {
        bad->GetFolders();
        ADD_FAILURE() << "no error for the damaged file";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.Message().contains(broken)) << e.Message().toStdString();
    }
    EXPECT_EQ(outlook->GetFolders()[1]->GetName(), QStringLiteral("Personal folders"));
    EXPECT_EQ(outlook->GetFolders()[1]->GetFolders().size(), 2u);
}

TEST_F(OutlookLayerTest, NamespaceEditsTheProfileAndQuitClosesTheFiles)
{
    using Automation::OleRef;
    OleRef app(Automation::CreateOleObject(QStringLiteral("Outlook.Application")));
    EXPECT_EQ(OleRef(Automation::GetActiveOleObject(QStringLiteral("Outlook.Application"))), app);
    const OleRef ns = app.GetObject(QStringLiteral("GetNamespace"), {QStringLiteral("MAPI")});
    EXPECT_EQ(app.GetObject(QStringLiteral("Session")), ns);
    EXPECT_THROW(app.GetObject(QStringLiteral("GetNamespace"), {QStringLiteral("OTHER")}), EOleException);
    EXPECT_TRUE(Elements(ns, QStringLiteral("Folders")).empty());

    ns.Exec(QStringLiteral("AddStore"), {SamplePath()});
    EXPECT_EQ(OutlookPst::ProfileStores(), QStringList{QFileInfo(SamplePath()).absoluteFilePath()});
    const std::vector<OleRef> top = Elements(ns, QStringLiteral("Folders"));
    ASSERT_EQ(top.size(), 1u);
    EXPECT_THROW(ns.Exec(QStringLiteral("AddStore"), {FDir.filePath(QStringLiteral("none.pst"))}), EOleException);

    // The sample has no Inbox: an empty stand-in is shown instead.
    const OleRef inbox = ns.CallObject(QStringLiteral("GetDefaultFolder"), {6});
    EXPECT_NO_THROW(inbox.Call(QStringLiteral("Display")));
    EXPECT_EQ(inbox.GetObject(QStringLiteral("Items")).GetInt(QStringLiteral("Count")), 0);
    EXPECT_THROW(ns.CallObject(QStringLiteral("GetDefaultFolder"), {99}), EOleException);

    const OleRef sub = Elements(top[0], QStringLiteral("Folders")).front();
    EXPECT_THROW(ns.Exec(QStringLiteral("RemoveStore"), {sub.Object()}), EOleException);
    ns.Exec(QStringLiteral("RemoveStore"), {top[0].Object()});
    EXPECT_TRUE(OutlookPst::ProfileStores().isEmpty());
    EXPECT_TRUE(Elements(ns, QStringLiteral("Folders")).empty());

    // After Quit the files are closed: objects still held report it.
    ns.Exec(QStringLiteral("AddStore"), {SamplePath()});
    const OleRef items = FolderAt(ns, QStringLiteral("\\Personal folders\\lokay-m")).GetObject(QStringLiteral("Items"));
    const OleRef folders = FolderAt(ns, QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)"));
    app.Exec(QStringLiteral("Quit"));
    EXPECT_THROW(Automation::GetActiveOleObject(QStringLiteral("Outlook.Application")), EOleSysError);
    EXPECT_THROW(folders.GetObject(QStringLiteral("Items")).GetObject(QStringLiteral("Item"), {1}), EOleException);
    EXPECT_THROW(ns.GetObject(QStringLiteral("Folders")), EOleException);
}
