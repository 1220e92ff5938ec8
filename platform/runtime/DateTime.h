// The day-count date-time: a double of days since 1899-12-30, with the time of
// day as the fraction, in local time.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

using TDateTime = double;

// Local date and time fields to a day count. Never fails for a valid date.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int msec = 0);

// A QDateTime, taken in local time, to a day count. An invalid QDateTime gives 0.
TDateTime DateTimeFromQDateTime(const QDateTime& value);

// A day count to a local QDateTime. Times that fall into a daylight-saving gap are
// moved forward as QDateTime does.
QDateTime DateTimeToQDateTime(TDateTime value);

// A FILETIME (100-nanosecond intervals since 1601-01-01 UTC) to the local day count.
TDateTime DateTimeFromFileTime(std::uint64_t fileTime);

// The local day count to a FILETIME in UTC.
std::uint64_t DateTimeToFileTime(TDateTime value);

// Makes the C library read the system's time zone once for the whole run. Without
// TZ, glibc looks at /etc/localtime again on every conversion to or from local
// time, several times per mail in an export. Sets TZ to ":/etc/localtime" (which
// Qt also reads as the system zone) when TZ is unset and that file exists; a
// zone set in TZ is kept. Called at the start of main, before any thread.
void ReadLocalTimeZoneOnce();

// The local offset from UTC, in seconds, in force at the given local time.
int UtcOffsetAt(TDateTime value);

// The local date and time fields of a day count, as FormatDateTime shows them.
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);

// 1 = Sunday ... 7 = Saturday, as the runtime's DayOfWeek.
int DayOfWeek(TDateTime value);

// Formats a day count with a date-time pattern:
//   yyyy, yy       year; m, mm month; mmm, mmmm short and long month names;
//   d, dd          day; ddd, dddd short and long weekday names (from the locale);
//   h, hh          hour (24-hour clock); n, nn minutes; s, ss seconds; z, zzz milliseconds;
//   /              the locale's date separator; :  the locale's time separator;
//   '...' "..."    literal text. Any other character is copied.
// A minute is spelt "n"; "m" right after an hour is still the month.
QString FormatDateTime(const QString& pattern, TDateTime value);
