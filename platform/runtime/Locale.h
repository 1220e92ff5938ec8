// The user's locale settings: date and time separators, weekday and month names.
// They are read once from QLocale::system() and can be replaced for tests.
#pragma once

#include <QLocale>
#include <QString>

QString DateSeparator();
QString TimeSeparator();
// 1 = Sunday ... 7 = Saturday.
QString ShortDayName(int dayOfWeek);
QString LongDayName(int dayOfWeek);
// 1 = January ... 12 = December.
QString ShortMonthName(int month);
QString LongMonthName(int month);

// Makes the helpers above answer from the given locale (QLocale::system() at start).
void SetFormatLocale(const QLocale& locale);
