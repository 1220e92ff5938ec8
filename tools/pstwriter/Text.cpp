#include "Text.h"

#include "Bytes.h"
#include "Ndb.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iconv.h>

namespace PstWriter {

std::string Utf16(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size() * 2);
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<uint8_t>(utf8[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            throw Error("UTF-8 として正しくない文字列があります");
        }
        if (i + extra >= utf8.size() + (extra ? 0 : 1))
            throw Error("UTF-8 の文字が途中で切れています");
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<uint8_t>(utf8[i + k]);
            if ((d & 0xC0) != 0x80)
                throw Error("UTF-8 として正しくない文字列があります");
            cp = (cp << 6) | (d & 0x3F);
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Put16(out, static_cast<uint16_t>(0xD800 | (cp >> 10)));
            Put16(out, static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            Put16(out, static_cast<uint16_t>(cp));
        }
    }
    return out;
}

std::string Encode(const std::string& utf8, int codePage)
{
    std::string name;
    switch (codePage) {
    case 932:
        name = "CP932";
        break;
    case 50220:
    case 50221:
    case 50222:
        name = "ISO-2022-JP";
        break;
    case 20932:
    case 51932:
        name = "EUC-JP";
        break;
    case 65001:
        return utf8;
    case 20127:
        name = "ASCII";
        break;
    case 28591:
        name = "ISO-8859-1";
        break;
    default:
        name = "CP" + std::to_string(codePage);
    }
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Error("コードページ " + std::to_string(codePage) + " には変換できません");
    std::string out;
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char buffer[4096];
    // The final call with no input lets stateful encodings return to ASCII.
    for (bool flushing = false;;) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t r = flushing ? iconv(cd, nullptr, nullptr, &o, &oLeft)
                                  : iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, o - buffer);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            iconv_close(cd);
            throw Error("コードページ " + std::to_string(codePage) + " で表せない文字があります");
        }
        if (r != static_cast<size_t>(-1)) {
            if (flushing)
                break;
            if (inLeft == 0)
                flushing = true;
        }
    }
    iconv_close(cd);
    return out;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

int64_t ParseTime(const std::string& iso)
{
    int y, mo, d, h = 0, mi = 0, s = 0;
    int used = 0;
    if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) < 6 ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        throw Error("日時の形式が正しくありません: " + iso);
    std::string rest = iso.substr(static_cast<size_t>(used));
    int64_t fraction = 0; // in 100 ns
    if (!rest.empty() && rest[0] == '.') {
        size_t i = 1;
        int64_t scale = 1000000;
        for (; i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i])); ++i) {
            fraction += (rest[i] - '0') * scale;
            scale /= 10;
        }
        rest = rest.substr(i);
    }
    int64_t offset = 0;
    if (rest == "Z" || rest.empty()) {
        offset = 0;
    } else if ((rest[0] == '+' || rest[0] == '-') && rest.size() == 6 && rest[3] == ':') {
        const int oh = std::stoi(rest.substr(1, 2));
        const int om = std::stoi(rest.substr(4, 2));
        offset = (oh * 60 + om) * 60 * (rest[0] == '-' ? -1 : 1);
    } else {
        throw Error("日時の形式が正しくありません: " + iso);
    }
    const int64_t seconds = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
                         h * 3600 + mi * 60 + s - offset;
    return (seconds + 11644473600LL) * 10000000LL + fraction;
}

} // namespace PstWriter
