#include "support/EMail.h"

#include <gtest/gtest.h>

using MailAddressPair::ParseAddressList;
using MailAddressPair::ToCommaText;

TEST(EMailTest, MailboxText)
{
    struct Case {
        const char16_t* name;
        const char16_t* address;
        const char16_t* text;
    } cases[] = {
        {u"", u"a@example.com", u"a@example.com"},
        {u"", u"", u""},
        {u"Bob", u"", u"Bob <>"},
        {u"A@Example.com", u"a@example.com", u"<a@example.com>"},
        {u"John Smith", u"john@example.com", u"John Smith <john@example.com>"},
        {u"Smith, John", u"john@example.com", u"\"Smith, John\" <john@example.com>"},
        {u"say \"hi\"", u"x@y", u"\"say \\\"hi\\\"\" <x@y>"},
        {u"back\\slash", u"x@y", u"\"back\\\\slash\" <x@y>"},
        {u"山田 太郎", u"taro@example.jp", u"\"山田 太郎\" <taro@example.jp>"},
        {u"", u"john smith@example.com", u"<\"john smith\"@example.com>"},
        {u"", u"first.last@example.com", u"first.last@example.com"},
        {u"", u"/O=ENRON/OU=NA/CN=RECIPIENTS/CN=MLOKAY", u"/O=ENRON/OU=NA/CN=RECIPIENTS/CN=MLOKAY"},
        {u"X", u"a\"b@c", u"X <\"a\\\"b\"@c>"},
    };
    for (const Case& c : cases) {
        const auto pair = CreateMailAddressPair(QString::fromUtf16(c.name), QString::fromUtf16(c.address));
        EXPECT_EQ(pair->GetText(), QString::fromUtf16(c.text));
    }
}

TEST(EMailTest, ListTextRoundTripsThroughTheParser)
{
    const std::vector<std::pair<QString, QString>> pairs = {
        {QStringLiteral("Smith, John"), QStringLiteral("john@example.com")},
        {QStringLiteral("say \"hi\", \\ ok"), QStringLiteral("x@y.example")},
        {QStringLiteral("山田, 太郎 <営業>"), QStringLiteral("taro@example.jp")},
        {QString(), QStringLiteral("bare@example.com")},
        {QStringLiteral("No Address"), QString()},
        {QStringLiteral("Quoted Local"), QStringLiteral("a,b c@example.com")},
        {QStringLiteral("𠮷野家"), QStringLiteral("yoshi@example.jp")},
    };
    std::vector<IMailAddressPairPtr> list;
    for (const auto& [name, address] : pairs)
        list.push_back(CreateMailAddressPair(name, address));
    const QString text = ToCommaText(list);
    const auto parsed = ParseAddressList(text);
    ASSERT_EQ(parsed.size(), pairs.size()) << text.toStdString();
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(parsed[i]->GetName(), pairs[i].first) << i;
        EXPECT_EQ(parsed[i]->GetAddress(), pairs[i].second) << i;
    }
    EXPECT_TRUE(ParseAddressList(QString()).empty());
}

TEST(EMailTest, CommaTextForms)
{
    std::vector<IMailAddressPairPtr> list = {CreateMailAddressPair(QStringLiteral("A"), QStringLiteral("a@x")),
                                             CreateMailAddressPair(QString(), QStringLiteral("b@x"))};
    EXPECT_EQ(ToCommaText(list), QStringLiteral("A <a@x>, b@x"));
    EXPECT_EQ(ToCommaText(list, QStringLiteral(",")), QStringLiteral("A <a@x>, b@x"));
    EXPECT_EQ(ToCommaText(list, QStringLiteral("; ")), QStringLiteral("A <a@x>; b@x"));
    EXPECT_EQ(ToCommaText({}), QString());
}

TEST(EMailTest, PairOperations)
{
    auto a = CreateMailAddressPair(QStringLiteral("\"Smith, J\" <j@x>"));
    EXPECT_EQ(a->GetName(), QStringLiteral("Smith, J"));
    EXPECT_EQ(a->GetAddress(), QStringLiteral("j@x"));
    auto b = a->Clone();
    EXPECT_TRUE(a->Equal(*b));
    b->SetAddress(QStringLiteral("J@x"));
    EXPECT_TRUE(a->NotEqual(*b));
    EXPECT_EQ(CreateMailAddressPair(QStringLiteral("plain@x"))->GetName(), QString());
}
