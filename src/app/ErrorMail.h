// The mails that failed during an export, and their list as rows and as CSV.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class TOutlook;

struct TErrorMail {
    QString FolderPath;
    // 0-based position of the mail in the folder's items; -1 when the folder itself
    // could not be read.
    qint32 Index = 0;
    QString Message;
};

class TErrorMailList {
public:
    void Add(const QString& folder, qint32 index, const QString& message)
    {
        FList.push_back({folder, index, message});
    }
    void Clear() { FList.clear(); }
    std::vector<TErrorMail> GetList() const { return FList; }
    bool IsEmpty() const { return FList.empty(); }
    int Count() const { return static_cast<int>(FList.size()); }

private:
    std::vector<TErrorMail> FList;
};

// Captions of the error list's columns.
QStringList ErrorListColumns();

// One row per record: folder path, 1-based position, and, read again from
// Outlook, sender, subject and received time, then the error message. The folder
// is looked up once per change of folder path. A value that cannot be read is
// left empty, but the error message is always kept.
std::vector<QStringList> FillErrorRows(TOutlook& session, const std::vector<TErrorMail>& records);

// One CSV record: fields joined by ",", a field quoted (with its quotes doubled)
// when it holds a character from U+0001 to U+0020, a double quote or a comma.
QString CsvRecord(const QStringList& fields);

// Writes the header and the rows as CSV lines ended by CR LF, in the given
// character set (empty: the locale's, UTF-8 for the C locale), with no byte-order
// mark; characters the set cannot hold are replaced. Written through a temporary
// file, so an existing file is either replaced whole or left as it was. Raises
// EInOutError with the system's text on failure.
void WriteCsvFile(const QString& fileName, const QStringList& header,
                  const std::vector<QStringList>& rows, const QString& encoding = QString());

// The character set the error list is written in when none is given.
QString DefaultCsvEncoding();
