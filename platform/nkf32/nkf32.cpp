// Encoding conversions between the Japanese character sets and Unicode, with the
// option letters of the Network Kanji Filter, built on ICU.
//
// Handled: the output encodings -w (UTF-8; -w8 with a byte-order mark, -w80
// without), -w16L/-w16B, -s (Shift_JIS), -e (EUC-JP) and -j (ISO-2022-JP); the
// input declarations -W, -W16L, -W16B, -S, -E and -J (without one the input
// encoding is detected); --ms-ucs-map (Microsoft mapping for Shift_JIS and
// EUC-JP) and -x (keep half-width katakana, which this converter always does).
// Other NKF options are accepted by SetNkfOption, and a conversion that needs one
// of them is refused.

#include "nkf32.h"

#include <unicode/ucnv.h>
#include <unicode/utypes.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

enum class Enc { Unknown, Utf8, Utf8Bom, Utf16LE, Utf16BE, Sjis, Euc, Jis };

struct Options {
    Enc output = Enc::Utf8;
    bool outputSet = false;
    Enc input = Enc::Unknown;
    bool msUcsMap = false;
    bool unsupported = false; // an option this converter does not carry out
};

Options gOptions;

const char* IcuName(Enc enc, bool ms)
{
    switch (enc) {
    case Enc::Utf8:
    case Enc::Utf8Bom:
        return "UTF-8";
    case Enc::Utf16LE:
        return "UTF-16LE";
    case Enc::Utf16BE:
        return "UTF-16BE";
    case Enc::Sjis:
        return ms ? "windows-31j" : "Shift_JIS";
    case Enc::Euc:
        return ms ? "ibm-33722_P12A_P12A-2009_U2" : "EUC-JP";
    case Enc::Jis:
        return "ISO-2022-JP";
    case Enc::Unknown:
        break;
    }
    return nullptr;
}

bool ParseEncodingSuffix(const std::string& rest, bool output, Enc& enc)
{
    if (rest.empty() || rest == "8" || rest == "80")
        enc = output && rest == "8" ? Enc::Utf8Bom : Enc::Utf8;
    else if (rest == "16" || rest == "16B" || rest == "16B0" || rest == "16B8")
        enc = Enc::Utf16BE;
    else if (rest == "16L" || rest == "16L0" || rest == "16L8")
        enc = Enc::Utf16LE;
    else
        return false;
    return true;
}

// One option word, such as "-wW16L" or "--ms-ucs-map".
bool ParseWord(const std::string& word, Options& o)
{
    if (word.rfind("--", 0) == 0) {
        const std::string name = word.substr(2);
        if (name == "ms-ucs-map") {
            o.msUcsMap = true;
            return true;
        }
        static const char* const known[] = {"hiragana", "katakana", "katakana-hiragana",
                                            "cp932", "no-cp932", "cp932inv", "fb-skip",
                                            "fb-html", "prefix", "guess", "overwrite"};
        for (const char* k : known) {
            if (name.rfind(k, 0) == 0) {
                o.unsupported = true;
                return true;
            }
        }
        return false;
    }
    if (word.size() < 2 || word[0] != '-')
        return false;
    std::size_t i = 1;
    while (i < word.size()) {
        const char c = word[i++];
        switch (c) {
        case 'w':
        case 'W': {
            std::size_t j = i;
            while (j < word.size() && (isdigit(static_cast<unsigned char>(word[j])) ||
                                       word[j] == 'L' || word[j] == 'B'))
                ++j;
            Enc enc;
            if (!ParseEncodingSuffix(word.substr(i, j - i), c == 'w', enc))
                return false;
            i = j;
            if (c == 'w') {
                o.output = enc;
                o.outputSet = true;
            } else {
                o.input = enc == Enc::Utf8Bom ? Enc::Utf8 : enc;
            }
            break;
        }
        case 's':
            o.output = Enc::Sjis;
            o.outputSet = true;
            break;
        case 'e':
            o.output = Enc::Euc;
            o.outputSet = true;
            break;
        case 'j':
            o.output = Enc::Jis;
            o.outputSet = true;
            break;
        case 'S':
            o.input = Enc::Sjis;
            break;
        case 'E':
            o.input = Enc::Euc;
            break;
        case 'J':
            o.input = Enc::Jis;
            break;
        case 'x':
            break;
        case 'X':
        case 'M':
        case 'm':
        case 'Z':
        case 'h':
            // Width, kana and MIME conversions: known, not carried out here.
            while (i < word.size() && (isdigit(static_cast<unsigned char>(word[i])) ||
                                       word[i] == 'B' || word[i] == 'Q' || word[i] == 'N'))
                ++i;
            o.unsupported = true;
            break;
        default:
            return false;
        }
    }
    return true;
}

bool IsValidUtf8(const unsigned char* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > n)
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

bool IsValidEuc(const unsigned char* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
        } else if (c == 0x8E) {
            if (i + 1 >= n || p[i + 1] < 0xA1 || p[i + 1] > 0xDF)
                return false;
            i += 2;
        } else if (c == 0x8F) {
            if (i + 2 >= n || p[i + 1] < 0xA1 || p[i + 2] < 0xA1)
                return false;
            i += 3;
        } else if (c >= 0xA1 && c <= 0xFE) {
            if (i + 1 >= n || p[i + 1] < 0xA1 || p[i + 1] > 0xFE)
                return false;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

Enc Detect(const unsigned char* p, std::size_t n)
{
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return Enc::Utf8;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return Enc::Utf16LE;
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return Enc::Utf16BE;
    if (std::memchr(p, 0x1B, n))
        return Enc::Jis;
    if (IsValidUtf8(p, n))
        return Enc::Utf8;
    if (IsValidEuc(p, n))
        return Enc::Euc;
    return Enc::Sjis;
}

bool Convert(const Options& o, const char* in, std::size_t inSize, std::string& out)
{
    if (o.unsupported)
        return false;
    const Enc inEnc =
        o.input != Enc::Unknown ? o.input : Detect(reinterpret_cast<const unsigned char*>(in), inSize);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* from = ucnv_open(IcuName(inEnc, o.msUcsMap || inEnc == Enc::Sjis), &status);
    if (U_FAILURE(status))
        return false;
    // Strip an input byte-order mark; the output carries one only for -w8.
    std::size_t skip = 0;
    if (inEnc == Enc::Utf8 && inSize >= 3 && std::memcmp(in, "\xEF\xBB\xBF", 3) == 0)
        skip = 3;
    else if ((inEnc == Enc::Utf16LE && inSize >= 2 && std::memcmp(in, "\xFF\xFE", 2) == 0) ||
             (inEnc == Enc::Utf16BE && inSize >= 2 && std::memcmp(in, "\xFE\xFF", 2) == 0))
        skip = 2;
    ucnv_setToUCallBack(from, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    std::vector<UChar> wide((inSize - skip) * 2 + 4);
    const int32_t wlen = ucnv_toUChars(from, wide.data(), static_cast<int32_t>(wide.size()),
                                       in + skip, static_cast<int32_t>(inSize - skip), &status);
    ucnv_close(from);
    if (U_FAILURE(status))
        return false;

    status = U_ZERO_ERROR;
    UConverter* to = ucnv_open(IcuName(o.output, o.msUcsMap || o.output == Enc::Sjis), &status);
    if (U_FAILURE(status))
        return false;
    out.assign(static_cast<std::size_t>(wlen) * 4 + 16, '\0');
    int32_t len = ucnv_fromUChars(to, out.data(), static_cast<int32_t>(out.size()), wide.data(),
                                  wlen, &status);
    ucnv_close(to);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        return false;
    out.resize(static_cast<std::size_t>(len));
    if (o.output == Enc::Utf8Bom)
        out.insert(0, "\xEF\xBB\xBF");
    return true;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int SetNkfOption(const char* option)
{
    Options o;
    if (option) {
        std::string text(option);
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && text[i] == ' ')
                ++i;
            std::size_t j = i;
            while (j < text.size() && text[j] != ' ')
                ++j;
            if (j > i && !ParseWord(text.substr(i, j - i), o))
                return -1;
            i = j;
        }
    }
    gOptions = o;
    return 0;
}

extern "C" __attribute__((visibility("default"))) int
NkfConvertSafe(char* out, uint32_t outSize, uint32_t* written, const char* in, uint32_t inSize)
{
    if (!written || (!in && inSize > 0))
        return 0;
    std::string result;
    if (inSize > 0 && !Convert(gOptions, in, inSize, result))
        return 0;
    *written = static_cast<uint32_t>(result.size());
    if (!out && outSize == 0)
        return 1;
    if (!out || outSize < result.size())
        return 0;
    std::memcpy(out, result.data(), result.size());
    return 1;
}

extern "C" __attribute__((visibility("default"))) int GetNkfVersionSafeW(char16_t* out,
                                                                         uint32_t size,
                                                                         uint32_t* needed)
{
    static const char16_t version[] = u"2.1.5";
    const uint32_t length = sizeof version / sizeof version[0] - 1;
    if (needed)
        *needed = length;
    if (size == 0)
        return 1;
    if (!out || size < length)
        return 0;
    std::memcpy(out, version, length * sizeof(char16_t));
    return 1;
}
