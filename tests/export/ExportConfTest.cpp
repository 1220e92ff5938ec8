#include "export/ExportConf.h"

#include <gtest/gtest.h>

TEST(ExportConfTest, TypesGiveLabelExtensionAndInitialFormat)
{
    struct Case {
        int type;
        const char16_t* label;
        const char16_t* extension;
        const char16_t* format;
    } cases[] = {
        {0, u"Outlook メッセージ形式 (.msg)", u".msg", u"<n>.msg"},
        {1, u"テキスト形式 (.txt)", u".txt", u"<n>.txt"},
        {2, u"eml形式 (.eml) 添付ファイルなし", u".eml", u"<n>.eml"},
        {3, u"eml形式 (.eml) 添付ファイルあり", u".eml", u"<n>.eml"},
        {7, u"", u"", u"<n>.eml"},
        {-1, u"", u"", u"<n>.eml"},
    };
    for (const Case& c : cases) {
        const TExportConf conf(c.type);
        EXPECT_EQ(conf.GetExportType(), c.type);
        EXPECT_EQ(conf.GetTypeName(), QString::fromUtf16(c.label)) << c.type;
        EXPECT_EQ(TExportConf::GetTypeName(c.type), QString::fromUtf16(c.label)) << c.type;
        EXPECT_EQ(conf.GetExtension(), QString::fromUtf16(c.extension)) << c.type;
        EXPECT_EQ(conf.GetEmlFormat(), QString::fromUtf16(c.format)) << c.type;
        EXPECT_EQ(conf.GetEmlNameType(), 0);
        EXPECT_EQ(conf.GetEmlDigit(), 1);
    }
}

TEST(ExportConfTest, NameTypeAcceptsOnlyTheThreeRules)
{
    TExportEmlConf conf;
    conf.SetEmlNameType(3);
    conf.SetEmlNameType(-1);
    EXPECT_EQ(conf.GetEmlNameType(), 0);
    conf.SetEmlNameType(2);
    EXPECT_EQ(conf.GetEmlNameType(), 2);
    conf.SetEmlDigit(0);
    EXPECT_EQ(conf.GetEmlDigit(), 0);
    conf.SetEmlDigit(12);
    EXPECT_EQ(conf.GetEmlDigit(), 12);
}

TEST(ExportConfTest, CopiesCarryEveryField)
{
    TExportConf source(1);
    source.SetEmlNameType(2);
    source.SetEmlFormat(QStringLiteral("受付番号:"));
    source.SetEmlDigit(4);
    source.SetEmlSaveDir(QStringLiteral("/tmp/out"));
    source.SetEmlMakeDir(true);
    source.SetEmlTimeStamp(true);
    source.SetEmlUseParamRegexp(true);
    source.SetEmlSkipSameMail(true);
    source.SetEmlAttachedFileDir(QStringLiteral("/tmp/att"));

    const TExportEmlConf plain(source);
    const TExportConf copy = source;
    for (const TExportEmlConf* c : {&plain, static_cast<const TExportEmlConf*>(&copy)}) {
        EXPECT_EQ(c->GetEmlNameType(), 2);
        EXPECT_EQ(c->GetEmlFormat(), QStringLiteral("受付番号:"));
        EXPECT_EQ(c->GetEmlDigit(), 4);
        EXPECT_EQ(c->GetEmlSaveDir(), QStringLiteral("/tmp/out"));
        EXPECT_TRUE(c->GetEmlMakeDir());
        EXPECT_TRUE(c->GetEmlTimeStamp());
        EXPECT_TRUE(c->GetEmlUseParamRegexp());
        EXPECT_TRUE(c->GetEmlSkipSameMail());
        EXPECT_EQ(c->GetEmlAttachedFileDir(), QStringLiteral("/tmp/att"));
    }
    EXPECT_EQ(copy.GetExportType(), 1);
}
