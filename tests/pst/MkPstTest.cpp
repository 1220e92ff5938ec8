// tidewell-mkpst: the data files it writes are checked by an independent
// structure check and read back by pffexport and readpst, never by our own
// reader alone.
#include "MkPstTestSupport.h"
#include "PstTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace MkPstTest;

namespace {

QString JapaneseDescription() { return SourceFile(QStringLiteral("fixtures/japanese.json")); }

} // namespace

TEST(MkPstTest, ReadersFindTheJapaneseMailboxWithAndWithoutEncryption)
{
    QTemporaryDir tmp;
    for (const bool encrypted : {true, false}) {
        const QString pst = tmp.filePath(encrypted ? QStringLiteral("e.pst") : QStringLiteral("n.pst"));
        QStringList args{JapaneseDescription(), pst};
        if (!encrypted)
            args.prepend(QStringLiteral("--no-encryption"));
        QByteArray err;
        ASSERT_EQ(MkPst(args, &err), 0) << err.toStdString();
        int code = -1;
        const QByteArray info = TestSupport::Run(QStringLiteral("pffinfo"), {pst}, &code);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(info.contains(encrypted ? "Encryption type:\tcompressible" : "Encryption type:\tnone"))
            << info.toStdString();
        EXPECT_EQ(Check(JapaneseDescription(), pst, tmp.filePath(QStringLiteral("work%1").arg(encrypted))),
                  QString());
    }
}

TEST(MkPstTest, LargeTablesHeapsTreesAndSubnodeListsStayReadable)
{
    // 1200 mails in one folder: a contents table whose rows live in a sub-node
    // and whose heap spans more than eight blocks, and B-trees three levels
    // deep. One mail with 400 attachments needs a two-level sub-node tree.
    QTemporaryDir tmp;
    QJsonArray mails;
    for (int i = 0; i < 1200; ++i)
        mails.append(Mail(QStringLiteral("大量のメール %1 番").arg(i), QStringLiteral("2024-01-01T00:00:00Z"),
                          QStringLiteral("本文 %1").arg(i)));
    QJsonArray attachments;
    for (int i = 0; i < 400; ++i)
        attachments.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("添付%1.txt").arg(i)},
                                       {QStringLiteral("data"), QStringLiteral("中身 %1").arg(i)}});
    QJsonObject many = Mail(QStringLiteral("添付が四百"), QStringLiteral("2024-01-02T00:00:00Z"), QStringLiteral("多い"));
    many.insert(QStringLiteral("attachments"), attachments);
    const QJsonObject description{
        {QStringLiteral("folders"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("大量")}, {QStringLiteral("mails"), mails}},
                    QJsonObject{{QStringLiteral("name"), QStringLiteral("添付")},
                                {QStringLiteral("mails"), QJsonArray{many}}}}}};
    const QString pst = Write(tmp.path(), QStringLiteral("large"), description);
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(Check(tmp.filePath(QStringLiteral("large.json")), pst, tmp.filePath(QStringLiteral("work"))),
              QString());
}

TEST(MkPstTest, TheSameInputGivesTheSameBytes)
{
    QTemporaryDir tmp;
    auto bytes = [](const QString& path) { return PstTest::ReadFile(path); };
    const QString a = tmp.filePath(QStringLiteral("a.pst")), b = tmp.filePath(QStringLiteral("b.pst"));
    ASSERT_EQ(MkPst({JapaneseDescription(), a}), 0);
    ASSERT_EQ(MkPst({JapaneseDescription(), b}), 0);
    EXPECT_TRUE(bytes(a) == bytes(b));

    const QStringList synthetic{QStringLiteral("--synthetic"), QStringLiteral("300"),
                                QStringLiteral("--attachment-kb"), QStringLiteral("9"), QStringLiteral("--japanese")};
    ASSERT_EQ(MkPst(synthetic + QStringList{a}), 0);
    ASSERT_EQ(MkPst(synthetic + QStringList{b}), 0);
    EXPECT_TRUE(bytes(a) == bytes(b));

    // readpst reads every synthetic mail.
    const QString out = tmp.filePath(QStringLiteral("readpst"));
    QDir().mkpath(out);
    TestSupport::Run(QStringLiteral("readpst"),
                     {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-j"), QStringLiteral("0"),
                      QStringLiteral("-o"), out, a});
    int emls = 0;
    for (const QString& f : TestSupport::FilesBelow(out))
        emls += f.endsWith(QLatin1String(".eml"));
    EXPECT_EQ(emls, 300);
}

TEST(MkPstTest, BadInputFailsWithAReasonAndLeavesNoFile)
{
    QTemporaryDir tmp;
    const struct {
        const char* json;
        const char* reason;
    } cases[] = {
        {"{\"folders\": [", "JSON"},
        {"{\"folders\": [{\"name\": \"x\", \"mails\": [{\"subject\": \"\xF0\x9F\x98\x80\", \"codePage\": 932, "
         "\"eightBit\": true}]}]}",
         "932"},
        {"{\"folders\": [{\"name\": \"x\", \"mails\": [{\"attachments\": [{\"name\": \"a\", \"file\": "
         "\"missing.bin\"}]}]}]}",
         "missing.bin"},
        {"{\"folders\": [{\"name\": \"x\", \"mails\": [{\"sent\": \"yesterday\"}]}]}", "yesterday"},
    };
    for (const auto& c : cases) {
        const QString json = tmp.filePath(QStringLiteral("bad.json"));
        QFile f(json);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.json);
        f.close();
        const QString pst = tmp.filePath(QStringLiteral("bad.pst"));
        QByteArray err;
        EXPECT_EQ(MkPst({json, pst}, &err), 1) << c.json;
        EXPECT_TRUE(err.contains(c.reason)) << err.toStdString();
        EXPECT_FALSE(QFile::exists(pst)) << c.json;
    }
}
