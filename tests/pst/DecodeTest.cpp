// 8-bit text by code page, and plain-text renderings of HTML and RTF bodies.
#include "Body.h"
#include "CodePage.h"
#include "Objects.h"
#include "PstTestSupport.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

using namespace OutlookPst;

TEST(CodePageTest, DecodesByteStrings)
{
    const QString japanese = QStringLiteral("日本語のメール、ｶﾀｶﾅ");
    struct Case {
        int CodePage;
        const char* Hex;
        QString Text;
    } cases[] = {
        {932, "93fa967b8cea82cc8381815b838b8141b6c0b6c5", japanese},
        // Windows' mapping: wave dash and NEC row 13 as code page 932 reads them.
        {932, "81608740", QStringLiteral("～①")},
        {50220, "1b2442467c4b5c386c244e2561213c256b21221b2849364036451b2842", japanese},
        {50220, "1b244221411b2842", QStringLiteral("～")},
        {50221, "1b24422d211b2842", QStringLiteral("①")},
        {50222, "41", QStringLiteral("A")},
        {50222, "0e36400f42", QStringLiteral("ｶﾀB")},
        {50220, "1b2428443021", QStringLiteral("丂")}, // JIS X 0212
        // A line break ends the two-byte mode of a line that did not end it.
        {50220, "1b2442467c0d0a4141", QStringLiteral("日\r\nAA")},
        {51932, "c6fccbdcb8eca4cea5e1a1bca5eba1a28eb68ec08eb68ec5", japanese},
        {51932, "a1c1ada1", QStringLiteral("～①")},
        {51932, "8fb0a1", QStringLiteral("丂")},
        {1252, "636166e92080", QStringLiteral("café €")},
        {936, "d6d0cec4", QStringLiteral("中文")},
        {65001, "c3a9e697a5", QStringLiteral("é日")},
        {28591, "e9", QStringLiteral("é")},
        {0, "e9", QStringLiteral("é")}, // unknown: 1252
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeCodePage(QByteArray::fromHex(c.Hex), c.CodePage), c.Text) << c.CodePage << " " << c.Hex;
    // Bytes that are no character of the code page become U+FFFD.
    EXPECT_EQ(DecodeCodePage(QByteArray::fromHex("82"), 932), QStringLiteral("\uFFFD"));
    EXPECT_EQ(CodePageOfCharset(QStringLiteral("ISO-2022-JP")), 50220);
    EXPECT_EQ(CodePageOfCharset(QStringLiteral("Shift_JIS")), 932);
    EXPECT_EQ(CodePageOfCharset(QStringLiteral("windows-1251")), 1251);
}

TEST(CodePageTest, EightBitStringsOfAMessageUseItsCodePage)
{
    auto message = std::make_shared<MemoryMessage>();
    message->StringCodePage = 50220;
    message->Props.Set(Prop::Subject, PropType::String8,
                       QByteArray::fromHex("1b2442467c4b5c386c1b284200")); // with its terminating null
    message->Props.Set(Prop::Body, PropType::String8, QByteArray::fromHex("1b2442244e1b2842"));
    MailItemObject item(message);
    EXPECT_EQ(item.Subject(), QStringLiteral("日本語"));
    EXPECT_EQ(item.Body(), QStringLiteral("の"));
}

TEST(RtfTest, DecompressesCompressedRtf)
{
    const QByteArray compressed = QByteArray::fromHex(
        "2d0000002b0000004c5a4675f1c5c7a703000a0072637067313235423"
        "20af32068656c090020627705b06c647d0a800fa0");
    EXPECT_EQ(DecompressRtf(compressed), QByteArray("{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n"));

    QByteArray plain = QByteArray::fromHex("0b00000003000000" "4d454c41" "00000000") + "{x}";
    plain[0] = static_cast<char>(3 + 12);
    EXPECT_EQ(DecompressRtf(plain), QByteArray("{x}"));

    EXPECT_THROW(DecompressRtf(compressed.left(10)), EOleException);
    EXPECT_THROW(DecompressRtf(QByteArray::fromHex("10000000100000004142434400000000")), EOleException);
    // Cut short inside a reference: an error, nothing is read past the end.
    EXPECT_THROW(DecompressRtf(compressed.left(30)), EOleException);
    EXPECT_NO_THROW(DecompressRtf(compressed.left(29)));
}

TEST(RtfTest, TextOfRtfAndOfEncapsulatedHtml)
{
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0 MS Gothic;}}{\\*\\generator x;}\\f0 "
                           "\\'93\\'fa\\'96\\'7b\\par second\\tab x\\u12354?\\uc0\\u12356 end}";
    EXPECT_EQ(RtfToText(rtf, 1252), QStringLiteral("日本\r\nsecond\tx\u3042\u3044end"));
    const QByteArray html =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0 Arial;}}"
        "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}\\htmlrtf {\\htmlrtf0 "
        "Hello {\\*\\htmltag84 <b>}bold{\\*\\htmltag92 </b>}\\htmlrtf\\par\\htmlrtf0 "
        "{\\*\\htmltag112 <br>}caf\\'e9 &amp; more{\\*\\htmltag58 </body>}}}";
    EXPECT_EQ(RtfToHtml(html, 1252), QStringLiteral("<html><body>Hello <b>bold</b><br>café &amp; more</body>"));
    EXPECT_EQ(RtfToText(html, 1252), QStringLiteral("Hello bold\r\ncafé & more"));
    // Garbage and deep nesting end without a crash.
    EXPECT_NO_THROW(RtfToText(QByteArray(100000, '{'), 1252));
    EXPECT_NO_THROW(RtfToText("{\\rtf1 \\'", 1252));
}

TEST(HtmlTest, RendersHtmlAsText)
{
    struct Case {
        const char* Html;
        const char16_t* Text;
    } cases[] = {
        {"<p>One</p><p>Two</p>", u"One\r\n\r\nTwo"},
        {"a<br>b<br/>c", u"a\r\nb\r\nc"},
        {"<div>  lots   of\n space </div><div>x</div>", u"lots of space\r\nx"},
        {"<head><title>T</title><style>p{}</style></head><script>var a;</script><!-- c -->Body", u"Body"},
        {"&lt;tag&gt; &amp; &#x41;&#66; &nbsp;&copy; &unknown;", u"<tag> & AB © &unknown;"},
        {"<a href=\"http://example.com/\">site</a>", u"site <http://example.com/>"},
        {"<table><tr><td>a</td><td>b</td></tr></table>", u"\ta\tb"},
        {"<pre>x\n  y</pre>", u"x\r\n  y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HtmlToText(QString::fromUtf8(c.Html)), QString::fromUtf16(c.Text)) << c.Html;
    EXPECT_EQ(DecodeHtml(QByteArray("<meta charset=\"shift_jis\">\x93\xfa"), 1252), QStringLiteral("<meta charset=\"shift_jis\">日"));
}

TEST(BodyTest, HtmlOrRtfOnlyMailsGetAPlainTextBody)
{
    auto html = std::make_shared<MemoryMessage>();
    html->Props.SetBinary(Prop::Html, QByteArray("<html><body><p>\x93\xfa\x96\x7b</p></body></html>"));
    html->Props.SetInt(Prop::InternetCodePage, 932);
    EXPECT_EQ(MailItemObject(html).Body(), QStringLiteral("日本"));

    auto rtf = std::make_shared<MemoryMessage>();
    QByteArray raw = "{\\rtf1\\ansi plain \\b text\\b0\\par}";
    QByteArray value = QByteArray::fromHex("00000000000000004d454c4100000000") + raw;
    value[0] = static_cast<char>(raw.size() + 12);
    value[4] = static_cast<char>(raw.size());
    rtf->Props.SetBinary(Prop::RtfCompressed, value);
    EXPECT_EQ(MailItemObject(rtf).Body(), QStringLiteral("plain text\r\n"));

    auto both = std::make_shared<MemoryMessage>();
    both->Props.SetText(Prop::Body, QStringLiteral("the text body"));
    both->Props.SetBinary(Prop::Html, QByteArray("<p>html</p>"));
    EXPECT_EQ(MailItemObject(both).Body(), QStringLiteral("the text body"));
    EXPECT_EQ(MailItemObject(std::make_shared<MemoryMessage>()).Body(), QString());
}
