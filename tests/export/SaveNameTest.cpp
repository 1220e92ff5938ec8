#include "export/ExportConf.h"
#include "export/FileExporter.h"
#include "export/FileUtils.h"
#include "export/RegexUtility.h"
#include "export/SequenceNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A folder for the names, and an exporter whose names are written as files, as
// the export loop does.
class SaveNameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTemp.isValid());
        Dir = FTemp.path() + QLatin1Char('/');
    }

    void Touch(const QString& name)
    {
        QFile file(Dir + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // The name given for the mail, written as a file, without the folder.
    QString Take(const QString& subject, const QString& body = QString())
    {
        const QString path = Exporter.GetSaveName(Dir, subject, body);
        EXPECT_TRUE(path.startsWith(Dir)) << path.toStdString();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        return path.mid(Dir.size());
    }

    // The name given without writing a file.
    QString Peek(const QString& subject, const QString& body = QString())
    {
        return Exporter.GetSaveName(Dir, subject, body).mid(Dir.size());
    }

    void UseSubjectRule(const QString& format = QStringLiteral("<s>(<n>).eml"), int digits = 1)
    {
        Exporter.SetNameType(1);
        Exporter.SetPlainFormat(QStringLiteral("<s>.eml"));
        Exporter.SetFormat(format);
        Exporter.SetDigit(digits);
    }

    QTemporaryDir FTemp;
    QString Dir;
    TFileExporter Exporter;
};

} // namespace

TEST(SequenceNumberTest, Expand)
{
    struct Case {
        const char16_t* format;
        int number, digits;
        const char16_t* text;
        const char16_t* result;
    } cases[] = {
        {u"<n>.eml", 7, 3, u"", u"007.eml"},
        {u"<n>.msg", 123, 2, u"", u"123.msg"},
        {u"<s>(<n>).eml", 2, 1, u"Re： 件名", u"Re： 件名(2).eml"},
        {u"<n>-<n>.eml", 5, 2, u"", u"05-05.eml"},
        {u"fixed.eml", 5, 2, u"x", u"fixed.eml"},
        {u"<N>.eml", 5, 2, u"", u"<N>.eml"},
        // "<n>" in the text is not expanded: the test looks at the format only.
        {u"<s>.eml", 5, 2, u"a<n>b", u"a<n>b.eml"},
        {u"<n>.eml", 0, 0, u"", u"0.eml"},
        {u"<n>.eml", -7, 3, u"", u"-007.eml"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSequenceNumber::Expand(QString::fromUtf16(c.format), c.number, c.digits,
                                          QString::fromUtf16(c.text)),
                  QString::fromUtf16(c.result));
}

TEST(FileUtilsTest, GetUsingFileNameReplacesOneForOne)
{
    QString all;
    for (char16_t u = 0; u < 0x20; ++u)
        all += QChar(u);
    all += QStringLiteral("\\\"*/:<>?|");
    QString expected(0x20, QLatin1Char(' '));
    expected += QStringLiteral("￥”＊／：＜＞？｜");
    EXPECT_EQ(TFileUtils::GetUsingFileName(all), expected);
    const QString kept = QStringLiteral("Re. 会議 . ~!@#$%&'()+,;=[]^_`{}𠮷 ");
    EXPECT_EQ(TFileUtils::GetUsingFileName(kept), kept);
}

TEST(RegexUtilityTest, FirstGroupOfTheFirstMatch)
{
    using TRegexUtility::GetRegexText;
    const unsigned single = TRegexUtility::SingleLine;
    EXPECT_EQ(GetRegexText(QStringLiteral("No.41 No.42"), QStringLiteral("No\\.(\\d+)"), single),
              QStringLiteral("41"));
    EXPECT_EQ(GetRegexText(QStringLiteral("No.42"), QStringLiteral("No\\.\\d+"), single),
              QString());
    EXPECT_EQ(GetRegexText(QStringLiteral("abc"), QStringLiteral("(x)|b"), single), QString());
    EXPECT_EQ(GetRegexText(QString(), QStringLiteral("(a)"), single), QString());
    EXPECT_EQ(GetRegexText(QStringLiteral("a"), QString(), single), QString());
    // "." takes a line break only in single-line mode, and a surrogate pair as one character.
    EXPECT_EQ(GetRegexText(QStringLiteral("a\r\nb"), QStringLiteral("a(.+)b"), single),
              QStringLiteral("\r\n"));
    EXPECT_EQ(GetRegexText(QStringLiteral("a\r\nb"), QStringLiteral("a(.+)b"), 0), QString());
    EXPECT_EQ(GetRegexText(QStringLiteral("[𠮷]"), QStringLiteral("\\[(.)\\]"), single),
              QStringLiteral("𠮷"));
    // A lone surrogate in the text does not stop the search.
    EXPECT_EQ(GetRegexText(QString(QChar(0xD800)) + QStringLiteral("No.7"),
                           QStringLiteral("No\\.(\\d)"), single),
              QStringLiteral("7"));
    EXPECT_THROW(GetRegexText(QStringLiteral("a"), QStringLiteral("(a"), single), ERegexError);

    EXPECT_TRUE(TUtility::ValidateRegexp(QStringLiteral("No\\.(\\d+)")));
    EXPECT_FALSE(TUtility::ValidateRegexp(QStringLiteral("(a")));
    EXPECT_FALSE(TUtility::ValidateRegexp(QStringLiteral("a{2,1}")));
}

TEST_F(SaveNameTest, SequenceNumbersPerRuleObject)
{
    Exporter.SetNameType(0);
    Exporter.SetFormat(QStringLiteral("<n>.eml"));
    Exporter.SetDigit(3);
    Touch(QStringLiteral("002.eml"));
    EXPECT_EQ(Take(QStringLiteral("s")), QStringLiteral("001.eml"));
    EXPECT_EQ(Take(QStringLiteral("s")), QStringLiteral("002.eml")); // no existence test
    EXPECT_EQ(Take(QStringLiteral("s")), QStringLiteral("003.eml"));

    TFileExporter next;
    next.SetFormat(QStringLiteral("<n>.eml"));
    next.SetDigit(2);
    EXPECT_EQ(next.GetSaveName(Dir, QString(), QString()), Dir + QStringLiteral("01.eml"));
    for (int i = 2; i < 100; ++i)
        next.GetSaveName(Dir, QString(), QString());
    EXPECT_EQ(next.GetSaveName(Dir, QString(), QString()), Dir + QStringLiteral("100.eml"));

    next.SetFormat(QStringLiteral("same.eml"));
    EXPECT_EQ(next.GetSaveName(Dir, QString(), QString()), Dir + QStringLiteral("same.eml"));
    EXPECT_EQ(next.GetSaveName(Dir, QString(), QString()), Dir + QStringLiteral("same.eml"));
}

TEST_F(SaveNameTest, SubjectNamesWithNumberedDuplicates)
{
    UseSubjectRule(QStringLiteral("<s>(<n>).eml"), 2);
    EXPECT_EQ(Take(QStringLiteral("Re: 会議/議事録?")), QStringLiteral("Re： 会議／議事録？.eml"));
    EXPECT_EQ(Take(QStringLiteral("A")), QStringLiteral("A.eml"));
    EXPECT_EQ(Take(QStringLiteral("A")), QStringLiteral("A(01).eml"));
    EXPECT_EQ(Take(QStringLiteral("A")), QStringLiteral("A(02).eml"));
    EXPECT_EQ(Take(QString()), QStringLiteral("(noname).eml"));
    EXPECT_EQ(Take(QString()), QStringLiteral("(noname)(01).eml"));
    // Control characters other than TAB, CR and LF become spaces, not "(noname)".
    EXPECT_EQ(Take(QString(QChar(1)) + QChar(2)), QStringLiteral("  .eml"));
    // Texts that differ in case are different names.
    EXPECT_EQ(Take(QStringLiteral("abc")), QStringLiteral("abc.eml"));
    EXPECT_EQ(Take(QStringLiteral("ABC")), QStringLiteral("ABC.eml"));
}

TEST_F(SaveNameTest, ExistingFilesAreSkippedAndTheSearchGoesOnWhereItEnded)
{
    // A format without "<n>": the numbered names come from the plain format.
    UseSubjectRule(QStringLiteral("none"));
    Touch(QStringLiteral("A.eml"));
    Touch(QStringLiteral("A(1).eml"));
    QDir(Dir).mkdir(QStringLiteral("B.eml")); // a folder does not take the name
    EXPECT_EQ(Peek(QStringLiteral("A")), QStringLiteral("A(2).eml"));
    // The memory now holds 3 for A: the next search starts there.
    EXPECT_EQ(Peek(QStringLiteral("A")), QStringLiteral("A(3).eml"));
    EXPECT_EQ(Peek(QStringLiteral("B")), QStringLiteral("B.eml"));

    // A plain format without an extension gets the number at its end.
    Exporter.SetPlainFormat(QStringLiteral("<s>"));
    Touch(QStringLiteral("C"));
    EXPECT_EQ(Peek(QStringLiteral("C")), QStringLiteral("C(1)"));
}

TEST_F(SaveNameTest, LongNamesAreShortenedToFitAFileName)
{
    UseSubjectRule();
    auto check = [](const QString& name, const QString& text, const QString& suffix) {
        EXPECT_LE(name.toUtf8().size(), 255) << name.toStdString();
        EXPECT_TRUE(name.endsWith(suffix)) << name.toStdString();
        const QString kept = name.chopped(suffix.size());
        EXPECT_TRUE(text.startsWith(kept)) << name.toStdString();
        EXPECT_TRUE(QStringView(kept).isValidUtf16());
        return kept.size();
    };
    const QString japanese = QString(100, QChar(0x3042));                   // 300 bytes of UTF-8
    EXPECT_EQ(check(Take(japanese), japanese, QStringLiteral(".eml")), 83); // 249 + 4 bytes
    EXPECT_EQ(check(Take(japanese), japanese, QStringLiteral("(1).eml")), 82);
    EXPECT_EQ(check(Take(japanese), japanese, QStringLiteral("(2).eml")), 82);

    QString pairs;
    for (int i = 0; i < 70; ++i)
        pairs += QStringLiteral("𠮷");
    EXPECT_EQ(check(Take(pairs), pairs, QStringLiteral(".eml")), 2 * 62); // 248 + 4 bytes
    EXPECT_EQ(check(Take(pairs), pairs, QStringLiteral("(1).eml")), 2 * 62);

    const QString ascii = QString(300, QLatin1Char('a'));
    EXPECT_EQ(check(Take(ascii), ascii, QStringLiteral(".eml")), 251);
}

TEST_F(SaveNameTest, ShortenedNamesShareTheirDuplicateNumbers)
{
    // Two subjects that differ only past the cut give the same name on disk, so
    // they draw their numbers from one counter.
    UseSubjectRule();
    const QString common = QString(100, QChar(0x3042));
    Touch(QString(83, QChar(0x3042)) + QStringLiteral(".eml"));
    const QString first = Peek(common + QLatin1Char('X'));
    const QString second = Peek(common + QLatin1Char('Y'));
    EXPECT_EQ(first, QString(82, QChar(0x3042)) + QStringLiteral("(1).eml"));
    EXPECT_EQ(second, QString(82, QChar(0x3042)) + QStringLiteral("(2).eml"));
}

TEST_F(SaveNameTest, ParameterRuleTakesTheNameFromTheBody)
{
    TExportConf conf(2);
    conf.SetEmlNameType(2);
    conf.SetEmlFormat(QStringLiteral("受付番号:"));
    ApplyExportConf(Exporter, conf);
    const QString body = QStringLiteral("件名\r\n 受付番号: 0\r受付番号: 12345\n受付番号: 2");
    EXPECT_EQ(Take(QString(), body), QStringLiteral(" 12345.eml"));
    EXPECT_EQ(Take(QString(), body), QStringLiteral(" 12345(1).eml"));
    EXPECT_EQ(Take(QStringLiteral("件名"), QString()), QStringLiteral("(noname).eml"));
    EXPECT_EQ(Take(QString(), QStringLiteral("受付番号なし")), QStringLiteral("(noname)(1).eml"));
    // The body counts only up to a NUL.
    EXPECT_EQ(Peek(QString(), QStringLiteral("x") + QChar(0) + QStringLiteral("\n受付番号:9")),
              QStringLiteral("(noname)(2).eml"));
    // The rest of the line is made usable as a file name.
    EXPECT_EQ(Take(QString(), QStringLiteral("受付番号:a/b")), QStringLiteral("a／b.eml"));

    conf.SetEmlFormat(QStringLiteral("No\\.(\\d+)"));
    conf.SetEmlUseParamRegexp(true);
    ApplyExportConf(Exporter, conf);
    EXPECT_EQ(Take(QString(), QStringLiteral("Ticket No.42 open")), QStringLiteral("42.eml"));
    EXPECT_EQ(Take(QString(), QStringLiteral("No.42")), QStringLiteral("42(1).eml"));
    conf.SetEmlFormat(QStringLiteral("From: (.*?) end"));
    ApplyExportConf(Exporter, conf);
    EXPECT_EQ(Take(QString(), QStringLiteral("From: A\r\nB\rC\nD end")),
              QStringLiteral("A B C D.eml"));
    conf.SetEmlFormat(QStringLiteral("No\\.\\d+"));
    ApplyExportConf(Exporter, conf);
    EXPECT_EQ(Peek(QString(), QStringLiteral("No.42")), QStringLiteral("(noname)(3).eml"));
    conf.SetEmlFormat(QStringLiteral("No\\.(\\d+"));
    ApplyExportConf(Exporter, conf);
    EXPECT_THROW(Exporter.GetSaveName(Dir, QString(), QStringLiteral("No.42")), ERegexError);
}
