// The awkward mails: every file written goes through Python's email package.
#include "MailTestSupport.h"
#include "TestSupport.h"
#include "mail/OutlookMail.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <QRandomGenerator>

using Fake::AttachmentSpec;
using Fake::MailSpec;
using MailTest::MailFixture;

namespace {

struct Mailbox {
    QString name, address;
};

struct AwkwardMail {
    const char* label;
    int type;
    Mailbox sender;
    QString subject;
    QString body;
    std::vector<Mailbox> to, cc, bcc;
    std::vector<AttachmentSpec> attachments;
    int sent[6]; // year, month, day, hour, minute, second
    qint32 importance = 1;
    qint32 sensitivity = 0;
};

QString Repeat(const QString& text, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(size, Qt::Uninitialized);
    for (char& c : data)
        c = static_cast<char>(random.bounded(256));
    return data;
}

// The To, CC or BCC text the mail item carries for these recipients, and the
// recipients themselves.
QString Names(const std::vector<Mailbox>& list, std::vector<Fake::RecipientSpec>& recipients)
{
    QStringList names;
    for (const Mailbox& m : list) {
        names << m.name;
        recipients.push_back({m.name, m.address});
    }
    return names.join(QStringLiteral("; "));
}

QJsonArray Pairs(const std::vector<Mailbox>& list)
{
    QJsonArray out;
    for (const Mailbox& m : list)
        out.append(QJsonArray{m.name, m.address});
    return out;
}

const char16_t* kImportance[] = {u"Low", u"Normal", u"High", u""};
const char16_t* kSensitivity[] = {u"", u"Personal", u"Private", u"Company-Confidential"};

} // namespace

class EmlWriterTest : public MailFixture {};

TEST_F(EmlWriterTest, AwkwardMailsPassThePythonCheck)
{
    // Date fields in both daylight-saving seasons.
    TestSupport::ScopedTimeZone tz("Europe/Berlin");
    const QString pairs = Repeat(QStringLiteral("𠮷𩸽𠀋𡈽𡌛𡑮𡢽𠮟𡚴𡸴"), 3);
    const AwkwardMail mails[] = {
        {"japanese",
         3,
         {QStringLiteral("山田 太郎"), QStringLiteral("taro@example.jp")},
         QStringLiteral("【重要】来週の定例会議の議題と資料について（第３回）ご確認をお願いします"),
         QStringLiteral("お疲れ様です。\r\n資料を添付します。\r\n\r\nよろしくお願いします。\r\n"),
         {{QStringLiteral("佐藤 花子"), QStringLiteral("hanako@example.jp")},
          {QStringLiteral("鈴木一郎"), QStringLiteral("ichiro@example.co.jp")}},
         {{QStringLiteral("営業部, 東京 <本社>"), QStringLiteral("sales@example.jp")}},
         {},
         {{QStringLiteral("議事録（第３回）.txt"), QStringLiteral("議事録の本文\r\n").toUtf8()}},
         {2014, 1, 5, 9, 3, 7},
         2,
         3},
        {"punctuation",
         2,
         {QStringLiteral("Smith, \"JJ\" \\ John"), QStringLiteral("john.smith@example.com")},
         QStringLiteral("  Re: [list] \"quotes\" \\ and =?x?= double  spaces "),
         QStringLiteral("line 1\r\nline 2\nline 3\r\n"),
         {{QStringLiteral("Doe, Jane"), QStringLiteral("jane@example.com")},
          {QStringLiteral("say \"hi\""), QStringLiteral("hi@example.com")},
          {QStringLiteral("back\\slash"), QStringLiteral("bs@example.com")},
          {QStringLiteral("O'Brien"), QStringLiteral("ob@example.com")}},
         {{QString(), QStringLiteral("bare@example.com")},
          {QStringLiteral("Quoted Local"), QStringLiteral("john smith@example.com")},
          {QStringLiteral("No Address"), QString()}},
         {{QStringLiteral("=?UTF-8?B?not-a-word?="), QStringLiteral("x@example.com")},
          {QStringLiteral(
               "A very long ASCII display name, which will never fit on one header line at all"),
           QStringLiteral("long@example.com")}},
         {},
         {2014, 7, 5, 23, 59, 59},
         0,
         1},
        {"empty", 2, {}, QString(), QString(), {}, {}, {}, {}, {2014, 3, 30, 3, 0, 0}, 3, 0},
        {"empty-multipart",
         3,
         {QString(), QStringLiteral("only@example.com")},
         QString(),
         QString(),
         {},
         {},
         {},
         {{QStringLiteral("empty.bin"), QByteArray()}},
         {2013, 10, 27, 12, 30, 0},
         1,
         2},
        {"large",
         3,
         {QStringLiteral("Sender"), QStringLiteral("sender@example.com")},
         QStringLiteral("Big files"),
         QStringLiteral("See the attachments."),
         {{QStringLiteral("R"), QStringLiteral("r@example.com")}},
         {},
         {},
         {{QStringLiteral("zero.dat"), QByteArray()},
          {QStringLiteral("big.bin"), RandomBytes(3 * 1024 * 1024 + 1, 7)},
          {QStringLiteral("odd.bin"), RandomBytes(57 * 3 + 2, 8)}},
         {2015, 12, 31, 23, 0, 0},
         1,
         0},
        {"same-names",
         3,
         {QStringLiteral("Sender"), QStringLiteral("sender@example.com")},
         QStringLiteral("同じ名前の添付"),
         QStringLiteral("二つ"),
         {{QStringLiteral("R"), QStringLiteral("r@example.com")}},
         {},
         {},
         {{QStringLiteral("同じ名前.pdf"), QByteArray("first")},
          {QStringLiteral("同じ名前.pdf"), QByteArray("second")}},
         {2016, 6, 1, 12, 0, 0},
         1,
         0},
        {"surrogates",
         3,
         {pairs, QStringLiteral("kanji@example.jp")},
         pairs,
         pairs + QStringLiteral("\r\n"),
         {{pairs, QStringLiteral("to@example.jp")}},
         {},
         {{pairs.left(2), QStringLiteral("bcc@example.jp")}},
         {{pairs, QByteArray("kanji")}},
         {2016, 2, 29, 8, 0, 0},
         1,
         0},
        {"type-2-with-attachments",
         2,
         {QStringLiteral("Sender"), QStringLiteral("sender@example.com")},
         QStringLiteral("No attachments written"),
         QStringLiteral("body"),
         {},
         {},
         {},
         {{QStringLiteral("a.txt"), QByteArray("a")}},
         {2016, 6, 1, 12, 0, 0},
         1,
         0},
        {"file-names",
         3,
         {QStringLiteral("Sender"), QStringLiteral("sender@example.com")},
         QStringLiteral("File names"),
         QStringLiteral("body"),
         {},
         {},
         {},
         {{QStringLiteral("a very long file name with spaces and ASCII characters only that goes "
                          "past a line.txt"),
           QByteArray("long")},
          {QStringLiteral("quote\"and\\back;slash=x.txt"), QByteArray("quote")},
          {QStringLiteral("=?UTF-8?B?YQ==?=.txt"), QByteArray("word")},
          {QStringLiteral("résumé 100%.doc"), QByteArray("latin")}},
         {2016, 6, 1, 12, 0, 0},
         1,
         0},
    };

    QJsonArray cases;
    int written = 0;
    for (const AwkwardMail& m : mails) {
        MailSpec spec;
        spec.Subject = m.subject;
        spec.Body = m.body;
        spec.SenderName = m.sender.name;
        spec.SenderEmailAddress = m.sender.address;
        spec.To = Names(m.to, spec.Recipients);
        spec.CC = Names(m.cc, spec.Recipients);
        spec.BCC = Names(m.bcc, spec.Recipients);
        spec.Attachments = m.attachments;
        spec.SentOn =
            EncodeDateTime(m.sent[0], m.sent[1], m.sent[2], m.sent[3], m.sent[4], m.sent[5]);
        spec.ReceivedTime = EncodeDateTime(2014, 1, 5, 9, 3, 7);
        spec.Importance = m.importance;
        spec.Sensitivity = m.sensitivity;
        const QString path =
            Out + QLatin1Char('/') + QString::fromLatin1(m.label) + QStringLiteral(".eml");
        Write(path, "an older file in the way");
        TOutlookMail(Item(spec, QString::fromLatin1(m.label))).Save(path, m.type);
        ++written;

        const bool multipart = m.type == 3 && !m.attachments.empty();
        QJsonArray attachments;
        if (multipart) {
            for (const AttachmentSpec& a : m.attachments)
                attachments.append(QJsonObject{
                    {QStringLiteral("filename"), a.FileName},
                    {QStringLiteral("size"), a.Data.size()},
                    {QStringLiteral("sha256"),
                     QString::fromLatin1(
                         QCryptographicHash::hash(a.Data, QCryptographicHash::Sha256).toHex())}});
        }
        QJsonValue from = QJsonValue::Null;
        if (!m.sender.name.isEmpty() || !m.sender.address.isEmpty())
            from = QJsonArray{m.sender.name, m.sender.address};
        cases.append(QJsonObject{
            {QStringLiteral("path"), path},
            {QStringLiteral("multipart"), multipart},
            {QStringLiteral("from"), from},
            {QStringLiteral("to"), Pairs(m.to)},
            {QStringLiteral("cc"), Pairs(m.cc)},
            {QStringLiteral("bcc"), Pairs(m.bcc)},
            {QStringLiteral("subject"), m.subject},
            {QStringLiteral("date"),
             QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", m.sent[0], m.sent[1], m.sent[2],
                               m.sent[3], m.sent[4], m.sent[5])},
            {QStringLiteral("importance"), QString::fromUtf16(kImportance[m.importance])},
            {QStringLiteral("received"), QStringLiteral("2014/01/05 09:03:07")},
            {QStringLiteral("sensitivity"), QString::fromUtf16(kSensitivity[m.sensitivity])},
            {QStringLiteral("body"), m.body},
            {QStringLiteral("attachments"), attachments},
        });
    }
    EXPECT_EQ(MailTest::CheckWithPython(cases).toStdString(), "");
    // Nothing was left beside the files, and no temporary folder stayed.
    EXPECT_EQ(Entries(Out).size(), written);
    EXPECT_TRUE(Entries(Tmp).isEmpty());
    // A type-2 save of a mail with attachments saves none of them.
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("SaveAsFile"),
                             QStringLiteral("type-2-with-attachments:attachment1")),
              0);
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("SaveAsFile"), QStringLiteral("large:attachment3")), 1);
}
