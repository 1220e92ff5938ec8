#include "mail/MimeComposer.h"
#include "mail/MimeHeader.h"
#include "runtime/Exception.h"

#include <QSet>
#include <QStringDecoder>
#include <cctype>
#include <gtest/gtest.h>

namespace {

// The text of one "=?UTF-8?B?...?=" word, which must be valid UTF-8 on its own.
QString DecodeWord(const QByteArray& word, bool* valid)
{
    const QByteArray prefix = "=?UTF-8?B?";
    *valid = word.startsWith(prefix) && word.endsWith("?=");
    const QByteArray bytes =
        QByteArray::fromBase64(word.mid(prefix.size(), word.size() - prefix.size() - 2));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    *valid = *valid && !decoder.hasError();
    return text;
}

} // namespace

TEST(MimeHeaderTest, EncodedWordsHoldWholeCodePoints)
{
    QString mixed;
    for (int i = 0; i < 40; ++i)
        mixed += QStringLiteral("a漢𠮷é");
    const QString texts[] = {mixed, QString(100, QChar(0x3042)), QString(200, QLatin1Char('x')),
                             QStringLiteral("𠮷").repeated(50), QStringLiteral("短い")};
    for (const QString& text : texts) {
        for (int first : {20, 40, 75}) {
            const QByteArrayList words = Mime::EncodeWords(text, first);
            QString joined;
            for (qsizetype i = 0; i < words.size(); ++i) {
                EXPECT_LE(words[i].size(), i == 0 ? first : Mime::kMaxEncodedWordLength);
                bool valid = false;
                joined += DecodeWord(words[i], &valid);
                EXPECT_TRUE(valid) << words[i].constData();
            }
            EXPECT_EQ(joined, text);
        }
    }
}

TEST(MimeHeaderTest, FoldedLinesStayWithin78Columns)
{
    Mime::THeaderLine subject("X-A-Rather-Long-Header-Name");
    subject.AddText(QStringLiteral("日本語の件名").repeated(10));
    Mime::THeaderLine plain("Subject");
    plain.AddText(QStringLiteral("word ").repeated(40).trimmed());
    Mime::THeaderLine to("To");
    for (int i = 0; i < 6; ++i) {
        to.AddMailbox(QStringLiteral("名前 %1").arg(i), QStringLiteral("user%1@example.com").arg(i),
                      1);
        to.Append(",");
    }
    Mime::THeaderLine type("Content-Type");
    type.AddToken("application/octet-stream", 1);
    type.AddParameter(QStringLiteral("name"), QStringLiteral("𠮷").repeated(40));
    for (Mime::THeaderLine* line : {&subject, &plain, &to, &type}) {
        const QByteArray field = line->Finish();
        ASSERT_TRUE(field.endsWith("\r\n"));
        const QList<QByteArray> lines = field.chopped(2).split('\n');
        EXPECT_GT(lines.size(), 1);
        for (QByteArray l : lines) {
            if (l.endsWith('\r'))
                l.chop(1);
            EXPECT_LE(l.size(), Mime::kMaxLineLength) << l.constData();
        }
    }
    // Plain words come back unchanged when the field is unfolded.
    EXPECT_EQ(plain.Finish().replace("\r\n ", " "),
              "Subject: " + QStringLiteral("word ").repeated(40).trimmed().toLatin1() + "\r\n");
}

TEST(MimeHeaderTest, AddrSpecQuotesWhatIsNotADotAtom)
{
    EXPECT_EQ(Mime::AddrSpec(QStringLiteral("first.last@example.com")), "first.last@example.com");
    EXPECT_EQ(Mime::AddrSpec(QStringLiteral("a.b c@x")), "\"a.b c\"@x");
    EXPECT_EQ(Mime::AddrSpec(QStringLiteral(".a@x")), "\".a\"@x");
    EXPECT_EQ(Mime::AddrSpec(QStringLiteral("a\"b\\c@x")), "\"a\\\"b\\\\c\"@x");
    EXPECT_EQ(Mime::AddrSpec(QStringLiteral("in\r\njected@x")), "injected@x");
}

TEST(MimeComposerTest, BoundariesAreNewEachTimeAndOfTheirForm)
{
    QSet<QByteArray> seen;
    for (int i = 0; i < 200; ++i) {
        const QByteArray b = Mime::MakeBoundary();
        ASSERT_EQ(b.size(), 34);
        const qsizetype at = b.indexOf('=');
        EXPECT_GE(at, 0);
        EXPECT_LE(at, 32);
        EXPECT_EQ(b[at + 1], '_');
        for (qsizetype k = 0; k < b.size(); ++k) {
            if (k != at && k != at + 1) {
                EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(b[k]))) << b.constData();
            }
        }
        seen.insert(b);
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(MimeComposerTest, HeaderEncodingComesFromTheCallback)
{
    Mime::TMimeMessage message;
    message.SetSubject(QStringLiteral("件名"));
    QByteArray out;
    message.SetOnInitializeISO([](QChar& encoding, QString&) { encoding = QLatin1Char('Q'); });
    EXPECT_THROW(message.SaveTo([&out](QByteArrayView data) { out += data; }), Exception);
    EXPECT_TRUE(out.isEmpty());
    message.SetOnInitializeISO([](QChar& encoding, QString& charSet) {
        EXPECT_EQ(encoding, QLatin1Char('B'));
        EXPECT_EQ(charSet, QStringLiteral("UTF-8"));
    });
    message.SaveTo([&out](QByteArrayView data) { out += data; });
    EXPECT_TRUE(out.startsWith(
        "Subject: =?UTF-8?B?5Lu25ZCN?=\r\nContent-Type: text/plain; charset=UTF-8\r\n"))
        << out.constData();
    EXPECT_TRUE(out.endsWith("\r\n\r\n.\r\n")) << out.constData();
}
