#include "Charsets.h"

#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <memory>

namespace nkf32 {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr int kRows = 94;
constexpr std::uint32_t kUserDefined = 10 * 188; // Shift_JIS F040..F9FC

int Index(std::uint32_t jis)
{
    return static_cast<int>(((jis >> 8) - 0x21) * kRows + ((jis & 0xFF) - 0x21));
}
std::uint32_t JisAt(int index)
{
    return static_cast<std::uint32_t>((index / kRows + 0x21) << 8 | (index % kRows + 0x21));
}

// Shift_JIS and JIS X 0208 are two layouts of the same rows and cells.
std::uint32_t SjisToJis(unsigned s1, unsigned s2)
{
    unsigned j1 = (s1 - (s1 <= 0x9F ? 0x70u : 0xB0u)) << 1;
    unsigned j2;
    if (s2 < 0x9F) {
        --j1;
        j2 = s2 - (s2 < 0x7F ? 0x1Fu : 0x20u);
    } else {
        j2 = s2 - 0x7E;
    }
    return j1 << 8 | j2;
}

void JisToSjis(std::uint32_t jis, unsigned char out[2])
{
    const unsigned j1 = jis >> 8, j2 = jis & 0xFF;
    out[0] = static_cast<unsigned char>(((j1 - 1) >> 1) + (j1 <= 0x5E ? 0x71 : 0xB1));
    if (j1 & 1)
        out[1] = static_cast<unsigned char>(j2 + (j2 < 0x60 ? 0x1F : 0x20));
    else
        out[1] = static_cast<unsigned char>(j2 + 0x7E);
}

struct IcuConverter {
    explicit IcuConverter(const char* name)
    {
        UErrorCode status = U_ZERO_ERROR;
        cnv = ucnv_open(name, &status);
        if (U_FAILURE(status))
            cnv = nullptr;
    }
    ~IcuConverter()
    {
        if (cnv)
            ucnv_close(cnv);
    }
    IcuConverter(const IcuConverter&) = delete;
    IcuConverter& operator=(const IcuConverter&) = delete;

    // The code points of the bytes, or nothing when a byte sequence is not mapped.
    std::u32string ToUnicode(const char* p, std::size_t n) const
    {
        std::u32string result;
        if (!cnv)
            return result;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(cnv);
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        std::vector<UChar> wide(n * 2 + 2);
        const int32_t len = ucnv_toUChars(cnv, wide.data(), static_cast<int32_t>(wide.size()), p,
                                          static_cast<int32_t>(n), &status);
        if (U_FAILURE(status))
            return result;
        for (int32_t i = 0; i < len;) {
            UChar32 cp;
            U16_NEXT(wide.data(), i, len, cp);
            result.push_back(static_cast<std::uint32_t>(cp));
        }
        return result;
    }
    // The bytes of one code point, or nothing when it is not mapped.
    std::string FromUnicode(std::uint32_t cp) const
    {
        if (!cnv)
            return {};
        UChar wide[2];
        int32_t wlen = 0;
        UBool error = false;
        U16_APPEND(wide, wlen, 2, static_cast<UChar32>(cp), error);
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(cnv);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        char out[8];
        const int32_t len = ucnv_fromUChars(cnv, out, sizeof out, wide, wlen, &status);
        if (U_FAILURE(status) || error)
            return {};
        return std::string(out, static_cast<std::size_t>(len));
    }

    UConverter* cnv;
};

// Differences from the Windows code page mapping. JIS codes that the JIS
// mapping reads as other code points than the Microsoft one:
const std::pair<std::uint32_t, std::uint32_t> kJisOnlyDecode[] = {
    {0x2131, 0x203E}, // OVERLINE for FULLWIDTH MACRON
    {0x213D, 0x2014}, // EM DASH for HORIZONTAL BAR
    {0x2141, 0x301C}, // WAVE DASH for FULLWIDTH TILDE
    {0x2142, 0x2016}, // DOUBLE VERTICAL LINE for PARALLEL TO
    {0x215D, 0x2212}, // MINUS SIGN for FULLWIDTH HYPHEN-MINUS
    {0x216F, 0x00A5}, // YEN SIGN for FULLWIDTH YEN SIGN
    {0x2171, 0x00A2}, // CENT SIGN
    {0x2172, 0x00A3}, // POUND SIGN
    {0x224C, 0x00AC}, // NOT SIGN
    {0x7C7C, 0x00A6}, // BROKEN BAR for FULLWIDTH BROKEN BAR
};
// Code points read into JIS codes in both mappings, beyond the code page's own.
const std::pair<std::uint32_t, std::uint32_t> kExtraEncode[] = {
    {0x00A2, 0x2171}, {0x00A3, 0x2172}, {0x00A5, 0x216F}, {0x00A6, 0x7C7C},
    {0x00AC, 0x224C}, {0x00AF, 0x2131}, {0x00B8, 0x2124}, {0x2014, 0x213D},
    {0x2016, 0x2142}, {0x203E, 0x2131}, {0x2212, 0x215D}, {0x301C, 0x2141},
};

struct Tables {
    std::array<std::uint32_t, kRows * kRows> toUnicodeMs{};  // 0: unassigned
    std::array<std::uint32_t, kRows * kRows> toUnicodeJis{}; // 0: unassigned
    std::vector<std::uint16_t> fromUnicode = std::vector<std::uint16_t>(0x10000, 0);
    // Shift_JIS output of the NEC-selected rows: the code page's own codes.
    std::array<std::uint16_t, kRows * kRows> sjisOut{};
    IcuConverter windows31j{"windows-31j"};
    IcuConverter eucjp{"EUC-JP"};

    Tables()
    {
        for (int i = 0; i < kRows * kRows; ++i) {
            unsigned char s[2];
            JisToSjis(JisAt(i), s);
            const std::u32string cps = windows31j.ToUnicode(reinterpret_cast<const char*>(s), 2);
            if (cps.size() == 1 && cps[0] != kReplacement && cps[0] != 0x1A)
                toUnicodeMs[static_cast<std::size_t>(i)] = cps[0];
        }
        toUnicodeJis = toUnicodeMs;
        for (const auto& [jis, cp] : kJisOnlyDecode)
            toUnicodeJis[static_cast<std::size_t>(Index(jis))] = cp;

        // Each code point goes to the JIS code the code page writes it as; where
        // that is one of the IBM extension codes, to the same character in the
        // NEC-selected rows, which is how the JIS code sets hold it.
        for (int i = 0; i < kRows * kRows; ++i) {
            const std::uint32_t cp = toUnicodeMs[static_cast<std::size_t>(i)];
            if (!cp || cp >= 0x10000 || fromUnicode[cp])
                continue;
            const std::string bytes = windows31j.FromUnicode(cp);
            if (bytes.size() != 2)
                continue;
            const auto s1 = static_cast<unsigned char>(bytes[0]),
                       s2 = static_cast<unsigned char>(bytes[1]);
            if (s1 >= 0xFA) {
                for (int k = Index(0x7921); k < kRows * kRows; ++k)
                    if (toUnicodeMs[static_cast<std::size_t>(k)] == cp) {
                        fromUnicode[cp] = static_cast<std::uint16_t>(JisAt(k));
                        break;
                    }
            } else if (s1 <= 0xEF) {
                fromUnicode[cp] = static_cast<std::uint16_t>(SjisToJis(s1, s2));
            }
        }
        // Shift_JIS writes the NEC-selected rows as the code page does.
        for (int k = Index(0x7921); k < kRows * kRows; ++k) {
            const std::string bytes =
                windows31j.FromUnicode(toUnicodeMs[static_cast<std::size_t>(k)]);
            if (toUnicodeMs[static_cast<std::size_t>(k)] && bytes.size() == 2)
                sjisOut[static_cast<std::size_t>(k)] =
                    static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                                               static_cast<unsigned char>(bytes[1]));
        }
        for (const auto& [cp, jis] : kExtraEncode)
            fromUnicode[cp] = static_cast<std::uint16_t>(jis);
    }
};

const Tables& GetTables()
{
    static const Tables tables;
    return tables;
}

void AppendUtf8(std::uint32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::uint32_t cp, bool little, std::string& out)
{
    auto unit = [&](std::uint32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += little ? lo : hi;
        out += little ? hi : lo;
    };
    if (cp >= 0x10000) {
        unit(0xD800 + ((cp - 0x10000) >> 10));
        unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        unit(cp);
    }
}

void DecodeUtf8(const unsigned char* p, std::size_t n, const Mapping& map, Text& out)
{
    std::size_t i = 0;
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        i = 3;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = c < 0x80                 ? 1
                          : c >= 0xC2 && c <= 0xDF ? 2
                          : (c >> 4) == 0xE        ? 3
                          : c >= 0xF0 && c <= 0xF4 ? 4
                                                   : 0;
        std::uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1Fu : len == 3 ? c & 0x0Fu : c & 0x07u;
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (p[i + k] & 0x3Fu);
        }
        if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
                   (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            out.push_back({Char::Uni, kReplacement});
            ++i;
            continue;
        }
        out.push_back(FromUnicode(cp, map));
        i += len;
    }
}

void DecodeUtf16(const unsigned char* p, std::size_t n, bool little, const Mapping& map, Text& out)
{
    std::size_t i = 0;
    if (n >= 2 &&
        ((little && p[0] == 0xFF && p[1] == 0xFE) || (!little && p[0] == 0xFE && p[1] == 0xFF)))
        i = 2;
    auto unit = [&](std::size_t k) -> std::uint32_t {
        return little ? static_cast<std::uint32_t>(p[k] | p[k + 1] << 8)
                      : static_cast<std::uint32_t>(p[k] << 8 | p[k + 1]);
    };
    while (i + 1 < n) {
        std::uint32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) {
            const std::uint32_t low = unit(i);
            if (low >= 0xDC00 && low < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (u >= 0xD800 && u < 0xE000)
            u = kReplacement;
        out.push_back(FromUnicode(u, map));
    }
    if (i < n)
        out.push_back({Char::Uni, kReplacement});
}

void PushJis(std::uint32_t jis, Text& out)
{
    if ((jis >> 8) < 0x21 || (jis >> 8) > 0x7E || (jis & 0xFF) < 0x21 || (jis & 0xFF) > 0x7E)
        out.push_back({Char::Uni, kReplacement});
    else
        out.push_back({Char::Jis, jis});
}

// A character of the code page outside the JIS rows (user-defined area, IBM
// extensions) or of JIS X 0212, through ICU.
void PushThroughIcu(const IcuConverter& cnv, const char* p, std::size_t n, const Mapping& map,
                    Text& out)
{
    const std::u32string cps = cnv.ToUnicode(p, n);
    if (cps.size() != 1) {
        out.push_back({Char::Uni, kReplacement});
        return;
    }
    out.push_back(FromUnicode(cps[0], map));
}

void DecodeSjis(const unsigned char* p, std::size_t n, const Mapping& map, Text& out)
{
    const Tables& t = GetTables();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back({Char::Ascii, c});
            ++i;
        } else if (c >= 0xA1 && c <= 0xDF) {
            out.push_back({Char::Kana, static_cast<std::uint32_t>(c - 0x80)});
            ++i;
        } else if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < n &&
                   p[i + 1] >= 0x40 && p[i + 1] <= 0xFC && p[i + 1] != 0x7F) {
            if (c <= 0xEF)
                PushJis(SjisToJis(c, p[i + 1]), out);
            else
                PushThroughIcu(t.windows31j, reinterpret_cast<const char*>(p + i), 2, map, out);
            i += 2;
        } else {
            out.push_back({Char::Uni, kReplacement});
            ++i;
        }
    }
}

void DecodeEuc(const unsigned char* p, std::size_t n, const Mapping& map, Text& out)
{
    const Tables& t = GetTables();
    auto high = [&](std::size_t k) { return k < n && p[k] >= 0xA1 && p[k] <= 0xFE; };
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back({Char::Ascii, c});
            ++i;
        } else if (c == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
            out.push_back({Char::Kana, static_cast<std::uint32_t>(p[i + 1] - 0x80)});
            i += 2;
        } else if (c == 0x8F && high(i + 1) && high(i + 2)) {
            PushThroughIcu(t.eucjp, reinterpret_cast<const char*>(p + i), 3, map, out);
            i += 3;
        } else if (high(i) && high(i + 1)) {
            out.push_back(
                {Char::Jis, static_cast<std::uint32_t>((c & 0x7F) << 8 | (p[i + 1] & 0x7F))});
            i += 2;
        } else {
            out.push_back({Char::Uni, kReplacement});
            ++i;
        }
    }
}

void DecodeJis(const unsigned char* p, std::size_t n, const Mapping& map, Text& out)
{
    const Tables& t = GetTables();
    enum { Ascii, Kanji, Kanji0212, Kana } mode = Ascii;
    bool shifted = false; // SO: half-width katakana until SI
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == 0x1B) {
            auto at = [&](std::size_t k) { return i + k < n ? p[i + k] : 0; };
            if (at(1) == '(' && (at(2) == 'B' || at(2) == 'J' || at(2) == 'H')) {
                mode = Ascii;
                i += 3;
                continue;
            }
            if (at(1) == '(' && at(2) == 'I') {
                mode = Kana;
                i += 3;
                continue;
            }
            if (at(1) == '$' && (at(2) == '@' || at(2) == 'B')) {
                mode = Kanji;
                i += 3;
                continue;
            }
            if (at(1) == '$' && at(2) == '(' &&
                (at(3) == 'B' || at(3) == '@' || at(3) == 'Q' || at(3) == 'O')) {
                mode = Kanji;
                i += 4;
                continue;
            }
            if (at(1) == '$' && at(2) == '(' && at(3) == 'D') {
                mode = Kanji0212;
                i += 4;
                continue;
            }
            out.push_back({Char::Ascii, c});
            ++i;
            continue;
        }
        if (c == 0x0E || c == 0x0F) {
            shifted = c == 0x0E;
            ++i;
            continue;
        }
        if (c >= 0xA1 && c <= 0xDF) {
            out.push_back({Char::Kana, static_cast<std::uint32_t>(c - 0x80)});
            ++i;
        } else if (c >= 0x80) {
            out.push_back({Char::Uni, kReplacement});
            ++i;
        } else if (c > 0x20 && c < 0x7F && (shifted || mode == Kana) && c <= 0x5F) {
            out.push_back({Char::Kana, c});
            ++i;
        } else if (c > 0x20 && c < 0x7F && (mode == Kanji || mode == Kanji0212)) {
            if (i + 1 >= n || p[i + 1] <= 0x20 || p[i + 1] >= 0x7F) {
                out.push_back({Char::Uni, kReplacement});
                ++i;
            } else if (mode == Kanji) {
                out.push_back({Char::Jis, static_cast<std::uint32_t>(c << 8 | p[i + 1])});
                i += 2;
            } else {
                const char euc[3] = {'\x8F', static_cast<char>(c | 0x80),
                                     static_cast<char>(p[i + 1] | 0x80)};
                PushThroughIcu(t.eucjp, euc, 3, map, out);
                i += 2;
            }
        } else {
            out.push_back({Char::Ascii, c});
            ++i;
        }
    }
}

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

Char FromUnicode(std::uint32_t cp, const Mapping& map)
{
    if (cp < 0x80)
        return {Char::Ascii, cp};
    if (cp >= 0xFF61 && cp <= 0xFF9F)
        return {Char::Kana, cp - 0xFF61 + 0x21};
    if (map.msUcsMap && !map.eucOutput && cp == 0x00A5)
        return {Char::Ascii, '\\'};
    if (map.msUcsMap && !map.eucOutput && cp == 0x203E)
        return {Char::Ascii, '~'};
    if (map.unicodeOutput && (cp == 0x00AF || cp == 0x00B8 || (!map.msUcsMap && cp == 0xFF5E)))
        return {Char::Uni, cp};
    if (cp < 0x10000) {
        const std::uint16_t jis = GetTables().fromUnicode[cp];
        if (jis)
            return {Char::Jis, jis};
    }
    return {Char::Uni, cp};
}

void AppendUnicode(const Char& c, const Mapping& map, std::u32string& out)
{
    switch (c.kind) {
    case Char::Ascii:
    case Char::Uni:
        out.push_back(c.value);
        break;
    case Char::Kana:
        out.push_back(0xFF61 + c.value - 0x21);
        break;
    case Char::Jis: {
        const Tables& t = GetTables();
        const auto i = static_cast<std::size_t>(Index(c.value));
        const std::uint32_t cp = map.msUcsMap ? t.toUnicodeMs[i] : t.toUnicodeJis[i];
        out.push_back(cp ? cp : kReplacement);
        break;
    }
    }
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
    auto clean = [](const Text& text) {
        return std::none_of(text.begin(), text.end(), [](const Char& c) {
            return c.kind == Char::Uni && c.value == kReplacement;
        });
    };
    Text probe;
    DecodeUtf8(p, n, Mapping{}, probe);
    if (clean(probe))
        return Enc::Utf8;
    probe.clear();
    DecodeEuc(p, n, Mapping{}, probe);
    const bool euc = clean(probe);
    return euc ? Enc::Euc : Enc::Sjis;
}

void Decode(Enc enc, const unsigned char* p, std::size_t n, const Mapping& map, Text& out)
{
    switch (enc) {
    case Enc::Utf8:
    case Enc::Utf8Bom:
    case Enc::Unknown:
        DecodeUtf8(p, n, map, out);
        break;
    case Enc::Utf16LE:
    case Enc::Utf16BE:
        DecodeUtf16(p, n, enc == Enc::Utf16LE, map, out);
        break;
    case Enc::Sjis:
        DecodeSjis(p, n, map, out);
        break;
    case Enc::Euc:
        DecodeEuc(p, n, map, out);
        break;
    case Enc::Jis:
        DecodeJis(p, n, map, out);
        break;
    }
}

void TextEncoder::Put(const Char& c, std::string& out)
{
    switch (enc) {
    case Enc::Utf8:
    case Enc::Utf8Bom:
    case Enc::Unknown:
    case Enc::Utf16LE:
    case Enc::Utf16BE: {
        std::u32string cps;
        AppendUnicode(c, map, cps);
        for (std::uint32_t cp : cps) {
            if (enc == Enc::Utf16LE || enc == Enc::Utf16BE)
                AppendUtf16(cp, enc == Enc::Utf16LE, out);
            else
                AppendUtf8(cp, out);
        }
        break;
    }
    case Enc::Sjis:
        if (c.kind == Char::Ascii) {
            out += static_cast<char>(c.value);
        } else if (c.kind == Char::Kana) {
            out += static_cast<char>(c.value + 0x80);
        } else if (c.kind == Char::Jis) {
            const std::uint16_t ibm = GetTables().sjisOut[static_cast<std::size_t>(Index(c.value))];
            unsigned char s[2];
            JisToSjis(c.value, s);
            if (ibm) {
                s[0] = static_cast<unsigned char>(ibm >> 8);
                s[1] = static_cast<unsigned char>(ibm & 0xFF);
            }
            out.append(reinterpret_cast<const char*>(s), 2);
        } else if (c.value >= 0xE000 && c.value < 0xE000 + kUserDefined) {
            // The private use area holds the code page's user-defined rows.
            const unsigned index = c.value - 0xE000, trail = index % 188;
            out += static_cast<char>(0xF0 + index / 188);
            out += static_cast<char>(trail + (trail < 0x3F ? 0x40 : 0x41));
        }
        break;
    case Enc::Euc:
        if (c.kind == Char::Ascii) {
            out += static_cast<char>(c.value);
        } else if (c.kind == Char::Kana) {
            out += '\x8E';
            out += static_cast<char>(c.value + 0x80);
        } else if (c.kind == Char::Jis) {
            out += static_cast<char>((c.value >> 8) | 0x80);
            out += static_cast<char>((c.value & 0xFF) | 0x80);
        }
        break;
    case Enc::Jis:
        if (c.kind == Char::Uni)
            break;
        if (c.kind != jisMode) {
            out += c.kind == Char::Ascii ? "\x1B(B" : c.kind == Char::Kana ? "\x1B(I" : "\x1B$B";
            jisMode = c.kind;
        }
        if (c.kind == Char::Jis) {
            out += static_cast<char>(c.value >> 8);
            out += static_cast<char>(c.value & 0xFF);
        } else {
            out += static_cast<char>(c.value);
        }
        break;
    }
}

void TextEncoder::Finish(std::string& out)
{
    if (enc == Enc::Jis && jisMode != Char::Ascii) {
        out += "\x1B(B";
        jisMode = Char::Ascii;
    }
}

void Encode(Enc enc, const Text& text, const Mapping& map, std::string& out)
{
    TextEncoder encoder{enc, map};
    if (enc == Enc::Utf8Bom)
        out += "\xEF\xBB\xBF";
    for (const Char& c : text)
        encoder.Put(c, out);
    encoder.Finish(out);
}

bool DecodeCharset(const std::string& charset, const std::string& bytes, const Mapping& map,
                   Text& out)
{
    const std::string name = UpperAscii(charset);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    Enc enc = Enc::Unknown;
    if (name == "ISO-2022-JP" || name == "CSISO2022JP" || name == "ISO-2022-JP-1" ||
        name == "ISO-2022-JP-3" || name == "CP50220" || name == "CP50221")
        enc = Enc::Jis;
    else if (name == "SHIFT_JIS" || name == "SHIFT-JIS" || name == "SJIS" || name == "X-SJIS" ||
             name == "CP932" || name == "WINDOWS-31J" || name == "MS_KANJI")
        enc = Enc::Sjis;
    else if (name == "EUC-JP" || name == "EUCJP" || name == "X-EUC-JP" || name == "CP51932" ||
             name == "EUCJP-MS")
        enc = Enc::Euc;
    else if (name == "UTF-8" || name == "UTF8")
        enc = Enc::Utf8;
    if (enc != Enc::Unknown) {
        Decode(enc, p, bytes.size(), map, out);
        return true;
    }
    IcuConverter cnv(charset.c_str());
    if (!cnv.cnv)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(cnv.cnv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    std::vector<UChar> wide(bytes.size() * 2 + 2);
    const int32_t len = ucnv_toUChars(cnv.cnv, wide.data(), static_cast<int32_t>(wide.size()),
                                      bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status))
        return false;
    for (int32_t i = 0; i < len;) {
        UChar32 cp;
        U16_NEXT(wide.data(), i, len, cp);
        out.push_back(FromUnicode(static_cast<std::uint32_t>(cp), map));
    }
    return true;
}

} // namespace nkf32
