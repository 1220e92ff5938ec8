// A MIME message composer: a message with its sender, address lists, subject,
// date, extra header fields and either one text body or text and file parts,
// written as an Internet message file with CR LF line ends, UTF-8 text and Base64
// bodies in 76-column lines, followed by a line holding a single ".".
#pragma once

#include "runtime/DateTime.h"
#include "support/EMail.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace Mime {

// A text part of a multipart message.
struct TTextPart {
    QString ContentType = QStringLiteral("text/plain");
    QString CharSet;
    QString ContentTransferEncoding;
    QString Body;
};

// A file attachment part; its content is read when the message is written: from
// Content when that is set, otherwise from the file at SourcePath.
struct TAttachmentPart {
    // Gives the content in pieces of any size, then an empty piece at the end;
    // what it raises passes to the caller of SaveTo.
    using TContent = std::function<QByteArray()>;
    QString SourcePath;
    TContent Content;
    QString FileName;
    QString ContentType = QStringLiteral("application/octet-stream");
};

class TMimeMessage {
public:
    // Asked once per save for the header encoding and the header character set;
    // both are in-out arguments.
    using TInitializeISOEvent = std::function<void(QChar& headerEncoding, QString& charSet)>;
    using TWriter = std::function<void(QByteArrayView)>;

    void SetCharSet(const QString& value) { FCharSet = value; }
    void SetContentTransferEncoding(const QString& value) { FTransferEncoding = value; }
    // "text/plain" for a single part (parameters are the composer's own), or
    // "multipart/mixed"; a message with parts is always written as multipart/mixed.
    void SetContentType(const QString& value) { FContentType = value; }

    void SetFrom(const QString& name, const QString& address);
    // Address-list texts, parsed into their (name, address) items.
    void SetTo(const QString& addressList);
    void SetCc(const QString& addressList);
    void SetBcc(const QString& addressList);
    void SetDate(TDateTime value) { FDate = value; }
    void SetSubject(const QString& value) { FSubject = value; }
    // Written after the standard fields, in the order added; empty values are not.
    void AddExtraHeader(const QString& name, const QString& value);
    void SetBody(const QString& value) { FBody = value; }

    TTextPart& AddTextPart();
    TAttachmentPart& AddAttachment(const QString& sourcePath);
    TAttachmentPart& AddAttachment(TAttachmentPart::TContent content);
    bool IsMultipart() const { return !FTextParts.empty() || !FAttachments.empty(); }

    void SetOnInitializeISO(TInitializeISOEvent handler) { FOnInitializeISO = std::move(handler); }

    // Writes the message through the writer, in pieces. Raises Exception for an
    // encoding the composer does not write (it writes "B" words in UTF-8 and Base64
    // bodies only) and EInOutError when an attachment file cannot be read.
    void SaveTo(const TWriter& writer) const;

private:
    QString FCharSet = QStringLiteral("UTF-8");
    QString FTransferEncoding = QStringLiteral("BASE64");
    QString FContentType = QStringLiteral("text/plain");
    QString FFromName, FFromAddress;
    std::vector<IMailAddressPairPtr> FTo, FCc, FBcc;
    TDateTime FDate = 0;
    QString FSubject;
    std::vector<std::pair<QString, QString>> FExtraHeaders;
    QString FBody;
    // Text parts first, then the attachments, as the writer lays them out.
    std::vector<TTextPart> FTextParts;
    std::vector<TAttachmentPart> FAttachments;
    TInitializeISOEvent FOnInitializeISO;
};

// "Sun, 5 Jan 2014 09:03:07 +0900": English names, the day without a leading
// zero, and the local offset in force at that date-time.
QByteArray FormatDate(TDateTime value);

// 34 characters of digits and letters, with "=_" at a random place within them.
QByteArray MakeBoundary();

} // namespace Mime
