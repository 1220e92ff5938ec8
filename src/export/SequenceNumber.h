// Placeholder expansion of name formats: "<n>" stands for a number, "<s>" for a text.
#pragma once

#include <QString>

class TSequenceNumber {
public:
    // Replaces every "<n>" by the number in decimal, zero-padded to at least
    // `digits` digits and never cut, and every "<s>" by `text`. Both tests look at the format
    // itself, so a "<s>" inside `text` is never expanded.
    static QString Expand(const QString& format, int number, int digits, const QString& text);
};
