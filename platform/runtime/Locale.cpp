#include "Locale.h"


namespace {

struct FormatSettings {
    QString dateSeparator;
    QString timeSeparator;
    QString shortDays[8];
    QString longDays[8];
    QString shortMonths[13];
    QString longMonths[13];
};

// The first character of a format that is not a field letter, or the fallback.
QString SeparatorOf(const QString& format, const QString& fieldLetters, const QString& fallback)
{
    bool seenField = false;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (fieldLetters.contains(c)) {
            seenField = true;
            continue;
        }
        if (seenField && !c.isSpace() && !c.isLetter())
            return QString(c);
    }
    return fallback;
}

FormatSettings Build(const QLocale& locale)
{
    FormatSettings s;
    s.dateSeparator = SeparatorOf(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("dMy"),
                                  QStringLiteral("/"));
    s.timeSeparator = SeparatorOf(locale.timeFormat(QLocale::ShortFormat), QStringLiteral("hHm"),
                                  QStringLiteral(":"));
    for (int d = 1; d <= 7; ++d) {
        const int qtDay = d == 1 ? 7 : d - 1; // Qt counts Monday = 1 ... Sunday = 7
        s.shortDays[d] = locale.dayName(qtDay, QLocale::ShortFormat);
        s.longDays[d] = locale.dayName(qtDay, QLocale::LongFormat);
    }
    for (int m = 1; m <= 12; ++m) {
        s.shortMonths[m] = locale.monthName(m, QLocale::ShortFormat);
        s.longMonths[m] = locale.monthName(m, QLocale::LongFormat);
    }
    return s;
}

FormatSettings& Settings()
{
    static FormatSettings settings = Build(QLocale::system());
    return settings;
}

} // namespace

QString DateSeparator() { return Settings().dateSeparator; }
QString TimeSeparator() { return Settings().timeSeparator; }

QString ShortDayName(int dayOfWeek)
{
    return dayOfWeek >= 1 && dayOfWeek <= 7 ? Settings().shortDays[dayOfWeek] : QString();
}
QString LongDayName(int dayOfWeek)
{
    return dayOfWeek >= 1 && dayOfWeek <= 7 ? Settings().longDays[dayOfWeek] : QString();
}
QString ShortMonthName(int month)
{
    return month >= 1 && month <= 12 ? Settings().shortMonths[month] : QString();
}
QString LongMonthName(int month)
{
    return month >= 1 && month <= 12 ? Settings().longMonths[month] : QString();
}

void SetFormatLocale(const QLocale& locale) { Settings() = Build(locale); }
