#include "Mime.h"

#include <cctype>
#include <cstring>

namespace nkf32 {
namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Base64 text to bytes. A padding character ends the current group, so that
// several padded blocks in a row decode one after the other.
std::string DecodeBase64(const char* p, std::size_t n)
{
    std::string out;
    unsigned bits = 0;
    int count = 0;
    auto flush = [&] {
        if (count == 2) {
            out += static_cast<char>(bits >> 4 & 0xFF);
        } else if (count == 3) {
            out += static_cast<char>(bits >> 10 & 0xFF);
            out += static_cast<char>(bits >> 2 & 0xFF);
        }
        bits = 0;
        count = 0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == '=') {
            flush();
            continue;
        }
        const int v = Base64Value(c);
        if (v < 0)
            continue;
        bits = bits << 6 | static_cast<unsigned>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16 & 0xFF);
            out += static_cast<char>(bits >> 8 & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    flush();
    return out;
}

std::string DecodeQuotedPrintable(const char* p, std::size_t n, bool underscoreIsSpace)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == '_' && underscoreIsSpace) {
            out += ' ';
        } else if (c == '=' && i + 2 < n && HexValue(static_cast<unsigned char>(p[i + 1])) >= 0 &&
                   HexValue(static_cast<unsigned char>(p[i + 2])) >= 0) {
            out += static_cast<char>(HexValue(static_cast<unsigned char>(p[i + 1])) << 4 |
                                     HexValue(static_cast<unsigned char>(p[i + 2])));
            i += 2;
        } else if (c == '=' && i + 1 < n && p[i + 1] == '\n') {
            i += 1;
        } else if (c == '=' && i + 2 < n && p[i + 1] == '\r' && p[i + 2] == '\n') {
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// One header word at in[pos]: its length, or 0 when there is none there.
std::size_t ParseWord(const std::string& in, std::size_t pos, const Mapping& map, Text* text)
{
    if (in.compare(pos, 2, "=?") != 0)
        return 0;
    const std::size_t charsetEnd = in.find('?', pos + 2);
    if (charsetEnd == std::string::npos || charsetEnd == pos + 2 || charsetEnd - pos > 64)
        return 0;
    for (std::size_t i = pos + 2; i < charsetEnd; ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (!std::isalnum(c) && !std::strchr("-_.:*", c))
            return 0;
    }
    if (charsetEnd + 2 >= in.size() || in[charsetEnd + 2] != '?')
        return 0;
    const char method =
        static_cast<char>(std::toupper(static_cast<unsigned char>(in[charsetEnd + 1])));
    if (method != 'B' && method != 'Q')
        return 0;
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t end = in.find("?=", textStart);
    if (end == std::string::npos)
        return 0;
    for (std::size_t i = textStart; i < end; ++i)
        if (static_cast<unsigned char>(in[i]) <= 0x20 || static_cast<unsigned char>(in[i]) >= 0x7F)
            return 0;
    std::string charset = in.substr(pos + 2, charsetEnd - pos - 2);
    charset = charset.substr(0, charset.find('*')); // a language tag is not part of the name
    const std::string bytes =
        method == 'B' ? DecodeBase64(in.data() + textStart, end - textStart)
                      : DecodeQuotedPrintable(in.data() + textStart, end - textStart, true);
    Text decoded;
    if (!DecodeCharset(charset, bytes, map, decoded))
        return 0;
    if (text)
        *text = std::move(decoded);
    return end + 2 - pos;
}

// Streams bytes as Base64 the way the column count sees them: one character
// for the first byte of a group, one for the second, two for the third.
struct Base64Writer {
    unsigned state = 0;
    int have = 0;
    int Put(unsigned char c, std::string& out)
    {
        switch (have) {
        case 0:
            out += kBase64[c >> 2];
            state = c;
            have = 1;
            return 1;
        case 1:
            out += kBase64[(state & 0x3) << 4 | c >> 4];
            state = c;
            have = 2;
            return 1;
        default:
            out += kBase64[(state & 0xF) << 2 | c >> 6];
            out += kBase64[c & 0x3F];
            have = 0;
            return 2;
        }
    }
    int Finish(std::string& out)
    {
        int added = 0;
        if (have == 1) {
            out += kBase64[(state & 0x3) << 4];
            out += "==";
            added = 3;
        } else if (have == 2) {
            out += kBase64[(state & 0xF) << 2];
            out += '=';
            added = 2;
        }
        have = 0;
        return added;
    }
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsBreak(char c)
{
    return c == '\r' || c == '\n';
}

class HeaderEncoder {
public:
    HeaderEncoder(Enc output, const Mapping& map)
        : FEncoder{output, map}, FPrefix(output == Enc::Jis    ? "=?ISO-2022-JP?B?"
                                         : output == Enc::Sjis ? "=?Shift_JIS?B?"
                                         : output == Enc::Euc  ? "=?EUC-JP?B?"
                                                               : "=?UTF-8?B?")
    {
    }

    void Put(const Char& c)
    {
        if (c.kind != Char::Ascii) {
            std::string probe;
            TextEncoder{FEncoder.enc, FEncoder.map}.Put(c, probe);
            if (probe.empty())
                return; // a character the output encoding cannot hold
            BeforeWide();
        }
        std::string bytes;
        FEncoder.Put(c, bytes);
        if (c.kind == Char::Ascii) {
            // A shift back to ASCII belongs to the word it ends.
            if (bytes.size() > 1)
                EncodeBytes(bytes.substr(0, bytes.size() - 1));
            PutAscii(bytes.back());
        } else {
            PutWide(bytes);
        }
    }

    std::string Finish()
    {
        std::string tail;
        FEncoder.Finish(tail);
        if (!tail.empty())
            EncodeBytes(tail);
        if (FOpen) {
            std::size_t i = 0;
            if (!FPending.empty() && !IsBlank(FPending.back())) {
                for (; i < FPending.size(); ++i) {
                    if ((IsBlank(FPending[i]) || IsBreak(FPending[i])) && FColumn < 71)
                        break;
                    EncodeBytes(std::string(1, FPending[i]));
                }
                CloseWord();
            } else {
                EncodeBytes(FPending);
                i = FPending.size();
                CloseWord();
            }
            Literal(FPending.substr(i));
        } else {
            Literal(FPending);
        }
        FPending.clear();
        return FOut;
    }

private:
    void Literal(const std::string& s)
    {
        for (char c : s) {
            FOut += c;
            FColumn = IsBreak(c) ? 0 : FColumn + 1;
        }
    }
    void Fold(bool withSpace)
    {
        FOut += '\n';
        FColumn = 0;
        if (withSpace) {
            FOut += ' ';
            FColumn = 1;
        }
    }
    void EncodeBytes(const std::string& bytes)
    {
        for (char b : bytes)
            FColumn += FBase64.Put(static_cast<unsigned char>(b), FOut);
    }
    void CloseWord()
    {
        FColumn += FBase64.Finish(FOut);
        FOut += "?=";
        FColumn += 2;
        FOpen = false;
    }
    void OpenWord()
    {
        std::size_t i = 0;
        if (FColumn > 45) {
            // Too late in the line for a word: it starts the next one. The blank
            // before it stays at the end of this line.
            if (!FPending.empty() && IsBlank(FPending[0])) {
                Literal(FPending.substr(0, 1));
                i = 1;
            }
            Fold(true);
            if (i < FPending.size() && (IsBlank(FPending[i]) || IsBreak(FPending[i])))
                ++i;
        }
        for (; i < FPending.size() && (IsBlank(FPending[i]) || IsBreak(FPending[i])); ++i)
            Literal(FPending.substr(i, 1));
        FOut += FPrefix;
        FColumn += static_cast<int>(FPrefix.size());
        FOpen = true;
        const std::string rest = FPending.substr(i);
        FPending.clear();
        EncodeBytes(rest);
    }

    void PutAscii(char c)
    {
        const char last = FPending.empty() ? 0 : FPending.back();
        if (FOpen) {
            if (IsBreak(last)) {
                if (IsBlank(c)) {
                    EncodeBytes(FPending);
                } else {
                    CloseWord();
                    Literal(FPending);
                }
                FPending.assign(1, c);
                return;
            }
            if (IsBlank(c) || IsBreak(c)) {
                bool printable = false;
                for (char p : FPending)
                    printable = printable || (p > 0x20 && p < 0x7F);
                if (printable) {
                    CloseWord();
                    Literal(FPending);
                    FPending.clear();
                }
                FPending += c;
                return;
            }
            if (!FPending.empty() && c != '=') {
                FPending += c;
                return;
            }
            EncodeBytes(FPending);
            FPending.clear();
            EncodeBytes(std::string(1, c));
            return;
        }
        if (IsBlank(c) || IsBreak(c)) {
            Literal(FPending);
            FPending.assign(1, c);
            return;
        }
        // A word that would pass column 76 goes to the next line, unless it
        // is the first on its line.
        if (FColumn > 1 && FColumn + static_cast<int>(FPending.size()) > 76 && !FPending.empty() &&
            !IsBreak(FPending[0])) {
            Fold(false);
            if (!IsBlank(FPending[0]))
                Literal(" ");
        }
        FPending += c;
    }

    // A word that has reached its length ends before the next character, and
    // the next word starts on a new line. In ISO-2022-JP each word ends in ASCII.
    void BeforeWide()
    {
        if (!FOpen || FColumn + static_cast<int>(FPending.size()) / 3 * 4 <= 66)
            return;
        std::string tail;
        FEncoder.Finish(tail);
        EncodeBytes(tail);
        CloseWord();
        Literal(FPending);
        FPending.clear();
        Fold(true);
        // The column counts the blank that starts the line twice, which keeps
        // every continuation line of a long word one column shorter.
        FColumn = 2;
    }

    void PutWide(const std::string& bytes)
    {
        if (FOpen && !FPending.empty()) {
            const std::size_t brk = FPending.find_first_of("\r\n");
            EncodeBytes(FPending.substr(0, brk));
            if (brk != std::string::npos) {
                CloseWord();
                Literal(FPending.substr(brk));
            }
            FPending.clear();
        }
        if (!FOpen) {
            const char last = FPending.empty() ? 0 : FPending.back();
            if (IsBreak(last)) {
                Literal(FPending);
                FPending.clear();
            } else if (last == ' ') {
                Literal(FPending.substr(0, FPending.size() - 1));
                FPending.assign(1, ' ');
            }
            OpenWord();
        }
        EncodeBytes(bytes);
    }

    TextEncoder FEncoder;
    std::string FPrefix;
    std::string FOut;
    std::string FPending; // ASCII held back until it is known whether a word takes it
    Base64Writer FBase64;
    int FColumn = 0;
    bool FOpen = false;
};

} // namespace

std::string DecodeBase64Body(const std::string& in)
{
    return DecodeBase64(in.data(), in.size());
}

std::string DecodeQuotedPrintableBody(const std::string& in)
{
    return DecodeQuotedPrintable(in.data(), in.size(), false);
}

std::vector<MimePart> SplitHeaderWords(const std::string& in, const Mapping& map)
{
    std::vector<MimePart> parts;
    auto raw = [&]() -> std::string& {
        if (parts.empty() || parts.back().decoded)
            parts.push_back(MimePart{});
        return parts.back().raw;
    };
    std::size_t i = 0;
    while (i < in.size()) {
        Text text;
        const std::size_t len = in[i] == '=' ? ParseWord(in, i, map, &text) : 0;
        if (!len) {
            raw() += in[i++];
            continue;
        }
        parts.push_back(MimePart{true, {}, std::move(text)});
        i += len;
        // White space after a word, a folded line break counting as one blank:
        // dropped before another word, kept otherwise.
        std::string blanks;
        std::size_t j = i;
        while (j < in.size()) {
            if (IsBlank(in[j])) {
                blanks += in[j++];
            } else if (in[j] == '\n' && j + 1 < in.size() && IsBlank(in[j + 1])) {
                blanks += ' ';
                j += 2;
            } else if (in[j] == '\r' && j + 2 < in.size() && in[j + 1] == '\n' &&
                       IsBlank(in[j + 2])) {
                blanks += ' ';
                j += 3;
            } else {
                break;
            }
        }
        if (blanks.empty())
            continue;
        if (!(j < in.size() && in[j] == '=' && ParseWord(in, j, map, nullptr)))
            raw() += blanks;
        i = j;
    }
    return parts;
}

std::string EncodeHeaderWords(const Text& text, Enc output, const Mapping& map)
{
    HeaderEncoder encoder(output == Enc::Utf8Bom ? Enc::Utf8 : output, map);
    for (const Char& c : text)
        encoder.Put(c);
    return encoder.Finish();
}

} // namespace nkf32
