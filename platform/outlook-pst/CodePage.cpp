#include "CodePage.h"

#include <QLocale>
#include <optional>
#include <unicode/ucnv.h>
#include <vector>

namespace OutlookPst {

namespace {

std::optional<QString> IcuDecode(const char* converterName, const QByteArray& bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(converterName, &status);
    if (U_FAILURE(status) || !converter)
        return std::nullopt;
    if (bytes.isEmpty()) {
        ucnv_close(converter);
        return QString();
    }
    // Every byte gives at most two UTF-16 units. A sequence cut short at the end
    // is substituted like any other invalid one.
    std::vector<UChar> out(static_cast<std::size_t>(bytes.size()) * 2 + 4);
    UChar* target = out.data();
    const char* source = bytes.constData();
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, source + bytes.size(), nullptr, true,
                   &status);
    UErrorCode pendingStatus = U_ZERO_ERROR;
    const bool pending = ucnv_toUCountPending(converter, &pendingStatus) > 0;
    ucnv_close(converter);
    QString text(reinterpret_cast<const QChar*>(out.data()), target - out.data());
    if (status == U_TRUNCATED_CHAR_FOUND || pending)
        return text + QChar(0xFFFD);
    if (U_FAILURE(status))
        return std::nullopt;
    // Some of ICU's tables substitute U+001A; invalid bytes read as U+FFFD throughout.
    if (!bytes.contains('\x1a'))
        text.replace(QChar(0x1A), QChar(0xFFFD));
    return text;
}

QString Cp932(const QByteArray& bytes) { return IcuDecode("windows-31j", bytes).value_or(QString()); }

// Collects Shift_JIS bytes; characters outside code page 932 (JIS X 0212) are
// decoded on their own and put in between.
class SjisBuilder {
public:
    void Byte(uchar b) { FPending.append(static_cast<char>(b)); }
    void Jis(uchar j1, uchar j2)
    {
        const uchar s1 = static_cast<uchar>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
        const uchar s2 = static_cast<uchar>(j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E));
        Byte(s1);
        Byte(s2);
    }
    void Jis0212(uchar j1, uchar j2)
    {
        Flush();
        QByteArray euc;
        euc.append(static_cast<char>(0x8F));
        euc.append(static_cast<char>(j1 | 0x80));
        euc.append(static_cast<char>(j2 | 0x80));
        FText += IcuDecode("EUC-JP", euc).value_or(QString(QChar(0xFFFD)));
    }
    QString Finish()
    {
        Flush();
        return FText;
    }

private:
    void Flush()
    {
        if (!FPending.isEmpty())
            FText += Cp932(FPending);
        FPending.clear();
    }
    QByteArray FPending;
    QString FText;
};

bool IsJisByte(uchar b) { return b >= 0x21 && b <= 0x7E; }

QString DecodeIso2022Jp(const QByteArray& bytes)
{
    enum class Mode { Ascii, Kanji, Katakana, Jis0212 };
    Mode mode = Mode::Ascii;
    bool shiftOut = false;
    SjisBuilder out;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = p[i];
        if (b == 0x1B) {
            const QByteArray rest = bytes.mid(i + 1, 3);
            if (rest.startsWith("(B") || rest.startsWith("(J") || rest.startsWith("(H")) {
                mode = Mode::Ascii;
                i += 2;
            } else if (rest.startsWith("(I")) {
                mode = Mode::Katakana;
                i += 2;
            } else if (rest.startsWith("$@") || rest.startsWith("$B")) {
                mode = Mode::Kanji;
                i += 2;
            } else if (rest.startsWith("$(D")) {
                mode = Mode::Jis0212;
                i += 3;
            } else if (rest.startsWith("&@")) {
                i += 2; // announces a JIS X 0208 revision; the next sequence follows
            } else {
                out.Byte(b);
            }
            continue;
        }
        if (b == 0x0E) {
            shiftOut = true;
            continue;
        }
        if (b == 0x0F) {
            shiftOut = false;
            continue;
        }
        if (b == '\r' || b == '\n') {
            // A line break ends any two-byte mode in mail text.
            mode = Mode::Ascii;
            shiftOut = false;
            out.Byte(b);
            continue;
        }
        if (shiftOut || mode == Mode::Katakana) {
            out.Byte(IsJisByte(b) && b <= 0x5F ? static_cast<uchar>(b + 0x80) : b);
            continue;
        }
        if ((mode == Mode::Kanji || mode == Mode::Jis0212) && IsJisByte(b) && i + 1 < n &&
            IsJisByte(p[i + 1])) {
            if (mode == Mode::Kanji)
                out.Jis(b, p[i + 1]);
            else
                out.Jis0212(b, p[i + 1]);
            ++i;
            continue;
        }
        out.Byte(b);
    }
    return out.Finish();
}

QString DecodeEucJp(const QByteArray& bytes)
{
    SjisBuilder out;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = p[i];
        if (b == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
            out.Byte(p[i + 1]);
            ++i;
        } else if (b == 0x8F && i + 2 < n && p[i + 1] >= 0xA1 && p[i + 2] >= 0xA1) {
            out.Jis0212(p[i + 1] & 0x7F, p[i + 2] & 0x7F);
            i += 2;
        } else if (b >= 0xA1 && b <= 0xFE && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xFE) {
            out.Jis(b & 0x7F, p[i + 1] & 0x7F);
            ++i;
        } else if (b < 0x80) {
            out.Byte(b);
        } else {
            out.Byte(0xFF); // not a character of EUC-JP; becomes U+FFFD
        }
    }
    return out.Finish();
}

QByteArray IcuName(int codePage)
{
    switch (codePage) {
    case 932:
        return "windows-31j";
    case 936:
        return "windows-936-2000";
    case 949:
        return "windows-949-2000";
    case 950:
        return "windows-950-2000";
    case 874:
        return "windows-874-2000";
    case 20127:
        return "US-ASCII";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 10000:
        return "macintosh";
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 65000:
        return "UTF-7";
    case 54936:
        return "GB18030";
    case 51949:
        return "EUC-KR";
    case 50225:
        return "ISO-2022-KR";
    case 52936:
        return "HZ";
    default:
        break;
    }
    if (codePage >= 1250 && codePage <= 1258)
        return "windows-" + QByteArray::number(codePage);
    if (codePage >= 28591 && codePage <= 28606)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    if (codePage > 0 && codePage < 1000)
        return "ibm-" + QByteArray::number(codePage);
    return QByteArray();
}

bool IsJapaneseSpecial(int codePage)
{
    return codePage == 50220 || codePage == 50221 || codePage == 50222 || codePage == 51932 ||
           codePage == 20932;
}

} // namespace

bool IsKnownCodePage(int codePage)
{
    if (codePage == 65001 || IsJapaneseSpecial(codePage))
        return true;
    const QByteArray name = IcuName(codePage);
    if (name.isEmpty())
        return false;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.constData(), &status);
    if (converter)
        ucnv_close(converter);
    return U_SUCCESS(status) && converter;
}

QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    switch (codePage) {
    case 65001:
        return QString::fromUtf8(bytes);
    case 50220:
    case 50221:
    case 50222:
        return DecodeIso2022Jp(bytes);
    case 51932:
    case 20932:
        return DecodeEucJp(bytes);
    default:
        break;
    }
    const QByteArray name = IcuName(codePage);
    if (!name.isEmpty()) {
        if (std::optional<QString> text = IcuDecode(name.constData(), bytes))
            return *text;
    }
    return IcuDecode("windows-1252", bytes).value_or(QString::fromLatin1(bytes));
}

int DefaultAnsiCodePage()
{
    return QLocale::system().language() == QLocale::Japanese ? 932 : 1252;
}

int CodePageOfCharset(const QString& charset)
{
    const QString c = charset.trimmed().toLower();
    struct Entry {
        const char* name;
        int codePage;
    };
    static const Entry table[] = {
        {"utf-8", 65001},        {"utf8", 65001},         {"us-ascii", 20127},
        {"iso-2022-jp", 50220},  {"csiso2022jp", 50220},  {"shift_jis", 932},
        {"shift-jis", 932},      {"sjis", 932},           {"x-sjis", 932},
        {"windows-31j", 932},    {"cp932", 932},          {"euc-jp", 51932},
        {"x-euc-jp", 51932},     {"iso-8859-1", 28591},   {"latin1", 28591},
        {"gb2312", 936},         {"gbk", 936},            {"gb18030", 54936},
        {"big5", 950},           {"euc-kr", 949},         {"ks_c_5601-1987", 949},
        {"koi8-r", 20866},       {"koi8-u", 21866},       {"utf-16", 1200},
        {"utf-16le", 1200},      {"utf-16be", 1201},      {"utf-7", 65000},
    };
    for (const Entry& e : table)
        if (c == QLatin1String(e.name))
            return e.codePage;
    if (c.startsWith(QLatin1String("windows-")))
        return c.mid(8).toInt();
    if (c.startsWith(QLatin1String("iso-8859-"))) {
        const int part = c.mid(9).toInt();
        return part > 0 ? 28590 + part : 0;
    }
    return 0;
}

} // namespace OutlookPst
