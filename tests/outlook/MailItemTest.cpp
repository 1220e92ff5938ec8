#include "fake/FakeAutomation.h"
#include "outlook/MailItem.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

using Fake::FakeOutlook;
using Fake::MailSpec;
using Outlook::TMailItem;

namespace {

QStringList Names(const std::vector<IMailAddressPairPtr>& list)
{
    QStringList out;
    for (const auto& p : list)
        out << p->GetName() + QLatin1Char('/') + p->GetAddress();
    return out;
}

} // namespace

TEST(MailItemTest, RecipientSplit)
{
    struct Case {
        QString to, cc, bcc;
        std::vector<Fake::RecipientSpec> recipients;
        QStringList toList, ccList, bccList;
    } cases[] = {
        {QStringLiteral("A; B"), QString(), QString(),
         {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("B"), QStringLiteral("2")}},
         {QStringLiteral("A/1"), QStringLiteral("B/2")}, {}, {}},
        {QStringLiteral("A; A"), QString(), QString(),
         {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("A"), QStringLiteral("2")}},
         {QStringLiteral("A/1"), QStringLiteral("A/2")}, {}, {}},
        // Same name once in To and once in CC: one each, in recipient order.
        {QStringLiteral("A"), QStringLiteral("A"), QString(),
         {{QStringLiteral("A"), QStringLiteral("1")}, {QStringLiteral("A"), QStringLiteral("2")}},
         {QStringLiteral("A/1")}, {QStringLiteral("A/2")}, {}},
        // Unlisted recipient and a name without recipient are dropped; matching is exact.
        {QStringLiteral("Ghost; b"), QString(), QStringLiteral("C"),
         {{QStringLiteral("B"), QStringLiteral("2")}, {QStringLiteral("C"), QStringLiteral("3")},
          {QStringLiteral("D"), QStringLiteral("4")}},
         {}, {}, {QStringLiteral("C/3")}},
        // An empty To text is one empty piece: it matches a recipient with no name.
        {QString(), QString(), QString(), {{QString(), QStringLiteral("x@y")}}, {QStringLiteral("/x@y")}, {}, {}},
    };
    for (const Case& c : cases) {
        FakeOutlook fake;
        MailSpec spec;
        spec.To = c.to;
        spec.CC = c.cc;
        spec.BCC = c.bcc;
        spec.Recipients = c.recipients;
        TMailItem item(Automation::OleRef(fake.MakeMail(spec, QStringLiteral("m"))));
        EXPECT_EQ(Names(item.GetToList()), c.toList) << c.to.toStdString();
        EXPECT_EQ(Names(item.GetCcList()), c.ccList) << c.to.toStdString();
        EXPECT_EQ(Names(item.GetBccList()), c.bccList) << c.to.toStdString();
    }
}

TEST(MailItemTest, SplitIsDoneOncePerItemAndRetriedAfterAFailure)
{
    FakeOutlook fake;
    MailSpec spec;
    spec.To = QStringLiteral("Smith, John");
    spec.CC = QStringLiteral("山田");
    spec.Recipients = {{QStringLiteral("Smith, John"), QStringLiteral("john@example.com")},
                       {QStringLiteral("山田"), QStringLiteral("yamada@example.jp")}};
    auto object = fake.MakeMail(spec, QStringLiteral("m"));
    object->Fail(QStringLiteral("BCC"));
    TMailItem item{Automation::OleRef(object)};
    EXPECT_THROW(item.GetTo(), EOleException);
    object->Unfail(QStringLiteral("BCC"));
    fake.Log.Clear();
    EXPECT_EQ(item.GetTo(), QStringLiteral("\"Smith, John\" <john@example.com>"));
    EXPECT_EQ(item.GetCc(), QStringLiteral("\"山田\" <yamada@example.jp>"));
    EXPECT_EQ(item.GetBcc(), QString());
    EXPECT_EQ(fake.Log.Count(QStringLiteral("To")), 1);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Recipients")), 1);

    // A copy made after the split answers without Outlook; a fresh value splits again.
    TMailItem copy = item;
    fake.Log.Clear();
    copy.GetCcList();
    EXPECT_EQ(fake.Log.Total(), 0);
    TMailItem fresh{Automation::OleRef(object)};
    fresh.GetCcList();
    EXPECT_EQ(fake.Log.Count(QStringLiteral("To")), 1);
}

TEST(MailItemTest, SenderFallsBackToTheReplysRecipient)
{
    FakeOutlook fake;
    MailSpec spec;
    spec.SenderName = QStringLiteral("Sender");
    spec.SenderEmailAddress = QStringLiteral("sender@example.com");
    auto object = fake.MakeMail(spec, QStringLiteral("m"));
    TMailItem item{Automation::OleRef(object)};
    EXPECT_EQ(item.GetFrom(), QStringLiteral("Sender <sender@example.com>"));
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Reply")), 0);

    object->Fail(QStringLiteral("SenderName")).Fail(QStringLiteral("SenderEmailAddress"));
    EXPECT_EQ(item.GetSenderName(), QStringLiteral("Sender"));
    EXPECT_EQ(item.GetSenderEmailAddress(), QStringLiteral("sender@example.com"));
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Reply")), 2);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("SaveAs")), 0);

    object->Fail(QStringLiteral("Reply"));
    EXPECT_EQ(item.GetSenderName(), QString());
    EXPECT_EQ(item.GetSenderEmailAddress(), QString());

    // An empty name is returned as it is, with no reply made.
    MailSpec empty;
    TMailItem quiet{Automation::OleRef(fake.MakeMail(empty, QStringLiteral("e")))};
    fake.Log.Clear();
    EXPECT_EQ(quiet.GetSenderName(), QString());
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Reply")), 0);
}

TEST(MailItemTest, ReplyWithoutRecipientsGivesAnEmptySender)
{
    FakeOutlook fake;
    auto object = fake.MakeMail(MailSpec(), QStringLiteral("m"));
    auto reply = fake.MakeMail(MailSpec(), QStringLiteral("r"));
    reply->Set(QStringLiteral("Recipients"),
               Automation::Variant(Fake::MakeCollection(fake.Log, QStringLiteral("none"),
                                                        std::make_shared<std::vector<Automation::DispatchPtr>>())));
    object->Fail(QStringLiteral("SenderName")).Set(QStringLiteral("Reply"), Automation::Variant(reply));
    EXPECT_EQ(TMailItem(Automation::OleRef(object)).GetSenderName(), QString());
}

TEST(MailItemTest, ImportanceAndSensitivityTexts)
{
    const char16_t* importance[] = {u"Low", u"Normal", u"High", u"", u"", u""};
    const char16_t* sensitivity[] = {u"", u"Personal", u"Private", u"Company-Confidential", u"", u""};
    const qint32 values[] = {0, 1, 2, 3, 5, -1};
    FakeOutlook fake;
    for (int i = 0; i < 6; ++i) {
        MailSpec spec;
        spec.Importance = values[i];
        spec.Sensitivity = values[i];
        TMailItem item{Automation::OleRef(fake.MakeMail(spec, QStringLiteral("m")))};
        EXPECT_EQ(item.GetImportance(), QString::fromUtf16(importance[i])) << values[i];
        EXPECT_EQ(item.GetSensitivity(), QString::fromUtf16(sensitivity[i])) << values[i];
    }
}

TEST(MailItemTest, SaveAsPassesOnlyKnownFormats)
{
    FakeOutlook fake;
    TMailItem item{Automation::OleRef(fake.MakeMail(MailSpec(), QStringLiteral("m")))};
    item.SaveAs(QStringLiteral("/nonexistent/a"), 8);
    item.SaveAs(QStringLiteral("/nonexistent/a"), -1);
    EXPECT_EQ(fake.Log.Count(QStringLiteral("SaveAs")), 0);
    EXPECT_THROW(item.SaveAs(QStringLiteral("/nonexistent/a.msg"), 3), EOleException);
    ASSERT_EQ(fake.SavedAs.size(), 1u);
    EXPECT_EQ(fake.SavedAs[0].second, 3);
}

TEST(MailItemTest, PlainReadsAskOutlookEveryTime)
{
    FakeOutlook fake;
    MailSpec spec;
    spec.Subject = QStringLiteral("件名");
    spec.SentOn = 41644.5;
    spec.Attachments = {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.pdf"), "b"}};
    TMailItem item{Automation::OleRef(fake.MakeMail(spec, QStringLiteral("m")))};
    EXPECT_EQ(item.GetSubject(), QStringLiteral("件名"));
    EXPECT_EQ(item.GetSubject(), QStringLiteral("件名"));
    EXPECT_EQ(fake.Log.Count(QStringLiteral("Subject")), 2);
    EXPECT_DOUBLE_EQ(item.GetSentOn(), 41644.5);
    const auto attachments = item.GetAttachments();
    ASSERT_EQ(attachments.size(), 2u);
    EXPECT_EQ(attachments[1].GetFileName(), QStringLiteral("b.pdf"));
}
