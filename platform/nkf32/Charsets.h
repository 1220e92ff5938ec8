// The converter's character model and the byte encodings it reads and writes.
//
// Text is held as a sequence of characters of four kinds, the way the Japanese
// code sets see it: ASCII (and the C0 controls), half-width katakana (JIS X 0201),
// a JIS X 0208 code with the vendor rows of the Windows code page, or a Unicode
// code point that no JIS code stands for. Conversions between the encodings and
// the width and kana conversions all work on this form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nkf32 {

enum class Enc { Unknown, Utf8, Utf8Bom, Utf16LE, Utf16BE, Sjis, Euc, Jis };

struct Char {
    enum Kind : std::uint8_t { Ascii, Kana, Jis, Uni };
    Kind kind;
    std::uint32_t value;  // byte, 0x21..0x5F for Kana, row << 8 | cell for Jis, code point for Uni
    bool widened = false; // a full-width kana that was half-width in the input
};
using Text = std::vector<Char>;

// How Unicode and the JIS codes map to each other. With msUcsMap the Microsoft
// mapping is used (FULLWIDTH TILDE for the wave dash, FULLWIDTH HYPHEN-MINUS for
// the minus sign and so on), without it the JIS mapping. When the output is
// Unicode (unicodeOutput), the few code points that only a best-fit mapping
// takes to a JIS code (MACRON, CEDILLA) stay as they are. The Microsoft
// mapping reads YEN SIGN and OVERLINE as ASCII, except for EUC-JP output.
struct Mapping {
    bool msUcsMap = false;
    bool unicodeOutput = false;
    bool eucOutput = false;
};
Char FromUnicode(std::uint32_t cp, const Mapping& map);
void AppendUnicode(const Char& c, const Mapping& map, std::u32string& out);

// The input encoding of bytes that declare none: a byte-order mark, escape
// sequences, valid UTF-8, valid EUC-JP, else Shift_JIS.
Enc Detect(const unsigned char* p, std::size_t n);

// Bytes of the given encoding to characters. Bytes that do not form a character
// of the encoding become U+FFFD.
void Decode(Enc enc, const unsigned char* p, std::size_t n, const Mapping& map, Text& out);
// Characters to bytes. A character the encoding cannot hold is left out.
void Encode(Enc enc, const Text& text, const Mapping& map, std::string& out);
// Writes characters one by one; for ISO-2022-JP it keeps the shift state, and
// Finish returns to ASCII.
struct TextEncoder {
    Enc enc;
    Mapping map;
    Char::Kind jisMode = Char::Ascii;
    void Put(const Char& c, std::string& out);
    void Finish(std::string& out);
};

// Bytes of a charset named in a MIME header word to characters; false when the
// name is not known.
bool DecodeCharset(const std::string& charset, const std::string& bytes, const Mapping& map,
                   Text& out);

} // namespace nkf32
