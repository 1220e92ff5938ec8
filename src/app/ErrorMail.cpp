#include "ErrorMail.h"

#include "outlook/Folder.h"
#include "outlook/Outlook.h"
#include "runtime/Exception.h"

#include <QSaveFile>
#include <QStringEncoder>
#include <langinfo.h>

QStringList ErrorListColumns()
{
    return {QStringLiteral("フォルダー"), QStringLiteral("Index"), QStringLiteral("差出人"),
            QStringLiteral("件名"), QStringLiteral("送信日時"), QStringLiteral("エラーメッセージ")};
}

std::vector<QStringList> FillErrorRows(TOutlook& session, const std::vector<TErrorMail>& records)
{
    std::vector<QStringList> rows;
    QString previousPath;
    bool looked = false;
    Outlook::TFolder* folder = nullptr;
    for (const TErrorMail& record : records) {
        QStringList row{record.FolderPath,
                        record.Index >= 0 ? QString::number(record.Index + 1) : QString()};
        QString cells[3];
        try {
            if (!looked || record.FolderPath != previousPath) {
                looked = true;
                previousPath = record.FolderPath;
                folder = nullptr;
                folder = session.FindFolder(record.FolderPath);
            }
            if (folder && record.Index >= 0) {
                Outlook::TMailItem item = folder->GetMessages()->GetItem(record.Index);
                cells[0] = item.GetSenderName();
                cells[1] = item.GetSubject();
                cells[2] = FormatDateTime(QStringLiteral("yyyy/mm/dd(ddd) hh:nn"), item.GetReceivedTime());
            }
        } catch (...) {
            // The mail may be the damaged one that failed; keep what was read.
        }
        row << cells[0] << cells[1] << cells[2] << record.Message;
        rows.push_back(row);
    }
    return rows;
}

QString CsvRecord(const QStringList& fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString& field : fields) {
        bool quote = false;
        for (QChar c : field) {
            if ((c.unicode() >= 1 && c.unicode() <= 0x20) || c == QLatin1Char('"') || c == QLatin1Char(',')) {
                quote = true;
                break;
            }
        }
        if (quote) {
            QString escaped = field;
            escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            out << QLatin1Char('"') + escaped + QLatin1Char('"');
        } else {
            out << field;
        }
    }
    return out.join(QLatin1Char(','));
}

QString DefaultCsvEncoding()
{
    const QString codeset = QString::fromLatin1(nl_langinfo(CODESET));
    if (codeset.isEmpty() || codeset == QStringLiteral("ANSI_X3.4-1968"))
        return QStringLiteral("UTF-8");
    return codeset;
}

void WriteCsvFile(const QString& fileName, const QStringList& header,
                  const std::vector<QStringList>& rows, const QString& encoding)
{
    const QString name = encoding.isEmpty() ? DefaultCsvEncoding() : encoding;
    QStringEncoder encoder(name.toLatin1().constData());
    if (!encoder.isValid())
        throw EInOutError(QStringLiteral("文字コード %1 は使用できません。").arg(name));
    QString text = CsvRecord(header) + QStringLiteral("\r\n");
    for (const QStringList& row : rows)
        text += CsvRecord(row) + QStringLiteral("\r\n");
    const QByteArray bytes = encoder.encode(text);

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EInOutError(QStringLiteral("CSVファイルを保存できません。%1\r\n%2")
                              .arg(file.errorString(), fileName));
}
