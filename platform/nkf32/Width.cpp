#include "Width.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <array>
#include <map>
#include <memory>

namespace nkf32 {
namespace {

constexpr std::uint32_t kVoicedMark = 0x5E;     // half-width ﾞ
constexpr std::uint32_t kSemiVoicedMark = 0x5F; // half-width ﾟ

std::uint32_t SingleCodePoint(const icu::UnicodeString& s)
{
    return s.countChar32() == 1 ? static_cast<std::uint32_t>(s.char32At(0)) : 0;
}

// The JIS codes of the half-width katakana, of their voiced and semi-voiced
// forms, and the way back. Built once from ICU's width transliterator and
// canonical composition.
struct KanaTables {
    std::array<std::uint32_t, 0x40> wide{};   // X0201 kana -> JIS code
    std::array<std::uint32_t, 0x40> voiced{}; // with ﾞ -> JIS code, 0 when none
    std::array<std::uint32_t, 0x40> semi{};   // with ﾟ -> JIS code, 0 when none
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> narrow; // JIS -> kana, mark

    KanaTables()
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> widen(
            icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
        const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status))
            return;
        for (std::uint32_t k = 0x21; k <= 0x5F; ++k) {
            icu::UnicodeString s(static_cast<UChar32>(0xFF61 + k - 0x21));
            widen->transliterate(s);
            // The sound marks alone widen to the spacing marks of the JIS row 1.
            const std::uint32_t cp = k == kVoicedMark       ? 0x309B
                                     : k == kSemiVoicedMark ? 0x309C
                                                            : SingleCodePoint(s);
            const Char c = FromUnicode(cp, Mapping{true, false});
            if (c.kind != Char::Jis)
                continue;
            wide[k - 0x20] = c.value;
            if (!narrow.count(c.value))
                narrow[c.value] = {k, 0};
            for (const auto& [mark, combining, table] :
                 {std::tuple{kVoicedMark, 0x3099, &voiced},
                  std::tuple{kSemiVoicedMark, 0x309A, &semi}}) {
                icu::UnicodeString joined(s);
                joined.append(static_cast<UChar32>(combining));
                const icu::UnicodeString composed = nfc->normalize(joined, status);
                const std::uint32_t cp = SingleCodePoint(composed);
                const Char j = cp ? FromUnicode(cp, Mapping{true, false}) : Char{Char::Uni, 0};
                if (U_SUCCESS(status) && j.kind == Char::Jis) {
                    (*table)[k - 0x20] = j.value;
                    narrow[j.value] = {k, mark};
                }
            }
        }
    }
};

const KanaTables& GetKanaTables()
{
    static const KanaTables tables;
    return tables;
}

const std::pair<std::uint32_t, char> kRow1Ascii[] = {
    {0x212D, '\''}, {0x213D, '-'}, {0x2146, '`'}, {0x2147, '\''},
    {0x2148, '"'},  {0x2149, '"'}, {0x2152, '<'}, {0x2153, '>'},
};

} // namespace

void WidenKana(Text& text)
{
    const KanaTables& t = GetKanaTables();
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Char& c = text[i];
        if (c.kind != Char::Kana || !t.wide[c.value - 0x20]) {
            out.push_back(c);
            continue;
        }
        const std::size_t k = c.value - 0x20;
        if (i + 1 < text.size() && text[i + 1].kind == Char::Kana) {
            const std::uint32_t next = text[i + 1].value;
            const std::uint32_t joined = next == kVoicedMark       ? t.voiced[k]
                                         : next == kSemiVoicedMark ? t.semi[k]
                                                                   : 0;
            if (joined) {
                out.push_back({Char::Jis, joined, true});
                ++i;
                continue;
            }
        }
        out.push_back({Char::Jis, t.wide[k], true});
    }
    text.swap(out);
}

void Narrow(Text& text, const NarrowOptions& options)
{
    const KanaTables& t = GetKanaTables();
    Text out;
    out.reserve(text.size());
    for (const Char& c : text) {
        if (options.kana && c.kind == Char::Uni && (c.value == 0x3099 || c.value == 0x309A)) {
            // The combining sound marks have half-width forms too.
            out.push_back({Char::Kana, c.value == 0x3099 ? kVoicedMark : kSemiVoicedMark});
            continue;
        }
        if (c.kind != Char::Jis || c.widened) {
            out.push_back(c);
            continue;
        }
        if (c.value == 0x2121) { // ideographic space
            if (options.spaces == 0)
                out.push_back(c);
            for (int i = 0; i < options.spaces; ++i)
                out.push_back({Char::Ascii, ' '});
            continue;
        }
        const std::uint32_t row = c.value >> 8;
        std::u32string cps;
        AppendUnicode(c, Mapping{true, false}, cps);
        const std::uint32_t cp = cps.size() == 1 ? cps[0] : 0;
        // Row 1 symbols and row 3 letters and digits with an ASCII form; the
        // full-width tilde stays, as the JIS sets read that code as a wave dash.
        char ascii = 0;
        if ((row == 0x21 || row == 0x23) && cp >= 0xFF01 && cp <= 0xFF5E && c.value != 0x2141)
            ascii = static_cast<char>(cp - 0xFEE0);
        // Quotes, accents, dashes and angle brackets of row 1 that stand for ASCII too.
        for (const auto& [jis, a] : kRow1Ascii)
            if (c.value == jis)
                ascii = a;
        if (ascii) {
            const char* entity = !options.entities ? nullptr
                                 : ascii == '>'    ? "&gt;"
                                 : ascii == '<'    ? "&lt;"
                                 : ascii == '"'    ? "&quot;"
                                 : ascii == '&'    ? "&amp;"
                                                   : nullptr;
            if (entity) {
                for (const char* p = entity; *p; ++p)
                    out.push_back({Char::Ascii, static_cast<std::uint32_t>(*p)});
            } else {
                out.push_back({Char::Ascii, static_cast<std::uint32_t>(ascii)});
            }
            continue;
        }
        if (options.kana) {
            const auto it = t.narrow.find(c.value);
            if (it != t.narrow.end()) {
                out.push_back({Char::Kana, it->second.first});
                if (it->second.second)
                    out.push_back({Char::Kana, it->second.second});
                continue;
            }
        }
        out.push_back(c);
    }
    text.swap(out);
}

void ConvertKana(Text& text, bool toHiragana)
{
    constexpr std::uint32_t kHiraganaVu = 0x3094; // outside JIS X 0208
    for (Char& c : text) {
        if (toHiragana) {
            if (c.kind == Char::Jis && (c.value >> 8) == 0x25 && (c.value & 0xFF) <= 0x73)
                c.value = 0x2400 | (c.value & 0xFF);
            else if (c.kind == Char::Jis && (c.value == 0x2133 || c.value == 0x2134))
                c.value += 2; // iteration marks
            else if (c.kind == Char::Jis && c.value == 0x2574)
                c = {Char::Uni, kHiraganaVu};
        } else {
            if (c.kind == Char::Jis && (c.value >> 8) == 0x24 && (c.value & 0xFF) <= 0x73)
                c.value = 0x2500 | (c.value & 0xFF);
            else if (c.kind == Char::Jis && (c.value == 0x2135 || c.value == 0x2136))
                c.value -= 2;
            else if (c.kind == Char::Uni && c.value == kHiraganaVu)
                c = {Char::Jis, 0x2574};
        }
    }
}

} // namespace nkf32
