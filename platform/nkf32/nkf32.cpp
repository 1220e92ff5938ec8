// Encoding conversions between the Japanese character sets and Unicode, with the
// option letters of the Network Kanji Filter, built on ICU.
//
// Output encodings: -w (UTF-8; -w8 with a byte-order mark, -w80 without),
// -w16, -w16L, -w16B (UTF-16), -s (Shift_JIS), -e (EUC-JP), -j (ISO-2022-JP);
// UTF-8 when none is given. Input encodings: -W, -W16L, -W16B, -S, -E, -J; when
// none is given the input's encoding is detected.
// MIME: header words in the input are decoded unless -m0 is given; -mB and -mQ
// read the whole input as Base64 or quoted-printable (without an output encoding
// the decoded bytes are returned as they are); -M writes the output as Base64
// header words.
// Width and kana: half-width katakana are widened unless -x is given (-X asks
// for it explicitly); -Z narrows full-width letters, digits and symbols, -Z1 the
// ideographic space to one space, -Z2 to two, -Z3 writes >, <, " and & as HTML
// entities, -Z4 narrows full-width katakana; --hiragana and --katakana (or -h1,
// -h2) convert between the kana sets.
// --ms-ucs-map: the Microsoft mapping between Unicode and the JIS codes.
// Any other option is refused.

#include "nkf32.h"

#include "Charsets.h"
#include "Mime.h"
#include "Width.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

using namespace nkf32;

enum class MimeDecode { Header, Off, Base64, QuotedPrintable };

struct Options {
    Enc output = Enc::Utf8;
    bool outputSet = false;
    Enc input = Enc::Unknown;
    bool msUcsMap = false;
    MimeDecode mimeDecode = MimeDecode::Header;
    bool mimeEncode = false;
    bool keepHalfwidthKana = false;
    bool narrow = false;
    NarrowOptions narrowOptions;
    int kana = 0; // 1: to hiragana, 2: to katakana
};

Options gOptions;

// The digits and letters after w or W: UTF-8 or UTF-16 with byte order and mark.
bool ParseUnicodeSuffix(const std::string& rest, bool output, Enc& enc)
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

bool ParseLongOption(const std::string& name, Options& o)
{
    if (name == "ms-ucs-map")
        o.msUcsMap = true;
    else if (name == "hiragana")
        o.kana = 1;
    else if (name == "katakana")
        o.kana = 2;
    else
        return false;
    return true;
}

// One option word, such as "-wW16L", "-MWj" or "--ms-ucs-map".
bool ParseWord(const std::string& word, Options& o)
{
    if (word.rfind("--", 0) == 0)
        return ParseLongOption(word.substr(2), o);
    if (word.size() < 2 || word[0] != '-')
        return false;
    std::size_t i = 1;
    auto next = [&](char c) {
        if (i < word.size() && word[i] == c) {
            ++i;
            return true;
        }
        return false;
    };
    while (i < word.size()) {
        const char c = word[i++];
        switch (c) {
        case 'w':
        case 'W': {
            std::size_t j = i;
            while (j < word.size() && (std::isdigit(static_cast<unsigned char>(word[j])) ||
                                       word[j] == 'L' || word[j] == 'B'))
                ++j;
            Enc enc;
            if (!ParseUnicodeSuffix(word.substr(i, j - i), c == 'w', enc))
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
            o.keepHalfwidthKana = true;
            break;
        case 'X':
            o.keepHalfwidthKana = false;
            break;
        case 'm':
            if (next('B'))
                o.mimeDecode = MimeDecode::Base64;
            else if (next('Q'))
                o.mimeDecode = MimeDecode::QuotedPrintable;
            else if (next('0'))
                o.mimeDecode = MimeDecode::Off;
            else
                o.mimeDecode = MimeDecode::Header;
            break;
        case 'M':
            next('B');
            o.mimeEncode = true;
            break;
        case 'Z':
            o.narrow = true;
            if (next('1'))
                o.narrowOptions.spaces = 1;
            else if (next('2'))
                o.narrowOptions.spaces = 2;
            else if (next('3'))
                o.narrowOptions.entities = true;
            else if (next('4'))
                o.narrowOptions.kana = true;
            else
                next('0');
            break;
        case 'h': // -h1 (or -h) to hiragana, -h2 to katakana
            if (next('2')) {
                o.kana = 2;
            } else {
                next('1');
                o.kana = 1;
            }
            break;
        default:
            return false;
        }
    }
    return true;
}

std::string Convert(const Options& o, const std::string& in)
{
    const bool unicodeOutput = o.output == Enc::Utf8 || o.output == Enc::Utf8Bom ||
                               o.output == Enc::Utf16LE || o.output == Enc::Utf16BE;
    const Mapping map{o.msUcsMap, unicodeOutput, o.output == Enc::Euc};
    std::string bytes = in;
    if (o.mimeDecode == MimeDecode::Base64)
        bytes = DecodeBase64Body(in);
    else if (o.mimeDecode == MimeDecode::QuotedPrintable)
        bytes = DecodeQuotedPrintableBody(in);

    // A body decoded without an output encoding is returned as it is, so that
    // the caller reads it in the encoding it knows the body to have.
    const bool filters = o.mimeEncode || o.narrow || o.kana || o.input != Enc::Unknown;
    if ((o.mimeDecode == MimeDecode::Base64 || o.mimeDecode == MimeDecode::QuotedPrintable) &&
        !o.outputSet && !filters)
        return bytes;

    const bool utf16 = o.input == Enc::Utf16LE || o.input == Enc::Utf16BE;
    std::vector<MimePart> parts;
    if (o.mimeDecode == MimeDecode::Header && !utf16)
        parts = SplitHeaderWords(bytes, map);
    else
        parts.push_back(MimePart{false, bytes, {}});

    Enc input = o.input;
    if (input == Enc::Unknown) {
        std::string raw;
        for (const MimePart& part : parts)
            raw += part.raw;
        input = Detect(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    }
    Text text;
    for (const MimePart& part : parts) {
        if (part.decoded)
            text.insert(text.end(), part.text.begin(), part.text.end());
        else
            Decode(input, reinterpret_cast<const unsigned char*>(part.raw.data()), part.raw.size(),
                   map, text);
    }

    if (!o.keepHalfwidthKana)
        WidenKana(text);
    if (o.narrow)
        Narrow(text, o.narrowOptions);
    if (o.kana)
        ConvertKana(text, o.kana == 1);

    if (o.mimeEncode)
        return EncodeHeaderWords(text, o.output, map);
    std::string out;
    Encode(o.output, text, map, out);
    return out;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int SetNkfOption(const char* option)
{
    Options o;
    if (option) {
        const std::string text(option);
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
    if (inSize > 0)
        result = Convert(gOptions, std::string(in, inSize));
    *written = static_cast<uint32_t>(result.size());
    if (!out && outSize == 0)
        return 1;
    if (!out || outSize < result.size())
        return 0;
    std::memcpy(out, result.data(), result.size());
    return 1;
}

extern "C" __attribute__((visibility("default"))) int
GetNkfVersionSafeW(char16_t* out, uint32_t size, uint32_t* needed)
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
