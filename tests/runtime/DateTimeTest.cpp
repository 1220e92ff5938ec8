#include "TestSupport.h"
#include "runtime/DateTime.h"
#include "runtime/Locale.h"

#include <gtest/gtest.h>

using TestSupport::ScopedTimeZone;

namespace {

// 100-ns intervals since 1601 for a UTC time given as seconds since 1970.
std::uint64_t FileTimeOfUnix(qint64 seconds)
{
    return static_cast<std::uint64_t>(seconds) * 10000000ULL + 116444736000000000ULL;
}

class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatLocale(QLocale::c()); }
    void TearDown() override { SetFormatLocale(QLocale::system()); }
};

} // namespace

TEST_F(DateTimeTest, DayCountsMatchTheRuntimeEpoch)
{
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2014, 1, 5), 41644.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(4501, 1, 1), 949998.0); // Outlook's "no date"
    EXPECT_DOUBLE_EQ(EncodeDateTime(2014, 1, 5, 18), 41644.75);
    // Before the epoch the fraction counts away from it: -1.25 is 29 Dec 1899 06:00.
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd hh:nn"), -1.25), QStringLiteral("1899/12/29 06:00"));
}

TEST_F(DateTimeTest, QDateTimeRoundTrip)
{
    const QDateTime t(QDate(2021, 7, 14), QTime(23, 59, 58, 500), Qt::LocalTime);
    const TDateTime d = DateTimeFromQDateTime(t);
    EXPECT_EQ(DateTimeToQDateTime(d), t);
    EXPECT_EQ(DateTimeFromQDateTime(QDateTime()), 0.0);
}

TEST_F(DateTimeTest, FileTimeIsConvertedToLocalTimeOfThatInstant)
{
    // 2014-01-05 00:03:07 UTC and 2014-07-05 00:03:07 UTC.
    const std::uint64_t winter = FileTimeOfUnix(1388880187);
    const std::uint64_t summer = FileTimeOfUnix(1404518587);
    {
        ScopedTimeZone tz("Asia/Tokyo");
        EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss"), DateTimeFromFileTime(winter)),
                  QStringLiteral("2014/01/05 09:03:07"));
    }
    {
        ScopedTimeZone tz("Europe/Berlin");
        EXPECT_EQ(FormatDateTime(QStringLiteral("hh:nn"), DateTimeFromFileTime(winter)), QStringLiteral("01:03"));
        EXPECT_EQ(FormatDateTime(QStringLiteral("hh:nn"), DateTimeFromFileTime(summer)), QStringLiteral("02:03"));
        EXPECT_EQ(UtcOffsetAt(DateTimeFromFileTime(winter)), 3600);
        EXPECT_EQ(UtcOffsetAt(DateTimeFromFileTime(summer)), 7200);
        EXPECT_EQ(DateTimeToFileTime(DateTimeFromFileTime(summer)), summer);
    }
}

TEST_F(DateTimeTest, FormatPatterns)
{
    const TDateTime t = EncodeDateTime(2014, 1, 5, 9, 3, 7);
    struct Case {
        const char16_t* pattern;
        const char16_t* expected;
    } cases[] = {
        {u"yyyy/mm/dd hh:nn:ss", u"2014/01/05 09:03:07"},
        {u"'%s', dd '%s' yyyy hh:nn:ss +0900", u"%s, 05 %s 2014 09:03:07 +0900"},
        {u"d m yy h:n:s", u"5 1 14 9:3:7"},
        {u"ddd, d mmm yyyy", u"Sun, 5 Jan 2014"},
        {u"\"literal\" dd", u"literal 05"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateTime(QString::fromUtf16(c.pattern), t), QString::fromUtf16(c.expected))
            << QString::fromUtf16(c.pattern).toStdString();
    EXPECT_EQ(DayOfWeek(t), 1);
}

TEST_F(DateTimeTest, SeparatorsAndDayNamesFollowTheLocale)
{
    const TDateTime t = EncodeDateTime(2014, 1, 5, 9, 3, 7);
    SetFormatLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd(ddd) hh:nn"), t), QStringLiteral("2014/01/05(日) 09:03"));
    SetFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd hh:nn"), t), QStringLiteral("2014.01.05 09:03"));
    EXPECT_EQ(DateSeparator(), QStringLiteral("."));
    EXPECT_EQ(ShortDayName(2), QStringLiteral("Mo."));
}
