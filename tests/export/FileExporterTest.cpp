#include "export/FileExporter.h"
#include "TestSupport.h"
#include "export/ExportConf.h"
#include "export/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString Next(TFileExporter& exporter)
{
    return exporter.GetSaveName(QStringLiteral("D/"), QString(), QString());
}

} // namespace

TEST(FileExporterTest, RuleIsKeptUntilTheNameTypeChanges)
{
    TFileExporter exporter;
    exporter.SetFormat(QStringLiteral("<n>.txt"));
    exporter.SetDigit(2);
    EXPECT_EQ(Next(exporter), QStringLiteral("D/01.txt"));
    EXPECT_EQ(Next(exporter), QStringLiteral("D/02.txt"));
    exporter.SetNameType(0);
    exporter.SetNameType(5);
    exporter.SetNameType(-1);
    EXPECT_EQ(Next(exporter), QStringLiteral("D/03.txt"));
    // The settings are read on every call.
    exporter.SetFormat(QStringLiteral("<n>.eml"));
    exporter.SetDigit(1);
    EXPECT_EQ(Next(exporter), QStringLiteral("D/4.eml"));
    exporter.SetNameType(1);
    exporter.SetNameType(0);
    EXPECT_EQ(Next(exporter), QStringLiteral("D/1.eml"));
}

TEST(FileExporterTest, ApplyExportConfWiresEachRule)
{
    TExportConf conf(1);
    conf.SetEmlDigit(3);
    TFileExporter sequence;
    ApplyExportConf(sequence, conf);
    EXPECT_EQ(sequence.GetFormat(), QStringLiteral("<n>.txt"));
    EXPECT_EQ(sequence.GetPlainFormat(), QStringLiteral("<s>.txt"));
    EXPECT_EQ(sequence.GetDigit(), 3);
    EXPECT_EQ(Next(sequence), QStringLiteral("D/001.txt"));

    conf.SetEmlNameType(2);
    conf.SetEmlFormat(QStringLiteral("ID="));
    conf.SetEmlUseParamRegexp(true);
    TFileExporter parameter;
    ApplyExportConf(parameter, conf);
    EXPECT_EQ(parameter.GetParameter(), QStringLiteral("ID="));
    EXPECT_TRUE(parameter.GetUseRegexp());
    EXPECT_EQ(parameter.GetFormat(), QStringLiteral("<s>(<n>).txt"));
    EXPECT_EQ(parameter.GetPlainFormat(), QStringLiteral("<s>.txt"));
}

TEST(FileExporterTest, SetFileTimeStampSetsAccessAndWriteTimes)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString path = temp.filePath(QStringLiteral("メール.eml"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TestSupport::ScopedTimeZone tz("Europe/Berlin");
    struct Case {
        TDateTime local;
        qint64 utcSeconds;
    } cases[] = {
        {EncodeDateTime(2014, 1, 5, 9, 3, 7, 500), 1388908987}, // +01:00
        {EncodeDateTime(2014, 7, 5, 9, 3, 7, 500), 1404543787}, // +02:00
        {EncodeDateTime(1960, 3, 1, 12, 0, 0), -310395600},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(TFileUtils::SetFileTimeStamp(path, c.local));
        struct stat info;
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, c.utcSeconds);
        EXPECT_EQ(info.st_atim.tv_sec, c.utcSeconds);
        if (c.utcSeconds > 0) {
            EXPECT_EQ(info.st_mtim.tv_nsec, 500000000);
        }
    }

    const TDateTime t = EncodeDateTime(2014, 1, 5);
    EXPECT_FALSE(TFileUtils::SetFileTimeStamp(temp.filePath(QStringLiteral("missing.eml")), t));
    EXPECT_FALSE(
        TFileUtils::SetFileTimeStamp(temp.filePath(QStringLiteral("no/such/folder.eml")), t));
    EXPECT_FALSE(TFileUtils::SetFileTimeStamp(temp.path(), t)); // a folder is not a file
    EXPECT_FALSE(TFileUtils::SetFileTimeStamp(QStringLiteral("  "), t));
    EXPECT_FALSE(TFileUtils::SetFileTimeStamp(path + QChar(0), t));
    // A path longer than 260 characters is fine here.
    QString deep = temp.path();
    for (int i = 0; i < 3; ++i) {
        deep += QLatin1Char('/') + QString(100, QLatin1Char('d'));
        ASSERT_TRUE(QDir().mkdir(deep));
    }
    const QString longPath = deep + QStringLiteral("/f.eml");
    QFile file(longPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(TFileUtils::SetFileTimeStamp(longPath, t));
}
