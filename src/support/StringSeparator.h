// A tokenizer that cuts a text at any of a set of separator characters. Runs of
// separators count as one, and no piece is ever empty.
#pragma once

#include <QString>
#include <QStringList>

class TStringSeparator {
public:
    TStringSeparator(const QString& Text, const QString& Separators);
    virtual ~TStringSeparator() = default;

    int GetCount() const { return static_cast<int>(FItems.size()); }
    QString GetItem(int Index) const { return FItems.at(Index); }
    const QStringList& Items() const { return FItems; }

private:
    QStringList FItems;
};
