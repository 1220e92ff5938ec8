#include "MimeComposer.h"

#include "MimeHeader.h"
#include "runtime/Exception.h"

#include <QFile>
#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Mime {

namespace {

constexpr qsizetype kLineBytes = 57; // 76 Base64 characters
constexpr qsizetype kChunkBytes = kLineBytes * 1024;
constexpr qsizetype kFlushBytes = 64 * 1024;

// Collects output and hands it to the writer in pieces of some size.
class TOutput {
public:
    explicit TOutput(const TMimeMessage::TWriter& writer) : FWriter(writer) {}
    void Put(QByteArrayView data)
    {
        FBuffer += data;
        if (FBuffer.size() >= kFlushBytes)
            Flush();
    }
    void Flush()
    {
        if (!FBuffer.isEmpty())
            FWriter(FBuffer);
        FBuffer.resize(0); // keeps the allocation for the next pieces
    }

private:
    const TMimeMessage::TWriter& FWriter;
    QByteArray FBuffer;
};

// Base64 in lines of 76 characters, each ended by CR LF, encoded in one pass
// into one buffer (attachments of many megabytes go through here).
void PutBase64(TOutput& out, QByteArrayView data)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const qsizetype n = data.size();
    if (n == 0)
        return;
    const qsizetype lines = (n + kLineBytes - 1) / kLineBytes;
    QByteArray encoded((n + 2) / 3 * 4 + lines * 2, Qt::Uninitialized);
    char* o = encoded.data();
    // Every pair of Base64 characters by the 12 bits they stand for: three
    // bytes are then two lookups.
    static const auto kPairs = [] {
        std::array<char, 2 * 4096> pairs{};
        for (int v = 0; v < 4096; ++v) {
            pairs[2 * v] = kAlphabet[v >> 6];
            pairs[2 * v + 1] = kAlphabet[v & 63];
        }
        return pairs;
    }();
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    for (qsizetype line = 0; line < n; line += kLineBytes) {
        const qsizetype end = std::min(line + kLineBytes, n);
        qsizetype i = line;
        for (; i + 3 <= end; i += 3) {
            const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
            memcpy(o, &kPairs[2 * (v >> 12)], 2);
            memcpy(o + 2, &kPairs[2 * (v & 0xFFF)], 2);
            o += 4;
        }
        if (i < end) {
            const bool two = i + 1 < end;
            const unsigned v = unsigned(in[i]) << 16 | (two ? unsigned(in[i + 1]) << 8 : 0u);
            *o++ = kAlphabet[v >> 18];
            *o++ = kAlphabet[(v >> 12) & 63];
            *o++ = two ? kAlphabet[(v >> 6) & 63] : '=';
            *o++ = '=';
        }
        *o++ = '\r';
        *o++ = '\n';
    }
    out.Put(QByteArrayView(encoded.constData(), o - encoded.constData()));
}

// Reads a file in chunks of whole Base64 lines and writes it encoded.
void PutFileBase64(TOutput& out, const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw EInOutError(
            QStringLiteral("ファイル \"%1\" を開けません。%2").arg(path, SysErrorMessage(error)),
            error);
    }
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    for (;;) {
        qsizetype filled = 0;
        while (filled < kChunkBytes) {
            const ssize_t n =
                ::read(fd, chunk.data() + filled, static_cast<size_t>(kChunkBytes - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int error = errno;
                ::close(fd);
                throw EInOutError(QStringLiteral("ファイル \"%1\" を読み込めません。%2")
                                      .arg(path, SysErrorMessage(error)),
                                  error);
            }
            if (n == 0)
                break;
            filled += n;
        }
        PutBase64(out, QByteArrayView(chunk.constData(), filled));
        if (filled < kChunkBytes)
            break;
    }
    ::close(fd);
}

// Encodes content given in pieces of any size exactly as PutFileBase64 encodes a
// file: in chunks of whole Base64 lines, the last one shorter.
void PutContentBase64(TOutput& out, const TAttachmentPart::TContent& content)
{
    QByteArray chunk;
    chunk.reserve(kChunkBytes);
    for (;;) {
        const QByteArray piece = content();
        if (piece.isEmpty())
            break;
        qsizetype used = 0;
        while (used < piece.size()) {
            const qsizetype take = std::min(kChunkBytes - chunk.size(), piece.size() - used);
            chunk.append(piece.constData() + used, take);
            used += take;
            if (chunk.size() == kChunkBytes) {
                PutBase64(out, chunk);
                chunk.resize(0);
            }
        }
    }
    PutBase64(out, chunk);
}

// The media type of a content-type text, without its parameters.
QByteArray MediaType(const QString& contentType, const char* fallback)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed();
    return type.isEmpty() ? QByteArray(fallback) : type.toLatin1();
}

void PutAddressList(TOutput& out, const char* name, const std::vector<IMailAddressPairPtr>& list)
{
    std::vector<IMailAddressPairPtr> items;
    for (const auto& pair : list) {
        if (!pair->GetName().isEmpty() || !pair->GetAddress().isEmpty())
            items.push_back(pair);
    }
    if (items.empty())
        return;
    THeaderLine line(name);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool last = i + 1 == items.size();
        line.AddMailbox(items[i]->GetName(), items[i]->GetAddress(), last ? 0 : 1);
        if (!last)
            line.Append(",");
    }
    out.Put(line.Finish());
}

void PutField(TOutput& out, const QByteArray& name, const QString& value)
{
    THeaderLine line(name);
    line.AddText(value);
    out.Put(line.Finish());
}

void CheckSupported(const QString& what, const QString& value, const char* supported)
{
    if (value.compare(QLatin1String(supported), Qt::CaseInsensitive) != 0)
        throw Exception(QStringLiteral("%1 \"%2\" には対応していません。").arg(what, value));
}

} // namespace

void TMimeMessage::SetFrom(const QString& name, const QString& address)
{
    FFromName = name;
    FFromAddress = address;
}

void TMimeMessage::SetTo(const QString& addressList)
{
    FTo = MailAddressPair::ParseAddressList(addressList);
}
void TMimeMessage::SetCc(const QString& addressList)
{
    FCc = MailAddressPair::ParseAddressList(addressList);
}
void TMimeMessage::SetBcc(const QString& addressList)
{
    FBcc = MailAddressPair::ParseAddressList(addressList);
}

void TMimeMessage::AddExtraHeader(const QString& name, const QString& value)
{
    FExtraHeaders.emplace_back(name, value);
}

TTextPart& TMimeMessage::AddTextPart()
{
    FTextParts.emplace_back();
    return FTextParts.back();
}

TAttachmentPart& TMimeMessage::AddAttachment(const QString& sourcePath)
{
    FAttachments.push_back({sourcePath, {}, QString(), QStringLiteral("application/octet-stream")});
    return FAttachments.back();
}

TAttachmentPart& TMimeMessage::AddAttachment(TAttachmentPart::TContent content)
{
    FAttachments.push_back(
        {QString(), std::move(content), QString(), QStringLiteral("application/octet-stream")});
    return FAttachments.back();
}

void TMimeMessage::SaveTo(const TWriter& writer) const
{
    QChar headerEncoding = QLatin1Char('B');
    QString headerCharSet = FCharSet;
    if (FOnInitializeISO)
        FOnInitializeISO(headerEncoding, headerCharSet);
    CheckSupported(QStringLiteral("ヘッダーの符号化"), QString(headerEncoding), "B");
    CheckSupported(QStringLiteral("文字コード"), headerCharSet, "UTF-8");
    CheckSupported(QStringLiteral("文字コード"), FCharSet, "UTF-8");
    CheckSupported(QStringLiteral("転送エンコーディング"), FTransferEncoding, "BASE64");
    for (const TTextPart& part : FTextParts) {
        CheckSupported(QStringLiteral("文字コード"), part.CharSet, "UTF-8");
        CheckSupported(QStringLiteral("転送エンコーディング"), part.ContentTransferEncoding,
                       "BASE64");
    }

    TOutput out(writer);
    const bool multipart = IsMultipart();
    const QByteArray boundary = multipart ? MakeBoundary() : QByteArray();

    // A name that equals the address says nothing more than the address.
    const bool nameIsAddress = FFromName.compare(FFromAddress, Qt::CaseInsensitive) == 0;
    if (!FFromName.isEmpty() || !FFromAddress.isEmpty()) {
        THeaderLine from("From");
        from.AddMailbox(nameIsAddress ? QString() : FFromName, FFromAddress);
        out.Put(from.Finish());
    }
    if (!FSubject.isEmpty())
        PutField(out, "Subject", FSubject);
    PutAddressList(out, "To", FTo);
    PutAddressList(out, "Cc", FCc);
    PutAddressList(out, "Bcc", FBcc);

    THeaderLine contentType("Content-Type");
    contentType.AddToken(
        multipart ? QByteArray("multipart/mixed") : MediaType(FContentType, "text/plain"), 1);
    contentType.AddParameter(QStringLiteral("charset"), FCharSet, false);
    if (multipart)
        contentType.AddParameter(QStringLiteral("boundary"), QString::fromLatin1(boundary));
    out.Put(contentType.Finish());
    out.Put("MIME-Version: 1.0\r\n");
    if (!multipart)
        out.Put("Content-Transfer-Encoding: " + FTransferEncoding.toLatin1() + "\r\n");
    out.Put("Date: " + FormatDate(FDate) + "\r\n");
    for (const auto& [name, value] : FExtraHeaders) {
        if (!value.isEmpty())
            PutField(out, name.toLatin1(), value);
    }
    out.Put("\r\n");

    if (!multipart) {
        PutBase64(out, FBody.toUtf8());
    } else {
        out.Put("This is a multi-part message in MIME format\r\n");
        for (const TTextPart& part : FTextParts) {
            out.Put("\r\n--" + boundary + "\r\n");
            THeaderLine type("Content-Type");
            type.AddToken(MediaType(part.ContentType, "text/plain"), 1);
            type.AddParameter(QStringLiteral("charset"), part.CharSet, false);
            out.Put(type.Finish());
            out.Put("Content-Transfer-Encoding: " + part.ContentTransferEncoding.toLatin1() +
                    "\r\n\r\n");
            PutBase64(out, part.Body.toUtf8());
        }
        for (const TAttachmentPart& part : FAttachments) {
            out.Put("\r\n--" + boundary + "\r\n");
            THeaderLine type("Content-Type");
            type.AddToken(MediaType(part.ContentType, "application/octet-stream"), 1);
            // The name twice: as encoded words for the many readers that know
            // only those, and in RFC 2231 form on the disposition.
            type.AddEncodedWordParameter(QStringLiteral("name"), part.FileName);
            out.Put(type.Finish());
            out.Put("Content-Transfer-Encoding: base64\r\n");
            THeaderLine disposition("Content-Disposition");
            disposition.AddToken("attachment", 1);
            disposition.AddParameter(QStringLiteral("filename"), part.FileName);
            out.Put(disposition.Finish());
            out.Put("\r\n");
            if (part.Content)
                PutContentBase64(out, part.Content);
            else
                PutFileBase64(out, part.SourcePath);
        }
        out.Put("\r\n--" + boundary + "--\r\n");
    }
    out.Put(".\r\n");
    out.Flush();
}

QByteArray FormatDate(TDateTime value)
{
    static const char* const days[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int year, month, day, hour, minute, second, msec;
    DecodeDateTime(value, year, month, day, hour, minute, second, msec);
    const int offset = UtcOffsetAt(value);
    const int minutes = std::abs(offset) / 60;
    char text[64];
    const int length = std::snprintf(
        text, sizeof text, "%s, %d %s %s %02d:%02d:%02d %c%02d%02d", days[DayOfWeek(value)], day,
        months[month], QByteArray::number(year).rightJustified(4, '0').constData(), hour, minute,
        second, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QByteArray(text, length);
}

QByteArray MakeBoundary()
{
    static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QRandomGenerator* random = QRandomGenerator::global();
    QByteArray boundary(34, Qt::Uninitialized);
    for (char& c : boundary)
        c = alphabet[random->bounded(62)];
    const int at = static_cast<int>(random->bounded(33)); // the 1st to the 33rd character
    boundary[at] = '=';
    boundary[at + 1] = '_';
    return boundary;
}

} // namespace Mime
