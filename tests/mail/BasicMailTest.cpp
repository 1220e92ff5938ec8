#include "TestSupport.h"
#include "fake/FakeAutomation.h"
#include "mail/OutlookMail.h"
#include "runtime/Exception.h"
#include "runtime/Locale.h"

#include <gtest/gtest.h>

using Fake::FakeOutlook;
using Fake::MailSpec;

namespace {

class BasicMailTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatLocale(QLocale::c()); }
    void TearDown() override { SetFormatLocale(QLocale::system()); }

    TOutlookMail Mail(const MailSpec& spec)
    {
        return TOutlookMail(Outlook::TMailItem(Automation::OleRef(Object(spec))));
    }
    Fake::FakePtr Object(const MailSpec& spec)
    {
        FLast = Fake.MakeMail(spec, QStringLiteral("m"));
        return FLast;
    }

    FakeOutlook Fake;
    Fake::FakePtr FLast;
};

} // namespace

TEST_F(BasicMailTest, HeadersHoldElevenKeysReadOnce)
{
    TestSupport::ScopedTimeZone tz("Europe/Berlin"); // the zone text does not follow the machine
    MailSpec spec;
    spec.SenderName = QStringLiteral("Sender");
    spec.SenderEmailAddress = QStringLiteral("s@example.com");
    spec.SentOn = EncodeDateTime(2014, 1, 5, 9, 3, 7);
    spec.ReceivedTime = EncodeDateTime(2014, 1, 5, 9, 3, 8);
    spec.Importance = 2;
    spec.EntryID = QStringLiteral("00AB");
    TOutlookMail mail = Mail(spec);
    const THeaderTable expected = {
        {QStringLiteral("BCC:"), {QString()}},
        {QStringLiteral("CC:"), {QString()}},
        {QStringLiteral("DATE:"), {QStringLiteral("Sun, 05 Jan 2014 09:03:07 +0900")}},
        {QStringLiteral("ENTRY-ID:"), {QStringLiteral("00AB")}},
        {QStringLiteral("FROM:"), {QStringLiteral("Sender <s@example.com>")}},
        {QStringLiteral("IMPORTANCE:"), {QStringLiteral("High")}},
        {QStringLiteral("REPLY-TO:"), {QString()}},
        {QStringLiteral("SENSITIVITY:"), {QString()}},
        {QStringLiteral("SUBJECT:"), {QString()}},
        {QStringLiteral("TO:"), {QString()}},
        {QStringLiteral("X-RECEIVEDTIME:"), {QStringLiteral("2014/01/05 09:03:08")}},
    };
    EXPECT_EQ(mail.GetHeaders(), expected);
    EXPECT_EQ(mail.GetHeaders(), expected);
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("Subject")), 1);
    EXPECT_EQ(mail.GetHeadersWithAttachments(), expected);
}

TEST_F(BasicMailTest, AFailedReadKeepsNothing)
{
    TOutlookMail mail = Mail(MailSpec());
    FLast->Fail(QStringLiteral("EntryID"));
    EXPECT_THROW(mail.GetHeaders(), EOleException);
    FLast->Unfail(QStringLiteral("EntryID"));
    EXPECT_EQ(mail.GetHeaders().size(), 11u);
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("Subject")), 2);
}

TEST_F(BasicMailTest, AttachmentNamesComeLastAndAreReadEveryTime)
{
    MailSpec spec;
    spec.Attachments = {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.pdf"), "b"}};
    TOutlookMail mail = Mail(spec);
    const THeaderTable table = mail.GetHeadersWithAttachments();
    ASSERT_EQ(table.size(), 12u);
    EXPECT_EQ(std::prev(table.end())->first, TBasicMail::AttachmentKey());
    EXPECT_EQ(TBasicMail::AttachmentKey(), QStringLiteral("[添付ファイル名]:"));
    EXPECT_EQ(table.at(TBasicMail::AttachmentKey()),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.pdf")}));
    mail.GetAttachmentNames();
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("Attachments")), 2);
    EXPECT_TRUE(mail.GetRawText().isEmpty());
    EXPECT_TRUE(mail.GetHtmlBody().isEmpty());
    EXPECT_TRUE(mail.GetAttachmentData().empty());
}

TEST_F(BasicMailTest, BodyLines)
{
    const struct {
        const char16_t* body;
        QStringList lines;
    } cases[] = {
        {u"A\r\nB\r\n", {QStringLiteral("A"), QStringLiteral("B")}},
        {u"A\n\nB", {QStringLiteral("A"), QString(), QStringLiteral("B")}},
        {u"A\rB\r\r\n", {QStringLiteral("A"), QStringLiteral("B"), QString()}},
        {u"\r\n", {QString()}},
    };
    for (const auto& c : cases) {
        MailSpec spec;
        spec.Body = QString::fromUtf16(c.body);
        TOutlookMail mail = Mail(spec);
        EXPECT_EQ(mail.GetBodyLines(), c.lines);
        Fake.Log.Clear();
        EXPECT_EQ(mail.GetBodyLines(), c.lines);
        EXPECT_EQ(Fake.Log.Count(QStringLiteral("Body")), 0);
    }
    // An empty body is read again at the next call.
    TOutlookMail empty = Mail(MailSpec());
    EXPECT_TRUE(empty.GetBodyLines().isEmpty());
    EXPECT_TRUE(empty.GetBodyLines().isEmpty());
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("Body")), 2);
}
