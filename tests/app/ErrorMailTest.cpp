#include "TestSupport.h"
#include "app/ErrorMail.h"
#include "fake/FakeAutomation.h"
#include "outlook/Outlook.h"
#include "runtime/Exception.h"
#include "runtime/Locale.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ErrorMailTest, CsvRecordQuoting)
{
    struct Case {
        QStringList fields;
        const char16_t* line;
    } cases[] = {
        {{QStringLiteral("a"), QString(), QStringLiteral("b")}, u"a,,b"},
        {{QStringLiteral("x,y")}, u"\"x,y\""},
        {{QStringLiteral("say \"hi\"")}, u"\"say \"\"hi\"\"\""},
        {{QStringLiteral("件名だけ")}, u"件名だけ"},
        {{QStringLiteral("2014/01/05(日) 09:03")}, u"\"2014/01/05(日) 09:03\""},
        {{QStringLiteral("tab\there")}, u"\"tab\there\""},
        {{QStringLiteral("全角　空白")}, u"全角　空白"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CsvRecord(c.fields), QString::fromUtf16(c.line));
    EXPECT_EQ(CsvRecord(ErrorListColumns()), QStringLiteral("フォルダー,Index,差出人,件名,送信日時,エラーメッセージ"));
}

TEST(ErrorMailTest, RowsAreReadAgainWithOneLookupPerChangeOfFolder)
{
    SetFormatLocale(QLocale::c());
    Fake::FakeOutlook fake;
    auto& personal = fake.AddFolder(nullptr, QStringLiteral("P"));
    auto& a = fake.AddFolder(&personal, QStringLiteral("A"));
    auto& b = fake.AddFolder(&personal, QStringLiteral("B"));
    Fake::MailSpec spec;
    spec.SenderName = QStringLiteral("Sender");
    spec.Subject = QStringLiteral("Hello, world");
    spec.ReceivedTime = 41644.0 + (9 * 60 + 3) / 1440.0;
    fake.AddMail(a, spec);
    fake.AddMail(a, spec);
    auto broken = fake.AddMail(b, spec);
    broken->Fail(QStringLiteral("Subject"));
    TOutlook session{Automation::OleRef(fake.App)};

    const std::vector<TErrorMail> records = {
        {QStringLiteral("\\P\\A"), 0, QStringLiteral("e1")}, {QStringLiteral("\\P\\A"), 1, QStringLiteral("e2")},
        {QStringLiteral("\\P\\B"), 0, QStringLiteral("e3")}, {QStringLiteral("\\P\\A"), 0, QStringLiteral("e4")},
        {QStringLiteral("\\Gone"), 3, QStringLiteral("e5")}, {QStringLiteral("\\P\\A"), -1, QStringLiteral("e6")},
    };
    fake.Log.Clear();
    const auto rows = FillErrorRows(session, records);
    ASSERT_EQ(rows.size(), records.size());
    EXPECT_EQ(rows[0], QStringList({QStringLiteral("\\P\\A"), QStringLiteral("1"), QStringLiteral("Sender"),
                                    QStringLiteral("Hello, world"), QStringLiteral("2014/01/05(Sun) 09:03"),
                                    QStringLiteral("e1")}));
    EXPECT_EQ(rows[1][1], QStringLiteral("2"));
    // A mail that cannot be read again keeps what was read and its error message.
    EXPECT_EQ(rows[2], QStringList({QStringLiteral("\\P\\B"), QStringLiteral("1"), QStringLiteral("Sender"),
                                    QString(), QString(), QStringLiteral("e3")}));
    EXPECT_EQ(rows[4], QStringList({QStringLiteral("\\Gone"), QStringLiteral("4"), QString(), QString(),
                                    QString(), QStringLiteral("e5")}));
    EXPECT_EQ(rows[5][1], QString()); // a folder-level failure has no position
    // \P\A, \P\B, \P\A, \Gone, \P\A: five lookups, each reading the top-level names.
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Name"), QStringLiteral("folder:P")), 5);
    SetFormatLocale(QLocale::system());
}

TEST(ErrorMailTest, CsvFileIsWrittenInTheChosenCharacterSet)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("errors.csv"));
    const std::vector<QStringList> rows = {{QStringLiteral("\\受信トレイ"), QStringLiteral("1"), QStringLiteral("差出人"),
                                            QStringLiteral("件名, です"), QString(), QStringLiteral("エラー")}};
    WriteCsvFile(path, ErrorListColumns(), rows, QStringLiteral("Shift_JIS"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Decoded by an independent converter.
    int rc = 0;
    const QByteArray utf8 = TestSupport::Run(QStringLiteral("nkf"), {QStringLiteral("-Sw")}, &rc, nullptr, bytes);
    EXPECT_EQ(QString::fromUtf8(utf8),
              QStringLiteral("フォルダー,Index,差出人,件名,送信日時,エラーメッセージ\r\n"
                             "\\受信トレイ,1,差出人,\"件名, です\",,エラー\r\n"));
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));

    WriteCsvFile(path, ErrorListColumns(), rows, QStringLiteral("UTF-8"));
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(QStringLiteral("フォルダー").toUtf8()));

    EXPECT_THROW(WriteCsvFile(dir.filePath(QStringLiteral("missing/errors.csv")), ErrorListColumns(), rows),
                 EInOutError);
    EXPECT_THROW(WriteCsvFile(path, ErrorListColumns(), rows, QStringLiteral("no-such-charset")), EInOutError);
}
