// The sample data file read through the automation interface, checked against
// what pffexport and readpst find in it.
#include "PstTestSupport.h"
#include "TestSupport.h"
#include "automation/ComObj.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Automation::OleRef;
using namespace PstTest;

namespace {

class EnronTest : public ::testing::Test {
protected:
    void TearDown() override { Automation::ClearRunningObjects(); }
};

OleRef TopFolder(const OleRef& ns)
{
    const std::vector<OleRef> top = Elements(ns, QStringLiteral("Folders"));
    EXPECT_EQ(top.size(), 1u);
    return top.empty() ? OleRef() : top.front();
}

TDateTime Expected(const QString& pffTime)
{
    return pffTime.isEmpty() ? 949998.0 : DateTimeFromQDateTime(ParsePffTime(pffTime));
}

} // namespace

TEST_F(EnronTest, TreeAndItemCountsMatchTheIndependentReaders)
{
    const Exported& expected = PffExport(SamplePath());
    ASSERT_FALSE(expected.Messages.empty()) << "pffexport found nothing";
    ASSERT_EQ(expected.Messages.size(), 71u);

    // readpst names its top directory after the store's display name.
    QTemporaryDir readpstDir;
    int exitCode = -1;
    TestSupport::Run(QStringLiteral("readpst"),
                     {QStringLiteral("-q"), QStringLiteral("-S"), QStringLiteral("-o"), readpstDir.path(), SamplePath()},
                     &exitCode);
    ASSERT_EQ(exitCode, 0);
    const QStringList readpstTop = QDir(readpstDir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(readpstTop.size(), 1);

    const OleRef ns = NewNamespace({SamplePath()});
    const OleRef top = TopFolder(ns);
    EXPECT_EQ(top.GetText(QStringLiteral("Name")), readpstTop.front());

    QStringList folders;
    Walk(top, QString(), [&](const OleRef& folder, const QString& path) {
        if (path.isEmpty())
            return;
        folders << path;
        EXPECT_EQ(folder.GetInt(QStringLiteral("DefaultItemType")), 0) << path.toStdString();
        const qint32 count = folder.GetObject(QStringLiteral("Items")).GetInt(QStringLiteral("Count"));
        const auto exported = std::count_if(expected.Messages.begin(), expected.Messages.end(),
                                            [&](const ExportedMessage& m) { return m.Folder == path; });
        EXPECT_EQ(count, exported) << path.toStdString();
    });
    folders.sort();
    EXPECT_EQ(folders, expected.Folders);
}

TEST_F(EnronTest, EveryItemMatchesPffexport)
{
    TestSupport::ScopedTimeZone zone("Asia/Tokyo");
    const Exported& expected = PffExport(SamplePath());
    const OleRef top = TopFolder(NewNamespace({SamplePath()}));
    QTemporaryDir dir;
    int attachmentsChecked = 0;
    for (const ExportedMessage& m : expected.Messages) {
        SCOPED_TRACE((m.Folder + QStringLiteral(" #") + QString::number(m.Index)).toStdString());
        const OleRef folder = FolderAt(top, m.Folder);
        ASSERT_FALSE(folder.IsNull());
        const OleRef item = folder.GetObject(QStringLiteral("Items")).GetObject(QStringLiteral("Item"), {m.Index});
        EXPECT_EQ(item.GetText(QStringLiteral("Subject")), m.Headers.value(QStringLiteral("Subject")));
        EXPECT_EQ(item.GetText(QStringLiteral("SenderName")), m.Headers.value(QStringLiteral("Sender name")));
        EXPECT_EQ(item.GetText(QStringLiteral("SenderEmailAddress")),
                  m.Headers.value(QStringLiteral("Sender email address")));
        EXPECT_NEAR(item.GetDateTime(QStringLiteral("SentOn")),
                    Expected(m.Headers.value(QStringLiteral("Client submit time"))), 1e-8);
        EXPECT_NEAR(item.GetDateTime(QStringLiteral("ReceivedTime")),
                    Expected(m.Headers.value(QStringLiteral("Delivery time"))), 1e-8);

        const std::vector<OleRef> recipients = Elements(item, QStringLiteral("Recipients"));
        ASSERT_EQ(recipients.size(), m.Recipients.size());
        QStringList to, cc, bcc;
        for (std::size_t i = 0; i < recipients.size(); ++i) {
            EXPECT_EQ(recipients[i].GetText(QStringLiteral("Name")), m.Recipients[i].Name);
            EXPECT_EQ(recipients[i].GetText(QStringLiteral("Address")), m.Recipients[i].Address);
            const QString& type = m.Recipients[i].Type;
            (type == QLatin1String("To") ? to : type == QLatin1String("CC") ? cc : bcc) << m.Recipients[i].Name;
        }
        EXPECT_EQ(item.GetText(QStringLiteral("To")), to.join(QStringLiteral("; ")));
        EXPECT_EQ(item.GetText(QStringLiteral("CC")), cc.join(QStringLiteral("; ")));
        EXPECT_EQ(item.GetText(QStringLiteral("BCC")), bcc.join(QStringLiteral("; ")));

        const std::vector<OleRef> attachments = Elements(item, QStringLiteral("Attachments"));
        ASSERT_EQ(attachments.size(), m.Attachments.size());
        for (std::size_t i = 0; i < attachments.size(); ++i) {
            EXPECT_EQ(ExportName(attachments[i].GetText(QStringLiteral("FileName"))), m.Attachments[i].Name);
            const QString path = dir.filePath(QStringLiteral("a%1").arg(attachmentsChecked++));
            attachments[i].Call(QStringLiteral("SaveAsFile"), {path});
            EXPECT_EQ(ReadFile(path), m.Attachments[i].Data) << m.Attachments[i].Name.toStdString();
        }
    }
    EXPECT_EQ(attachmentsChecked, 70);
}

TEST_F(EnronTest, StoredDisplayTextsAreNotUsedWhenThereIsARecipientTable)
{
    // The item stores "harris; Steven; watson; kimberly" as its To text.
    const OleRef top = TopFolder(NewNamespace({SamplePath()}));
    const OleRef sent = FolderAt(top, QStringLiteral("\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items"));
    ASSERT_FALSE(sent.IsNull());
    bool found = false;
    for (const OleRef& item : Elements(sent, QStringLiteral("Items"))) {
        if (item.GetText(QStringLiteral("Subject")) != QLatin1String("Cirque du Soleil - Dralion"))
            continue;
        found = true;
        EXPECT_EQ(item.GetText(QStringLiteral("To")), QStringLiteral("Harris; Steven; Watson; Kimberly"));
        EXPECT_EQ(item.GetText(QStringLiteral("CC")), QStringLiteral("Lokay; Michelle"));
    }
    EXPECT_TRUE(found);
}

TEST_F(EnronTest, CollectionsRejectIndicesOutOfRange)
{
    const OleRef top = TopFolder(NewNamespace({SamplePath()}));
    const OleRef items = FolderAt(top, QStringLiteral("\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items"))
                             .GetObject(QStringLiteral("Items"));
    const qint32 count = items.GetInt(QStringLiteral("Count"));
    for (qint32 bad : {0, -1, count + 1})
        EXPECT_THROW(items.GetObject(QStringLiteral("Item"), {bad}), EOleException) << bad;
    EXPECT_THROW(top.GetObject(QStringLiteral("Folders")).GetObject(QStringLiteral("Item"), {99}), EOleException);
    // An item asked for twice while still in use is the same object.
    EXPECT_EQ(items.GetObject(QStringLiteral("Item"), {1}), items.GetObject(QStringLiteral("Item"), {1}));
}
