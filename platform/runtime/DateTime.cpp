#include "DateTime.h"

#include "Locale.h"

#include <QTimeZone>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
// FILETIME of 1970-01-01 00:00 UTC.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;

// Splits a day count into its date and its time of day. The fraction of a negative
// count is, as in the runtime, measured away from the epoch; so -1.25 is
// 1899-12-29 06:00.
void Split(TDateTime value, QDate& date, QTime& time)
{
    double days = std::trunc(value);
    double fraction = std::fabs(value - days);
    qint64 ms = std::llround(fraction * kMsPerDay);
    if (ms >= static_cast<qint64>(kMsPerDay)) {
        ms -= static_cast<qint64>(kMsPerDay);
        days += value < 0 ? -1 : 1;
    }
    date = kEpoch.addDays(static_cast<qint64>(days));
    time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QString Pad(int value, int width)
{
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const QDate date(year, month, day);
    const double days = static_cast<double>(kEpoch.daysTo(date));
    const double fraction = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

TDateTime DateTimeFromQDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return 0;
    const QDateTime local = value.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    QDate date;
    QTime time;
    Split(value, date, time);
    return QDateTime(date, time, Qt::LocalTime);
}

TDateTime DateTimeFromFileTime(std::uint64_t fileTime)
{
    const qint64 ms = static_cast<qint64>(fileTime / 10000ULL) -
                      static_cast<qint64>(kUnixEpochFileTime / 10000ULL);
    return DateTimeFromQDateTime(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
}

std::uint64_t DateTimeToFileTime(TDateTime value)
{
    const qint64 ms = DateTimeToQDateTime(value).toMSecsSinceEpoch();
    return static_cast<std::uint64_t>(ms) * 10000ULL + kUnixEpochFileTime;
}

void ReadLocalTimeZoneOnce()
{
    if (std::getenv("TZ") == nullptr && ::access("/etc/localtime", R_OK) == 0)
        ::setenv("TZ", ":/etc/localtime", 0);
}

int UtcOffsetAt(TDateTime value)
{
    return DateTimeToQDateTime(value).offsetFromUtc();
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec)
{
    QDate date;
    QTime time;
    Split(value, date, time);
    date.getDate(&year, &month, &day);
    hour = time.hour();
    minute = time.minute();
    second = time.second();
    msec = time.msec();
}

int DayOfWeek(TDateTime value)
{
    QDate date;
    QTime time;
    Split(value, date, time);
    return date.dayOfWeek() % 7 + 1; // Qt: Monday = 1 ... Sunday = 7
}

QString FormatDateTime(const QString& pattern, TDateTime value)
{
    QDate date;
    QTime time;
    Split(value, date, time);
    const int weekDay = date.dayOfWeek() % 7 + 1;

    QString out;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    auto run = [&](QChar c) {
        qsizetype k = i;
        while (k < n && pattern[k].toLower() == c)
            ++k;
        return k - i;
    };
    while (i < n) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype end = pattern.indexOf(c, i + 1);
            if (end < 0)
                end = n;
            out += pattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == QLatin1Char('/')) {
            out += DateSeparator();
            ++i;
            continue;
        }
        if (c == QLatin1Char(':')) {
            out += TimeSeparator();
            ++i;
            continue;
        }
        const qsizetype len =
            (lc == QLatin1Char('y') || lc == QLatin1Char('m') || lc == QLatin1Char('d') ||
             lc == QLatin1Char('h') || lc == QLatin1Char('n') || lc == QLatin1Char('s') ||
             lc == QLatin1Char('z'))
                ? run(lc)
                : 0;
        if (len == 0) {
            out += c;
            ++i;
            continue;
        }
        switch (lc.toLatin1()) {
        case 'y':
            out += len <= 2 ? Pad(date.year() % 100, 2) : Pad(date.year(), 4);
            break;
        case 'm':
            if (len == 1)
                out += QString::number(date.month());
            else if (len == 2)
                out += Pad(date.month(), 2);
            else if (len == 3)
                out += ShortMonthName(date.month());
            else
                out += LongMonthName(date.month());
            break;
        case 'd':
            if (len == 1)
                out += QString::number(date.day());
            else if (len == 2)
                out += Pad(date.day(), 2);
            else if (len == 3)
                out += ShortDayName(weekDay);
            else
                out += LongDayName(weekDay);
            break;
        case 'h':
            out += len == 1 ? QString::number(time.hour()) : Pad(time.hour(), 2);
            break;
        case 'n':
            out += len == 1 ? QString::number(time.minute()) : Pad(time.minute(), 2);
            break;
        case 's':
            out += len == 1 ? QString::number(time.second()) : Pad(time.second(), 2);
            break;
        case 'z':
            out += len < 3 ? QString::number(time.msec()) : Pad(time.msec(), 3);
            break;
        }
        i += len;
    }
    return out;
}
