#include "OutlookMail.h"

#include "support/TempFile.h"

namespace {

const QString& ReceivedTimeFormat()
{
    static const QString format = QStringLiteral("yyyy/mm/dd hh:nn:ss");
    return format;
}

} // namespace

void TOutlookMail::Save(const QString& fileName, int exportType)
{
    switch (exportType) {
    case 0:
        SaveThroughOutlook(fileName, 3);
        break;
    case 1:
        SaveThroughOutlook(fileName, 0);
        break;
    case 2:
        SaveEml(fileName, false, QStringLiteral("UTF-8"), QStringLiteral("BASE64"));
        break;
    case 3:
        SaveEml(fileName, true, QStringLiteral("UTF-8"), QStringLiteral("BASE64"));
        break;
    default:
        break;
    }
}

void TOutlookMail::SaveThroughOutlook(const QString& fileName, qint32 format)
{
    TTargetTempFile target(fileName);
    MailItem.SaveAs(target.GetPath(), format);
    target.Commit();
}

void TOutlookMail::SaveEml(const QString& fileName, bool withAttachments, const QString& charSet,
                           const QString& transferEncoding)
{
    if (!withAttachments) {
        WriteEml(fileName, QString(), charSet, transferEncoding);
        return;
    }
    const ITempDirectoryPtr folder = TUtility::CreateTempDirectory(false);
    WriteEml(fileName, folder->GetPath(), charSet, transferEncoding);
}

void TOutlookMail::WriteEml(const QString& fileName, const QString& attachmentDir,
                            const QString& charSet, const QString& transferEncoding)
{
    const std::unique_ptr<Mime::TMimeMessage> message =
        ComposeMessage(attachmentDir, charSet, transferEncoding);
    const TInitializeISO initializeISO(QLatin1Char('B'), charSet);
    message->SetOnInitializeISO([&initializeISO](QChar& encoding, QString& set) {
        initializeISO.InitializeISO(encoding, set);
    });
    TTargetTempFile target(fileName);
    message->SaveTo([&target](QByteArrayView data) { target.Write(data); });
    target.Commit();
}

std::unique_ptr<Mime::TMimeMessage> TOutlookMail::ComposeMessage(const QString& attachmentDir,
                                                                 const QString& charSet,
                                                                 const QString& transferEncoding)
{
    auto message = std::make_unique<Mime::TMimeMessage>();
    message->SetCharSet(charSet);
    message->SetContentTransferEncoding(transferEncoding);
    const QString senderName = MailItem.GetSenderName();
    message->SetFrom(senderName, MailItem.GetSenderEmailAddress());
    message->SetTo(MailItem.GetTo());
    message->SetCc(MailItem.GetCc());
    message->SetBcc(MailItem.GetBcc());
    message->SetDate(MailItem.GetSentOn());
    message->SetSubject(MailItem.GetSubject());
    message->AddExtraHeader(QStringLiteral("Importance"), MailItem.GetImportance());
    message->AddExtraHeader(QStringLiteral("X-ReceivedTime"),
                            FormatDateTime(ReceivedTimeFormat(), MailItem.GetReceivedTime()));
    message->AddExtraHeader(QStringLiteral("Sensitivity"), MailItem.GetSensitivity());
    const std::vector<Outlook::TAttachment> attachments = MailItem.GetAttachments();
    if (!attachments.empty() && !attachmentDir.isEmpty()) {
        message->SetContentType(QStringLiteral("multipart/mixed"));
        Mime::TTextPart& text = message->AddTextPart();
        text.ContentType = QStringLiteral("text/plain");
        text.CharSet = charSet;
        text.ContentTransferEncoding = transferEncoding;
        text.Body = MailItem.GetBody();
        for (const Outlook::TAttachment& attachment : attachments) {
            const QString path = TFileUtils::CreateTempFileName(attachmentDir, QString());
            attachment.SaveAsFile(path);
            Mime::TAttachmentPart& part = message->AddAttachment(path);
            part.FileName = attachment.GetFileName();
            part.ContentType = QStringLiteral("application/octet-stream;");
        }
    } else {
        message->SetContentType(QStringLiteral("text/plain; charset=\"") + charSet +
                                QLatin1Char('"'));
        message->SetBody(MailItem.GetBody());
    }
    return message;
}

QString TOutlookMail::FormatHeaderDate(TDateTime value)
{
    static const char* const days[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QString text = FormatDateTime(QStringLiteral("'%s', dd '%s' yyyy hh:nn:ss +0900"), value);
    const int month = FormatDateTime(QStringLiteral("m"), value).toInt();
    const qsizetype first = text.indexOf(QStringLiteral("%s"));
    text.replace(first, 2, QString::fromLatin1(days[DayOfWeek(value)]));
    const qsizetype second = text.indexOf(QStringLiteral("%s"), first);
    text.replace(second, 2, QString::fromLatin1(months[month]));
    return text;
}

THeaderTable TOutlookMail::GetHeaders()
{
    if (!Headers.empty())
        return Headers;
    // Everything is read before anything is kept, so that a failed read leaves
    // the table empty and the next call starts again.
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("FROM:"), MailItem.GetFrom()},
        {QStringLiteral("DATE:"), FormatHeaderDate(MailItem.GetSentOn())},
        {QStringLiteral("REPLY-TO:"), MailItem.GetReplyRecipientNames()},
        {QStringLiteral("SUBJECT:"), MailItem.GetSubject()},
        {QStringLiteral("TO:"), MailItem.GetTo()},
        {QStringLiteral("BCC:"), MailItem.GetBcc()},
        {QStringLiteral("CC:"), MailItem.GetCc()},
        {QStringLiteral("IMPORTANCE:"), MailItem.GetImportance()},
        {QStringLiteral("X-RECEIVEDTIME:"),
         FormatDateTime(ReceivedTimeFormat(), MailItem.GetReceivedTime())},
        {QStringLiteral("SENSITIVITY:"), MailItem.GetSensitivity()},
        {QStringLiteral("ENTRY-ID:"), MailItem.GetEntryID()},
    };
    THeaderTable table;
    for (const auto& [key, value] : values)
        table[key] = QStringList{value};
    Headers = std::move(table);
    return Headers;
}

QStringList TOutlookMail::GetBodyLines()
{
    if (!BodyLines.isEmpty())
        return BodyLines;
    const QString body = MailItem.GetBody();
    QStringList lines;
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype end = start;
        while (end < body.size() && body[end] != QLatin1Char('\r') &&
               body[end] != QLatin1Char('\n'))
            ++end;
        lines.append(body.mid(start, end - start));
        if (end < body.size() && body[end] == QLatin1Char('\r') && end + 1 < body.size() &&
            body[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
    BodyLines = lines;
    return BodyLines;
}

QStringList TOutlookMail::GetAttachmentNames()
{
    QStringList names;
    for (const Outlook::TAttachment& attachment : MailItem.GetAttachments())
        names.append(attachment.GetFileName());
    return names;
}
