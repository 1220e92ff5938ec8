#include "MailPreview.h"

#include "outlook/MailItem.h"

#include <QStringList>

QString FormatMailDateTime(TDateTime value)
{
    return FormatDateTime(QStringLiteral("yyyy/mm/dd(ddd) hh:nn"), value);
}

QString MailPreviewText(const Outlook::TMailItem& item, QString* partial)
{
    QStringList lines;
    auto keep = [&] {
        if (partial)
            *partial = lines.join(QLatin1Char('\n'));
    };
    try {
        lines << QStringLiteral("差出人：") + item.GetSenderName();
        lines << QStringLiteral("件名：") + item.GetSubject();
        lines << QStringLiteral("受信日時：") + FormatMailDateTime(item.GetReceivedTime());
        for (const Outlook::TAttachment& attachment : item.GetAttachments())
            lines << QStringLiteral("添付ファイル：") + attachment.GetFileName();
        lines << QStringLiteral("---");
        // The body's own line breaks make further lines.
        QString body = item.GetBody();
        body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        lines << body;
    } catch (...) {
        keep();
        throw;
    }
    keep();
    return lines.join(QLatin1Char('\n'));
}
