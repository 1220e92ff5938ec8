#include "SequenceNumber.h"

namespace {

// The number in decimal, zero-padded to at least `digits` digits after the sign.
QString FormatNumber(int number, int digits)
{
    const QString magnitude = QString::number(number < 0 ? -static_cast<qint64>(number) : number);
    return (number < 0 ? QStringLiteral("-") : QString()) +
           magnitude.rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QString TSequenceNumber::Expand(const QString& format, int number, int digits, const QString& text)
{
    const QString numberTag = QStringLiteral("<n>");
    const QString textTag = QStringLiteral("<s>");
    const bool hasNumber = format.contains(numberTag);
    const bool hasText = format.contains(textTag);
    QString result = format;
    if (hasNumber)
        result.replace(numberTag, FormatNumber(number, digits));
    if (hasText)
        result.replace(textTag, text);
    return result;
}
