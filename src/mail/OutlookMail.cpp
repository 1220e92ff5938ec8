#include "OutlookMail.h"

#include "runtime/Exception.h"
#include "support/TempFile.h"

#include <array>
#include <cerrno>

namespace {

// Gives the temporary file its final name: over whatever has that name, or,
// with nextName, only a free name, asking nextName again while names are taken.
QString CommitAs(TTargetTempFile& file, const QString& fileName,
                 const TOutlookMail::TNextName& nextName)
{
    if (!nextName) {
        file.Commit();
        return fileName;
    }
    QString name = fileName;
    while (!file.CommitNew(name)) {
        const QString next = nextName();
        if (next == name) // taken by something that the name search does not count, a folder
            throw EInOutError(QStringLiteral("ファイル \"%1\" を作成できません。%2")
                                  .arg(name, SysErrorMessage(EEXIST)),
                              EEXIST);
        name = next;
    }
    return name;
}

QString RecipientsOmitted(const QString& reason)
{
    return QStringLiteral("受信者の一覧を読めないため、受信者を除きました (%1)").arg(reason);
}

QString AttachmentsOmitted(const QString& reason)
{
    return QStringLiteral("添付ファイルの一覧を読めないため、添付ファイルを除きました (%1)")
        .arg(reason);
}

// Bytes asked of an attachment stream at a time: whole Base64 lines, and small
// enough that a large attachment never sits in memory whole.
constexpr qint32 kStreamPieceBytes = 57 * 1024;

const QString& ReceivedTimeFormat()
{
    static const QString format = QStringLiteral("yyyy/mm/dd hh:nn:ss");
    return format;
}

} // namespace

QString TOutlookMail::Save(const QString& fileName, int exportType, const TNextName& nextName)
{
    Omissions.clear();
    switch (exportType) {
    case 0:
        return SaveThroughOutlook(fileName, 3, nextName);
    case 1:
        return SaveThroughOutlook(fileName, 0, nextName);
    case 2:
        return WriteEmlFile(fileName, QString(), QStringLiteral("UTF-8"), QStringLiteral("BASE64"),
                            nextName);
    case 3:
        return WriteEmlWithAttachments(fileName, QStringLiteral("UTF-8"), QStringLiteral("BASE64"),
                                       nextName);
    default:
        return fileName;
    }
}

QString TOutlookMail::SaveThroughOutlook(const QString& fileName, qint32 format,
                                         const TNextName& nextName)
{
    TTargetTempFile target(fileName);
    // Outlook's errors name the file it was given; the user knows only the
    // target's name.
    try {
        MailItem.SaveAs(target.GetPath(), format);
    } catch (const EOleException& e) {
        throw EOleException(QString(e.Message()).replace(target.GetPath(), fileName));
    } catch (const EInOutError& e) {
        throw EInOutError(QString(e.Message()).replace(target.GetPath(), fileName), e.ErrorCode());
    }
    const QString written = CommitAs(target, fileName, nextName);
    const QString omitted = MailItem.GetSaveOmissions();
    if (!omitted.isEmpty())
        Omissions = omitted.split(QLatin1Char('\n'));
    return written;
}

void TOutlookMail::SaveEml(const QString& fileName, bool withAttachments, const QString& charSet,
                           const QString& transferEncoding)
{
    Omissions.clear();
    if (!withAttachments) {
        WriteEmlFile(fileName, QString(), charSet, transferEncoding, {});
        return;
    }
    WriteEmlWithAttachments(fileName, charSet, transferEncoding, {});
}

QString TOutlookMail::WriteEmlWithAttachments(const QString& fileName, const QString& charSet,
                                              const QString& transferEncoding,
                                              const TNextName& nextName)
{
    // Attachments that the server streams go straight into the message. The
    // others are saved into a temporary folder, made only when one needs it and
    // deleted afterwards.
    ITempDirectoryPtr folder;
    const TAttachmentFolder folderPath = [&folder] {
        if (!folder)
            folder = TUtility::CreateTempDirectory(false);
        return folder->GetPath();
    };
    try {
        return WriteEmlFile(fileName, folderPath, true, charSet, transferEncoding, nextName);
    } catch (const TStreamFailed&) {
        // A stream broke off part-way, after the attachment's part was begun. The
        // mail is written again with every attachment saved to a file first, so
        // that an unreadable one is left out and said so, as SaveAsFile reports it.
        Omissions.clear();
        return WriteEmlFile(fileName, folderPath, false, charSet, transferEncoding, nextName);
    }
}

void TOutlookMail::WriteEml(const QString& fileName, const QString& attachmentDir,
                            const QString& charSet, const QString& transferEncoding)
{
    WriteEmlFile(fileName, attachmentDir, charSet, transferEncoding, {});
}

QString TOutlookMail::WriteEmlFile(const QString& fileName, const QString& attachmentDir,
                                   const QString& charSet, const QString& transferEncoding,
                                   const TNextName& nextName)
{
    const TAttachmentFolder folder = [&attachmentDir] { return attachmentDir; };
    return WriteEmlFile(fileName, attachmentDir.isEmpty() ? TAttachmentFolder() : folder, false,
                        charSet, transferEncoding, nextName);
}

QString TOutlookMail::WriteEmlFile(const QString& fileName, const TAttachmentFolder& attachmentDir,
                                   bool stream, const QString& charSet,
                                   const QString& transferEncoding, const TNextName& nextName)
{
    const std::unique_ptr<Mime::TMimeMessage> message =
        Compose(attachmentDir, stream, charSet, transferEncoding);
    const TInitializeISO initializeISO(QLatin1Char('B'), charSet);
    message->SetOnInitializeISO([&initializeISO](QChar& encoding, QString& set) {
        initializeISO.InitializeISO(encoding, set);
    });
    TTargetTempFile target(fileName, TTargetTempFile::TUse::ByWrite);
    message->SaveTo([&target](QByteArrayView data) { target.Write(data); });
    return CommitAs(target, fileName, nextName);
}

template <typename T, typename Read, typename Omitted>
T TOutlookMail::Salvage(Read read, Omitted omitted, T fallback)
{
    try {
        return read();
    } catch (const EOleError& e) {
        Omissions.append(omitted(e.Message()));
    }
    return fallback;
}

std::unique_ptr<Mime::TMimeMessage> TOutlookMail::ComposeMessage(const QString& attachmentDir,
                                                                 const QString& charSet,
                                                                 const QString& transferEncoding)
{
    const TAttachmentFolder folder = [&attachmentDir] { return attachmentDir; };
    return Compose(attachmentDir.isEmpty() ? TAttachmentFolder() : folder, false, charSet,
                   transferEncoding);
}

std::unique_ptr<Mime::TMimeMessage> TOutlookMail::Compose(const TAttachmentFolder& attachmentDir,
                                                          bool stream, const QString& charSet,
                                                          const QString& transferEncoding)
{
    auto message = std::make_unique<Mime::TMimeMessage>();
    message->SetCharSet(charSet);
    message->SetContentTransferEncoding(transferEncoding);
    const QString senderName = MailItem.GetSenderName();
    message->SetFrom(senderName, MailItem.GetSenderEmailAddress());
    // A recipient table or an attachment that cannot be read is left out, and
    // said so, rather than costing the whole mail.
    const std::array<QString, 3> recipients = Salvage(
        [this] {
            return std::array<QString, 3>{MailItem.GetTo(), MailItem.GetCc(), MailItem.GetBcc()};
        },
        RecipientsOmitted, std::array<QString, 3>{});
    message->SetTo(recipients[0]);
    message->SetCc(recipients[1]);
    message->SetBcc(recipients[2]);
    message->SetDate(MailItem.GetSentOn());
    message->SetSubject(MailItem.GetSubject());
    message->AddExtraHeader(QStringLiteral("Importance"), MailItem.GetImportance());
    message->AddExtraHeader(QStringLiteral("X-ReceivedTime"),
                            FormatDateTime(ReceivedTimeFormat(), MailItem.GetReceivedTime()));
    message->AddExtraHeader(QStringLiteral("Sensitivity"), MailItem.GetSensitivity());
    const std::vector<Outlook::TAttachment> attachments =
        Salvage([this] { return MailItem.GetAttachments(); }, AttachmentsOmitted,
                std::vector<Outlook::TAttachment>{});
    if (!attachments.empty() && attachmentDir) {
        message->SetContentType(QStringLiteral("multipart/mixed"));
        Mime::TTextPart& text = message->AddTextPart();
        text.ContentType = QStringLiteral("text/plain");
        text.CharSet = charSet;
        text.ContentTransferEncoding = transferEncoding;
        text.Body = MailItem.GetBody();
        int number = 0;
        for (const Outlook::TAttachment& attachment : attachments) {
            ++number;
            const auto omitted = [number](const QString& reason) {
                return QStringLiteral("添付ファイル %1 を読めないため、除きました (%2)")
                    .arg(number)
                    .arg(reason);
            };
            if (std::optional<Outlook::TAttachmentData> data =
                    stream ? attachment.OpenData() : std::nullopt) {
                QString name;
                if (!Salvage(
                        [&] {
                            name = attachment.GetFileName();
                            return true;
                        },
                        omitted, false))
                    continue;
                Mime::TAttachmentPart& part = message->AddAttachment([data = std::move(*data)] {
                    try {
                        return data.Read(kStreamPieceBytes);
                    } catch (const Exception&) {
                        throw TStreamFailed();
                    }
                });
                part.FileName = name;
                part.ContentType = QStringLiteral("application/octet-stream;");
                continue;
            }
            const QString path = TFileUtils::CreateTempFileName(attachmentDir(), QString());
            QString name;
            const bool read = Salvage(
                [&] {
                    attachment.SaveAsFile(path);
                    name = attachment.GetFileName();
                    return true;
                },
                omitted, false);
            if (!read)
                continue;
            Mime::TAttachmentPart& part = message->AddAttachment(path);
            part.FileName = name;
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
