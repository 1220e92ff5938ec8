// The converter library against Debian's nkf: every option string the
// converter's operations use, over a corpus of Japanese text, byte for byte.
#include "TestSupport.h"
#include "support/Nkf.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

const char* const kTextOptions[] = {"-wWx --hiragana",
                                    "-wWx --katakana",
                                    "-wW -Z4",
                                    "-wW -X",
                                    "-wW -Z1",
                                    "-Ws",
                                    "-Wj --ms-ucs-map",
                                    "-We --ms-ucs-map",
                                    "-Ww --ms-ucs-map",
                                    "-MWj --ms-ucs-map",
                                    "-MWw",
                                    "-mWw --ms-ucs-map"};
const char* const kBytesOptions[] = {"-s", "-j", "-e", "-w", "-mw --ms-ucs-map"};

// The corpus in each encoding the byte operations meet, with the option that
// declares it.
struct Form {
    const char* name;
    QStringList toForm; // nkf arguments that make this form from UTF-8
    QByteArray declare;
};
const Form kForms[] = {{"utf8", {}, "-W"},
                       {"sjis", {QStringLiteral("-Ws"), QStringLiteral("-x")}, "-S"},
                       {"euc", {QStringLiteral("-We"), QStringLiteral("-x")}, "-E"},
                       {"jis", {QStringLiteral("-Wj"), QStringLiteral("-x")}, "-J"}};

// Where our output must differ from nkf's, and why.
struct Difference {
    const char* file;
    const char* form;
    const char* optionPart; // the option holds this
    bool undeclaredOnly;    // only when the option declares no input encoding
    const char* reason;
};
const Difference kDifferences[] = {
    {"emoji.txt", "utf8", "", true,
     "nkf loses the text after a 4-byte UTF-8 character when it guesses the input"},
    {"halfwidth.txt", "euc", "", true,
     "nkf guesses Shift_JIS for EUC-JP half-width katakana and garbles them"},
    {"kanji.txt", "euc", "-m", true,
     "with -m nkf reads undeclared EUC-JP IBM extension rows as user-defined characters"},
    {"headers.txt", "text", "W", false,
     "nkf drops a Shift_JIS header word when the input is declared UTF-8"},
    {"headers.txt", "utf8", "-wW", false,
     "nkf drops a Shift_JIS header word when the input is declared UTF-8"},
};

const char* DifferenceReason(const QString& file, const char* form, const QByteArray& option)
{
    const bool declared = option.contains('W') || option.contains('S') || option.contains('E') ||
                          option.contains('J');
    for (const Difference& d : kDifferences)
        if (file == QLatin1String(d.file) && qstrcmp(d.form, form) == 0 &&
            option.contains(d.optionPart) && !(d.undeclaredOnly && declared))
            return d.reason;
    return nullptr;
}

QByteArray Nkf(const QByteArray& option, const QByteArray& input, const QStringList& extra = {})
{
    QStringList args = QString::fromUtf8(option).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    args += extra;
    int rc = -1;
    const QByteArray out = TestSupport::Run(QStringLiteral("nkf"), args, &rc, nullptr, input);
    EXPECT_EQ(rc, 0) << option.constData();
    return out;
}

QStringList CorpusFiles()
{
    return QDir(QStringLiteral(TIDEWELL_NKF_DATA)).entryList({QStringLiteral("*.txt")});
}

QByteArray ReadCorpus(const QString& name)
{
    QFile file(QDir(QStringLiteral(TIDEWELL_NKF_DATA)).filePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

class NkfLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        nkf = CreateNkf(QString());
        ASSERT_TRUE(nkf->GetEnabled());
        ASSERT_GE(CorpusFiles().size(), 10);
    }
    // Compares one conversion with nkf's; a known difference must still be one.
    void Compare(const QString& file, const char* form, const QByteArray& option,
                 const QByteArray& input)
    {
        const QByteArray ours = nkf->ConvertToBytes(input, option);
        const QByteArray theirs = Nkf(option, input);
        if (const char* reason = DifferenceReason(file, form, option)) {
            ++explained;
            EXPECT_NE(ours, theirs) << "no longer differs: " << reason;
            return;
        }
        EXPECT_EQ(ours.toHex(' '), theirs.toHex(' '))
            << file.toStdString() << " " << form << " " << option.constData();
    }
    INkfPtr nkf;
    int explained = 0;
};

TEST_F(NkfLibraryTest, TextOptionsAgreeWithNkf)
{
    for (const QString& file : CorpusFiles()) {
        const QByteArray utf8 = ReadCorpus(file);
        for (const char* option : kTextOptions)
            Compare(file, "text", option, utf8);
    }
}

TEST_F(NkfLibraryTest, ByteOptionsAgreeWithNkfInEveryInputEncoding)
{
    for (const QString& file : CorpusFiles()) {
        const QByteArray utf8 = ReadCorpus(file);
        for (const Form& form : kForms) {
            const QByteArray input = form.toForm.isEmpty() ? utf8 : Nkf("", utf8, form.toForm);
            for (const char* option : kBytesOptions)
                Compare(file, form.name, option, input);
            // Declared input, as ToUnicodeString with a code page does it.
            Compare(file, form.name, "-w" + form.declare.mid(1), input);
        }
        const QString text = QString::fromUtf8(utf8);
        QByteArray le(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QByteArray be = le;
        for (qsizetype i = 0; i + 1 < be.size(); i += 2)
            std::swap(be[i], be[i + 1]);
        Compare(file, "utf16", "-wW16L", le);
        Compare(file, "utf16", "-wW16B", be);
    }
    EXPECT_GT(explained, 0);
}

TEST_F(NkfLibraryTest, EveryBmpCharacterMapsAsNkfMapsIt)
{
    // One character a line, C0 and C1 controls and surrogates left out.
    QList<char32_t> chars;
    QString lines;
    for (char32_t c = 0x20; c < 0x10000; ++c) {
        if (c == 0x7F || (c >= 0x80 && c < 0xA0) || (c >= 0xD800 && c < 0xE000))
            continue;
        chars.append(c);
        lines += QString::fromUcs4(&c, 1) + QLatin1Char('\n');
    }
    const QByteArray input = lines.toUtf8();
    for (const char* option : kTextOptions) {
        if (QByteArray(option).contains('M') || QByteArray(option).contains('m'))
            continue; // header words: the corpus tests
        const QList<QByteArray> ours = nkf->ConvertToBytes(input, option).split('\n');
        const QList<QByteArray> theirs = Nkf(option, input).split('\n');
        ASSERT_EQ(ours.size(), theirs.size()) << option;
        int differences = 0;
        for (qsizetype i = 0; i < chars.size(); ++i) {
            // nkf writes the private use area as ISO-2022-JP rows past 94, which that encoding does
            // not have.
            if (QByteArray(option).contains('j') && chars[i] >= 0xE000 && chars[i] < 0xE758)
                continue;
            if (ours[i] != theirs[i] && ++differences <= 5)
                ADD_FAILURE() << option << " U+" << QByteArray::number(chars[i], 16).constData()
                              << ": " << ours[i].toHex().constData() << " vs "
                              << theirs[i].toHex().constData();
        }
        EXPECT_EQ(differences, 0) << option;
    }
}

TEST_F(NkfLibraryTest, BodyDecodingKeepsTheBytesAndAgreesWithNkfOnceDeclared)
{
    // Without an output encoding, -mB and -mQ return the decoded bytes as they
    // are (nkf would convert them to UTF-8, misreading undeclared UTF-8), so that
    // a caller reads them with the code page it knows; Python decodes for comparison.
    for (const QString& file : CorpusFiles()) {
        const QByteArray utf8 = ReadCorpus(file);
        for (const Form& form : kForms) {
            const QByteArray payload = form.toForm.isEmpty() ? utf8 : Nkf("", utf8, form.toForm);
            const QByteArray base64 = payload.toBase64();
            int rc = -1;
            const QByteArray qp = TestSupport::Run(
                QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral(
                     "import quopri,sys; "
                     "sys.stdout.buffer.write(quopri.encodestring(sys.stdin.buffer.read()))")},
                &rc, nullptr, payload);
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(nkf->ConvertToBytes(base64, "-mB"), payload)
                << file.toStdString() << form.name;
            EXPECT_EQ(nkf->ConvertToBytes(qp, "-mQ"), payload) << file.toStdString() << form.name;
            Compare(file, form.name, "-mB " + form.declare + " -w", base64);
            Compare(file, form.name, "-mQ " + form.declare + " -w", qp);
        }
    }
}

TEST_F(NkfLibraryTest, HeaderWordsAreFoldedWithoutEmptyOrOverlongWords)
{
    // nkf writes an empty header word when a word starts past column 60, and
    // encodes an ASCII word of more than 74 characters into one overlong line.
    const QByteArray x65(65, 'x'), y80(80, 'y');
    EXPECT_EQ(nkf->ConvertToBytes(x65 + QStringLiteral(" あいう").toUtf8(), "-MWw"),
              x65 + " \n =?UTF-8?B?44GC44GE44GG?=");
    EXPECT_EQ(nkf->ConvertToBytes("Subject: " + y80 + " zz", "-MWw"),
              "Subject:\n " + y80 + "\n zz");
    // Every line of a long ISO-2022-JP word shifts back to ASCII before it ends.
    const QByteArray folded =
        nkf->ConvertToBytes(QString(40, QChar(0x3042)).toUtf8(), "-MWj --ms-ucs-map");
    for (const QByteArray& line : folded.split('\n')) {
        const QByteArray word = line.trimmed().mid(16).chopped(2);
        EXPECT_TRUE(QByteArray::fromBase64(word).endsWith("\x1b(B")) << line.constData();
        EXPECT_LE(line.size(), 76);
    }
}

TEST_F(NkfLibraryTest, OperationsGiveTheConvertedText)
{
    EXPECT_EQ(nkf->ToHiragana(QStringLiteral("カタカナとヴ ｶﾅ")),
              QStringLiteral("かたかなとゔ ｶﾅ"));
    EXPECT_EQ(nkf->ToKatakana(QStringLiteral("ひらがな")), QStringLiteral("ヒラガナ"));
    EXPECT_EQ(nkf->ToHankakuKatakana(QStringLiteral("ガパヴー")), QStringLiteral("ｶﾞﾊﾟｳﾞｰ"));
    EXPECT_EQ(nkf->ToZenkakuKatakana(QStringLiteral("ｶﾞﾊﾟｳﾞﾜﾞ")), QStringLiteral("ガパヴワ゛"));
    EXPECT_EQ(nkf->ToHankaku(QStringLiteral("ＡＢＣ　１２３")), QStringLiteral("ABC 123"));
    const QString text = QStringLiteral("日本語〜"); // WAVE DASH, which both directions keep
    EXPECT_EQ(nkf->ToSjisString(text), RawByteString("\x93\xfa\x96\x7b\x8c\xea\x81\x60"));
    EXPECT_EQ(nkf->ToEucString(text), RawByteString("\xc6\xfc\xcb\xdc\xb8\xec\xa1\xc1"));
    EXPECT_EQ(nkf->ToJisString(text), RawByteString("\x1b$BF|K\\8l!A\x1b(B"));
    EXPECT_EQ(nkf->ToUnicodeString(nkf->ToSjisString(text), 932), text);
    EXPECT_EQ(nkf->ToUnicodeString(nkf->ToJisString(text)), text);
    // A Base64 body in Shift_JIS read with its code page.
    const QString base64 = QString::fromLatin1(QByteArray("\x93\xfa\x96\x7b").toBase64());
    EXPECT_EQ(nkf->B64DecodeToString(base64, 932), QStringLiteral("日本"));
    EXPECT_EQ(nkf->QPDecodeToString(QStringLiteral("=93=FA=96=7B"), 932), QStringLiteral("日本"));
    EXPECT_EQ(nkf->B64DecodeToBytes(QStringLiteral("gqA=")), TBytes("\x82\xa0"));
    EXPECT_EQ(nkf->B64HeaderEncodeString(QStringLiteral("件名 テスト"), 50220),
              RawByteString("=?ISO-2022-JP?B?GyRCN29MPhsoQiAbJEIlRiU5JUgbKEI=?="));
    EXPECT_EQ(nkf->B64HeaderDecodeString(
                  QStringLiteral("=?ISO-2022-JP?B?GyRCN29MPhsoQg==?= =?UTF-8?B?44OG?=")),
              QStringLiteral("件名テ"));
    // A header word in any charset ICU knows.
    EXPECT_EQ(nkf->B64HeaderDecodeString(RawByteString("=?ISO-8859-1?Q?caf=E9?=")),
              QStringLiteral("café"));
}

} // namespace
