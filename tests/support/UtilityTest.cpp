#include "support/StringSeparator.h"
#include "support/Utility.h"

#include <gtest/gtest.h>

TEST(UtilityTest, Split)
{
    const QString sep = QStringLiteral("; ");
    struct Case {
        QString text;
        bool ret;
        QStringList pieces;
    } cases[] = {
        {QStringLiteral("A; B"), false, {QStringLiteral("A"), QStringLiteral("B")}},
        {QStringLiteral("A; "), false, {QStringLiteral("A"), QString()}},
        {QString(), false, {QString()}},
        {QStringLiteral("AB"), false, {QStringLiteral("AB")}},
        {QStringLiteral("A; ; B"), false, {QStringLiteral("A"), QString(), QStringLiteral("B")}},
        {QStringLiteral("A; ; B"), true, {QStringLiteral("A; "), QStringLiteral("; "), QStringLiteral("B")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TUtility::Split(c.text, sep, c.ret), c.pieces) << c.text.toStdString();
    EXPECT_EQ(TUtility::Split(QStringLiteral("A; B"), QString(), false), QStringList{QStringLiteral("A; B")});
}

TEST(UtilityTest, StringSeparator)
{
    TStringSeparator path(QStringLiteral("\\A\\\\B\\"), QStringLiteral("\\"));
    ASSERT_EQ(path.GetCount(), 2);
    EXPECT_EQ(path.GetItem(0), QStringLiteral("A"));
    EXPECT_EQ(path.GetItem(1), QStringLiteral("B"));
    EXPECT_EQ(TStringSeparator(QString(), QStringLiteral("\\")).GetCount(), 0);
    EXPECT_EQ(TStringSeparator(QStringLiteral("\\\\"), QStringLiteral("\\")).GetCount(), 0);
    EXPECT_EQ(TStringSeparator(QStringLiteral("a b"), QString()).Items(), QStringList{QStringLiteral("a b")});
    EXPECT_EQ(TStringSeparator(QStringLiteral("a,b;c"), QStringLiteral(",;")).GetCount(), 3);
}
