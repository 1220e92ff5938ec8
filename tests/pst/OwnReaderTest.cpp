// The store's own reader against libpff: for every folder, mail, recipient and
// attachment of a data file, both give the same folders in the same order and
// the same values, names of named properties and attachment content.
#include "MkPstTestSupport.h"
#include "Objects.h"
#include "PstTestSupport.h"
#include "Store.h"
#include "TestSupport.h"
#include "runtime/Exception.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace OutlookPst;

namespace {

QString Describe(const std::vector<PropEntry>& entries)
{
    QStringList lines;
    for (const PropEntry& e : entries) {
        QString line = QStringLiteral("%1/%2 %3")
                           .arg(e.Id, 4, 16, QLatin1Char('0'))
                           .arg(e.Value.Type, 4, 16, QLatin1Char('0'))
                           .arg(QString::fromLatin1(e.Value.Data.toHex()));
        if (e.Named)
            line += QStringLiteral(" named %1 %2 %3 %4")
                        .arg(QString::fromLatin1(e.Named->Guid.toHex()))
                        .arg(e.Named->IsString)
                        .arg(e.Named->Id)
                        .arg(e.Named->Name);
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

// libpff leaves the property set of a named property empty where the file
// names the second of the two predefined sets, PS_PUBLIC_STRINGS; the own
// reader gives it. Apart from that, both must give the same entries.
int publicStringNames = 0; // names the own reader gave PS_PUBLIC_STRINGS where libpff gave none

std::vector<PropEntry> AsLibpffNames(const std::vector<PropEntry>& own, std::vector<PropEntry> pff)
{
    static const QByteArray publicStrings = QByteArray::fromHex("2903020000000000C000000000000046");
    for (std::size_t i = 0; i < pff.size() && i < own.size(); ++i)
        if (own[i].Named && pff[i].Named && own[i].Named->Guid == publicStrings &&
            pff[i].Named->Guid == QByteArray(16, '\0')) {
            pff[i].Named->Guid = publicStrings;
            ++publicStringNames;
        }
    return pff;
}

QString DescribeBoth(PropertyBag& own, PropertyBag& pff, QString* ownText)
{
    const std::vector<PropEntry> ownEntries = own.All();
    *ownText = Describe(ownEntries);
    return Describe(AsLibpffNames(ownEntries, pff.All()));
}

#define EXPECT_SAME_PROPERTIES(own, pff)                                                           \
    do {                                                                                           \
        QString ownText;                                                                           \
        const QString pffText = DescribeBoth(own, pff, &ownText);                                  \
        EXPECT_EQ(ownText, pffText);                                                               \
    } while (false)

QByteArray Content(AttachmentSource& attachment)
{
    QByteArray data;
    if (AttachmentSource::DataReader read = attachment.OpenData()) {
        char buffer[3000];
        while (const qsizetype got = read(buffer, sizeof buffer))
            data.append(buffer, got);
    } else {
        attachment.ReadData([&](const char* p, qsizetype n) { data.append(p, n); });
    }
    return data;
}

class Comparison {
public:
    int Mails = 0;
    int Attachments = 0;
    int Recipients = 0;

    void Messages(MessageSource& own, MessageSource& pff, const QString& where)
    {
        SCOPED_TRACE(where.toStdString());
        EXPECT_SAME_PROPERTIES(own, pff);
        EXPECT_EQ(own.CodePage(), pff.CodePage());
        EXPECT_EQ(own.EntryId(), pff.EntryId());
        ASSERT_EQ(own.HasRecipientTable(), pff.HasRecipientTable());
        ASSERT_EQ(own.RecipientCount(), pff.RecipientCount());
        for (int i = 0; i < own.RecipientCount(); ++i, ++Recipients)
            EXPECT_SAME_PROPERTIES(*own.Recipient(i), *pff.Recipient(i));
        ASSERT_EQ(own.AttachmentCount(), pff.AttachmentCount());
        for (int i = 0; i < own.AttachmentCount(); ++i, ++Attachments) {
            AttachmentSourcePtr a = own.Attachment(i);
            AttachmentSourcePtr b = pff.Attachment(i);
            EXPECT_SAME_PROPERTIES(*a, *b);
            ASSERT_EQ(a->Kind(), b->Kind());
            if (a->Kind() == AttachKind::Data)
                EXPECT_EQ(Content(*a), Content(*b));
            else if (a->Kind() == AttachKind::Embedded)
                Messages(*a->Embedded(), *b->Embedded(), where + QStringLiteral(" embedded"));
        }
    }

    void Folders(FolderObject& own, FolderObject& pff, const QString& path)
    {
        SCOPED_TRACE(path.toStdString());
        ASSERT_EQ(own.Name(), pff.Name());
        EXPECT_EQ(own.DefaultItemType(), pff.DefaultItemType());
        ASSERT_EQ(own.ItemCount(), pff.ItemCount());
        for (qint32 i = 0; i < own.ItemCount(); ++i, ++Mails) {
            auto a = std::dynamic_pointer_cast<MailItemObject>(own.ItemAt(i));
            auto b = std::dynamic_pointer_cast<MailItemObject>(pff.ItemAt(i));
            ASSERT_TRUE(a && b);
            Messages(*a->Source(), *b->Source(), path + QStringLiteral(" #%1").arg(i + 1));
        }
        const auto& ownSubs = own.SubFolders();
        const auto& pffSubs = pff.SubFolders();
        ASSERT_EQ(ownSubs.size(), pffSubs.size());
        for (std::size_t i = 0; i < ownSubs.size(); ++i)
            Folders(*ownSubs[i], *pffSubs[i], path + QLatin1Char('\\') + ownSubs[i]->Name());
    }
};

// Walks the file with both readers; the own reader must serve it alone.
Comparison Compare(const QString& file, bool ownServesAll = true)
{
    StorePtr own = Store::Open(file);
    StorePtr pff = Store::Open(file, false);
    EXPECT_TRUE(own->IsOwn());
    EXPECT_EQ(own->DisplayName(), pff->DisplayName());
    Comparison comparison;
    comparison.Folders(*FolderObject::StoreRoot(own), *FolderObject::StoreRoot(pff), QString());
    if (ownServesAll) {
        EXPECT_FALSE(own->LibpffOpened()) << "something fell back to libpff";
    }
    return comparison;
}

} // namespace

TEST(OwnReaderTest, TheSampleReadsAsLibpffReadsIt)
{
    const Comparison c = Compare(PstTest::SamplePath());
    EXPECT_EQ(c.Mails, 71);
    EXPECT_GT(c.Attachments, 0);
    EXPECT_GT(c.Recipients, 0);
}

// Offline caches of the newer format: 4096-byte pages and compressed blocks.
TEST(OwnReaderTest, TheSampleOfflineCachesReadAsLibpffReadsThem)
{
    const QDir data(QFileInfo(PstTest::SamplePath()).absolutePath());
    const QStringList caches = data.entryList({QStringLiteral("*.ost")}, QDir::Files, QDir::Name);
    ASSERT_EQ(caches.size(), 2);
    publicStringNames = 0;
    for (const QString& cache : caches) {
        SCOPED_TRACE(cache.toStdString());
        EXPECT_GT(Compare(data.filePath(cache)).Mails, 0);
    }
    // The caches hold named properties of the PS_PUBLIC_STRINGS set.
    EXPECT_GT(publicStringNames, 0);
}

TEST(OwnReaderTest, WrittenFilesReadAsLibpffReadsThem)
{
    QTemporaryDir dir;
    // The Japanese mailbox, with named properties, embedded messages and
    // attachments of every kind; and enough mails, with large attachments, for
    // contents tables and attachment data that span many blocks.
    QFile fixture(MkPstTest::SourceFile(QStringLiteral("fixtures/japanese.json")));
    ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
    const QString japanese = MkPstTest::Write(dir.path(), QStringLiteral("japanese"),
                                              QJsonDocument::fromJson(fixture.readAll()).object());
    const QString many = dir.filePath(QStringLiteral("many.pst"));
    ASSERT_EQ(MkPstTest::MkPst({QStringLiteral("--synthetic"), QStringLiteral("400"),
                                QStringLiteral("--attachment-kb"), QStringLiteral("40"),
                                QStringLiteral("--japanese"), many}),
              0);
    const QString plain = dir.filePath(QStringLiteral("plain.pst"));
    ASSERT_EQ(MkPstTest::MkPst({QStringLiteral("--no-encryption"), QStringLiteral("--synthetic"),
                                QStringLiteral("30"), plain}),
              0);
    for (const QString& file : {japanese, many, plain}) {
        SCOPED_TRACE(file.toStdString());
        const Comparison c = Compare(file);
        EXPECT_GT(c.Mails, 0);
    }
}

// Items of a large folder are made on demand and dropped when unused; one
// still in use is handed out again as the same object, however many others
// came and went in between.
TEST(OwnReaderTest, AnItemInUseStaysTheSameObjectWhileOthersComeAndGo)
{
    QTemporaryDir dir;
    QJsonArray mails;
    for (int i = 0; i < 300; ++i)
        mails.append(MkPstTest::Mail(QStringLiteral("件名 %1").arg(i),
                                     QStringLiteral("2024-03-01T09:00:00Z"),
                                     QStringLiteral("本文")));
    QJsonObject inbox{{QStringLiteral("name"), QStringLiteral("受信トレイ")},
                      {QStringLiteral("mails"), mails}};
    const QString file =
        MkPstTest::Write(dir.path(), QStringLiteral("large"),
                         QJsonObject{{QStringLiteral("store"), QStringLiteral("大きなフォルダー")},
                                     {QStringLiteral("folders"), QJsonArray{inbox}}});
    StorePtr store = Store::Open(file);
    ASSERT_TRUE(store->IsOwn());
    const FolderObjectPtr root = FolderObject::StoreRoot(store);
    FolderObjectPtr folder;
    for (const FolderObjectPtr& sub : root->SubFolders())
        if (sub->Name() == QStringLiteral("受信トレイ"))
            folder = sub;
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->ItemCount(), 300);
    const Automation::DispatchPtr held = folder->ItemAt(7);
    for (qint32 i = 0; i < 300; ++i)
        EXPECT_EQ(std::dynamic_pointer_cast<MailItemObject>(folder->ItemAt(i))->Subject(),
                  QStringLiteral("件名 %1").arg(i));
    EXPECT_EQ(folder->ItemAt(7), held);
    EXPECT_NE(folder->ItemAt(8), nullptr);
}
