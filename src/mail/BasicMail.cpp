#include "BasicMail.h"

THeaderTable TBasicMail::GetHeadersWithAttachments()
{
    THeaderTable table = GetHeaders();
    const QStringList names = GetAttachmentNames();
    for (const QString& name : names)
        table[AttachmentKey()].append(name);
    return table;
}

QString TBasicMail::GetHtmlBody()
{
    return QString();
}

std::vector<QByteArray> TBasicMail::GetAttachmentData()
{
    return {};
}

const QString& TBasicMail::AttachmentKey()
{
    static const QString key = QStringLiteral("[添付ファイル名]:");
    return key;
}
