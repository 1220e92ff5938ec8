#include "StringSeparator.h"

TStringSeparator::TStringSeparator(const QString& Text, const QString& Separators)
{
    qsizetype start = -1;
    for (qsizetype i = 0; i <= Text.size(); ++i) {
        const bool sep = i == Text.size() || Separators.contains(Text[i]);
        if (sep) {
            if (start >= 0)
                FItems.append(Text.mid(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
}
