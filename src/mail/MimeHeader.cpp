#include "MimeHeader.h"

#include <QStringView>

namespace Mime {

namespace {

const QByteArray kWordStart = QByteArrayLiteral("=?UTF-8?B?");
const QByteArray kWordEnd = QByteArrayLiteral("?=");
constexpr int kWordOverhead = 12; // "=?UTF-8?B?" and "?="
// A word shorter than this is not worth starting at the end of a line.
constexpr int kMinWordLength = kWordOverhead + 8;

int Base64Length(qsizetype bytes)
{
    return static_cast<int>((bytes + 2) / 3 * 4);
}

// Appends the UTF-8 bytes of the code point at text[i] to out and returns the
// number of UTF-16 units it takes (2 for a surrogate pair). A lone surrogate is
// converted as Qt converts it.
qsizetype AppendCodePoint(QByteArray& out, QStringView text, qsizetype i)
{
    const char16_t u = text[i].unicode();
    if (u < 0x80) {
        out += static_cast<char>(u);
        return 1;
    }
    if (u < 0x800) {
        const char bytes[2] = {static_cast<char>(0xC0 | (u >> 6)),
                               static_cast<char>(0x80 | (u & 0x3F))};
        out.append(bytes, 2);
        return 1;
    }
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text[i + 1].unicode())) {
        const char32_t c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
        const char bytes[4] = {
            static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 4);
        return 2;
    }
    if (QChar::isSurrogate(u)) {
        out += text.mid(i, 1).toUtf8();
        return 1;
    }
    const char bytes[3] = {static_cast<char>(0xE0 | (u >> 12)),
                           static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (u & 0x3F))};
    out.append(bytes, 3);
    return 1;
}

bool IsAtext(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    return QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(QChar(c));
}

bool IsPrintableAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

// Printable ASCII words separated by single spaces, none of them too long for a line.
bool IsPlainWords(const QString& text, bool atomsOnly, int maxWord)
{
    if (text.isEmpty() || !IsPrintableAscii(text) || text.contains(QStringLiteral("=?")))
        return false;
    const QStringList words = text.split(QLatin1Char(' '));
    for (const QString& word : words) {
        if (word.isEmpty() || word.size() > maxWord)
            return false;
        if (atomsOnly) {
            for (QChar c : word) {
                if (!IsAtext(c.unicode()))
                    return false;
            }
        }
    }
    return true;
}

// An RFC 2045 token: printable ASCII without spaces and tspecials.
bool IsToken(const QString& text)
{
    if (text.isEmpty() || !IsPrintableAscii(text))
        return false;
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || QStringView(u"()<>@,;:\\\"/[]?=").contains(c))
            return false;
    }
    return true;
}

bool IsDotAtom(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QStringList atoms = text.split(QLatin1Char('.'));
    for (const QString& atom : atoms) {
        if (atom.isEmpty())
            return false;
        for (QChar c : atom) {
            if (!IsAtext(c.unicode()))
                return false;
        }
    }
    return true;
}

QByteArray Quoted(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += '\\';
        // Surrogates are converted one UTF-16 unit at a time.
        if (c.isSurrogate()) {
            out += QStringView(text).mid(i, 1).toUtf8();
            ++i;
        } else {
            i += AppendCodePoint(out, text, i);
        }
    }
    out += '"';
    return out;
}

// RFC 2231 percent-encoding of UTF-8 bytes: attribute characters stay.
void AppendPercentEncoded(QByteArray& out, QByteArrayView bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    static const QByteArray special = QByteArrayLiteral("*'%()<>@,;:\\\"/[]?=");
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b > 0x20 && b < 0x7F && !special.contains(ch)) {
            out += ch;
        } else {
            const char escaped[3] = {'%', kHex[b >> 4], kHex[b & 15]};
            out.append(escaped, 3);
        }
    }
}

} // namespace

QByteArrayList EncodeWords(const QString& text, int firstLength)
{
    QByteArrayList words;
    QByteArray bytes;
    QByteArray point;
    int limit = std::min(firstLength, kMaxEncodedWordLength);
    auto flush = [&] {
        words << kWordStart + bytes.toBase64() + kWordEnd;
        bytes.clear();
        limit = kMaxEncodedWordLength;
    };
    for (qsizetype i = 0; i < text.size();) {
        point.resize(0);
        i += AppendCodePoint(point, text, i);
        if (kWordOverhead + Base64Length(bytes.size() + point.size()) > limit) {
            if (!bytes.isEmpty())
                flush();
            else
                limit = kMaxEncodedWordLength; // no room at all on the first line
        }
        bytes += point;
    }
    if (!bytes.isEmpty() || words.isEmpty())
        flush();
    return words;
}

QByteArray AddrSpec(const QString& address)
{
    QString clean;
    for (QChar c : address) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            clean += c;
    }
    const qsizetype at = clean.lastIndexOf(QLatin1Char('@'));
    const QString local = at < 0 ? clean : clean.left(at);
    const QString domain = at < 0 ? QString() : clean.mid(at);
    const QByteArray localPart = IsDotAtom(local) ? local.toUtf8() : Quoted(local);
    return localPart + domain.toUtf8();
}

THeaderLine::THeaderLine(const QByteArray& name)
    : FOut(name + ':'), FColumn(static_cast<int>(FOut.size()))
{
}

void THeaderLine::AddToken(const QByteArray& token, int reserve)
{
    const int length = static_cast<int>(token.size());
    if (FColumn > 0 && FColumn + 1 + length + reserve > kMaxLineLength) {
        FOut += "\r\n";
        FColumn = 0;
    }
    FOut += ' ';
    FOut += token;
    FColumn += 1 + length;
}

void THeaderLine::Append(const QByteArray& text)
{
    FOut += text;
    FColumn += static_cast<int>(text.size());
}

void THeaderLine::AddEncoded(const QString& text, int reserve)
{
    int room = kMaxLineLength - FColumn - 1 - reserve;
    if (room < kMinWordLength)
        room = kMaxLineLength - 1 - reserve; // the first word starts a new line
    for (const QByteArray& word : EncodeWords(text, room))
        AddToken(word, reserve);
}

void THeaderLine::AddText(const QString& text, int reserve)
{
    if (IsPlainWords(text, false, kMaxLineLength - 2 - reserve)) {
        for (const QString& word : text.split(QLatin1Char(' ')))
            AddToken(word.toLatin1(), reserve);
    } else {
        AddEncoded(text, reserve);
    }
}

void THeaderLine::AddPhrase(const QString& name, int reserve)
{
    const int maxToken = kMaxLineLength - 2 - reserve;
    if (IsPlainWords(name, true, maxToken)) {
        for (const QString& word : name.split(QLatin1Char(' ')))
            AddToken(word.toLatin1(), reserve);
        return;
    }
    if (IsPrintableAscii(name) && !name.contains(QStringLiteral("=?"))) {
        const QByteArray quoted = Quoted(name);
        if (quoted.size() <= maxToken) {
            AddToken(quoted, reserve);
            return;
        }
    }
    AddEncoded(name, reserve);
}

void THeaderLine::AddMailbox(const QString& name, const QString& address, int reserve)
{
    if (name.isEmpty()) {
        AddToken(AddrSpec(address), reserve);
    } else if (address.isEmpty()) {
        AddPhrase(name, reserve);
        AddToken(QByteArrayLiteral(":;"), reserve);
    } else {
        AddPhrase(name, reserve);
        AddToken('<' + AddrSpec(address) + '>', reserve);
    }
}

void THeaderLine::AddParameter(const QString& attribute, const QString& value, bool quote)
{
    Append(QByteArrayLiteral(";"));
    const QByteArray name = attribute.toLatin1();
    const int maxToken = kMaxLineLength - 2; // a space before, a ";" after
    if (!quote && IsToken(value) && name.size() + 1 + value.size() <= maxToken) {
        AddToken(name + '=' + value.toLatin1(), 1);
        return;
    }
    if (IsPrintableAscii(value) && !value.contains(QStringLiteral("=?"))) {
        const QByteArray token = name + '=' + Quoted(value);
        if (token.size() <= maxToken) {
            AddToken(token, 1);
            return;
        }
    }
    const QByteArray charset = QByteArrayLiteral("UTF-8''");
    QByteArrayList encoded;
    QByteArray point;
    for (qsizetype i = 0; i < value.size();) {
        point.resize(0);
        i += AppendCodePoint(point, value, i);
        QByteArray escaped;
        AppendPercentEncoded(escaped, point);
        encoded << escaped;
    }
    // In one piece when it fits, else in numbered sections of whole code points.
    QByteArray whole = name + "*=" + charset + encoded.join();
    if (whole.size() <= maxToken) {
        AddToken(whole, 1);
        return;
    }
    QByteArrayList sections;
    QByteArray current;
    auto head = [&] {
        return name + '*' + QByteArray::number(sections.size()) +
               "*=" + (sections.isEmpty() ? charset : "");
    };
    for (const QByteArray& point : encoded) {
        if (!current.isEmpty() && head().size() + current.size() + point.size() > maxToken) {
            sections << head() + current;
            current.clear();
        }
        current += point;
    }
    sections << head() + current;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (i > 0)
            Append(QByteArrayLiteral(";"));
        AddToken(sections[i], 1);
    }
}

void THeaderLine::AddEncodedWordParameter(const QString& attribute, const QString& value)
{
    const QByteArray head = attribute.toLatin1() + "=\"";
    if (IsPrintableAscii(value) && !value.contains(QStringLiteral("=?")) &&
        head.size() + Quoted(value).size() <= kMaxLineLength - 2) {
        AddParameter(attribute, value);
        return;
    }
    Append(QByteArrayLiteral(";"));
    // Room for the space before, the attribute and quote, and the closing quote
    // and ";" after.
    const QByteArrayList words =
        EncodeWords(value, kMaxLineLength - 1 - static_cast<int>(head.size()) - 2);
    for (qsizetype i = 0; i < words.size(); ++i) {
        QByteArray token = words[i];
        if (i == 0)
            token.prepend(head);
        if (i == words.size() - 1)
            token += '"';
        AddToken(token, 1);
    }
}

QByteArray THeaderLine::Finish() const
{
    return FOut + "\r\n";
}

} // namespace Mime
