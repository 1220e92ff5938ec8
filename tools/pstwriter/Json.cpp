#include "Json.h"

#include "Ndb.h"

#include <cstdint>

namespace PstWriter {

const Json* Json::Find(const std::string& name) const
{
    for (const auto& [key, value] : Members)
        if (key == name)
            return &value;
    return nullptr;
}

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : FText(text) {}

    Json Document()
    {
        Json v = Value(0);
        Space();
        if (FPos != FText.size())
            Fail("余分な文字があります");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what)
    {
        throw Error("JSON の " + std::to_string(FPos + 1) + " バイト目: " + what);
    }
    void Space()
    {
        while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' ||
                                       FText[FPos] == '\n' || FText[FPos] == '\r'))
            ++FPos;
    }
    bool Take(const char* word)
    {
        const std::string w(word);
        if (FText.compare(FPos, w.size(), w) != 0)
            return false;
        FPos += w.size();
        return true;
    }
    Json Value(int depth)
    {
        if (depth > 200)
            Fail("入れ子が深すぎます");
        Space();
        Json v;
        if (FPos >= FText.size())
            Fail("値がありません");
        const char c = FText[FPos];
        if (c == '{') {
            v.Type = Json::Kind::Object;
            ++FPos;
            Space();
            if (FPos < FText.size() && FText[FPos] == '}') {
                ++FPos;
                return v;
            }
            for (;;) {
                Space();
                if (FPos >= FText.size() || FText[FPos] != '"')
                    Fail("名前がありません");
                std::string name = String();
                Space();
                if (!Take(":"))
                    Fail("':' がありません");
                v.Members.emplace_back(std::move(name), Value(depth + 1));
                Space();
                if (Take(","))
                    continue;
                if (Take("}"))
                    return v;
                Fail("',' か '}' がありません");
            }
        }
        if (c == '[') {
            v.Type = Json::Kind::Array;
            ++FPos;
            Space();
            if (Take("]"))
                return v;
            for (;;) {
                v.Items.push_back(Value(depth + 1));
                Space();
                if (Take(","))
                    continue;
                if (Take("]"))
                    return v;
                Fail("',' か ']' がありません");
            }
        }
        if (c == '"') {
            v.Type = Json::Kind::String;
            v.Text = String();
            return v;
        }
        if (Take("true")) {
            v.Type = Json::Kind::Bool;
            v.Bool = true;
            return v;
        }
        if (Take("false")) {
            v.Type = Json::Kind::Bool;
            return v;
        }
        if (Take("null"))
            return v;
        const size_t start = FPos;
        if (FPos < FText.size() && FText[FPos] == '-')
            ++FPos;
        while (FPos < FText.size() && std::string("0123456789.eE+-").find(FText[FPos]) != std::string::npos)
            ++FPos;
        if (FPos == start || (FPos == start + 1 && FText[start] == '-'))
            Fail("値として読めません");
        v.Type = Json::Kind::Number;
        v.Text = FText.substr(start, FPos - start);
        return v;
    }
    uint32_t Hex4()
    {
        if (FPos + 4 > FText.size())
            Fail("\\u の後が短すぎます");
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = FText[FPos++];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= h - '0';
            else if (h >= 'a' && h <= 'f')
                v |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                v |= h - 'A' + 10;
            else
                Fail("\\u の後が 16 進数ではありません");
        }
        return v;
    }
    void PutUtf8(std::string& out, uint32_t cp)
    {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    std::string String()
    {
        ++FPos; // opening quote
        std::string out;
        for (;;) {
            if (FPos >= FText.size())
                Fail("文字列が閉じていません");
            const char c = FText[FPos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("文字列に制御文字があります");
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (FPos >= FText.size())
                Fail("文字列が閉じていません");
            const char e = FText[FPos++];
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                uint32_t cp = Hex4();
                if (cp >= 0xD800 && cp < 0xDC00) {
                    if (!Take("\\u"))
                        Fail("サロゲートの片方しかありません");
                    const uint32_t low = Hex4();
                    if (low < 0xDC00 || low >= 0xE000)
                        Fail("サロゲートの組が正しくありません");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    Fail("サロゲートの組が正しくありません");
                }
                PutUtf8(out, cp);
                break;
            }
            default:
                Fail("知らないエスケープです");
            }
        }
    }

    const std::string& FText;
    size_t FPos = 0;
};

} // namespace

Json ParseJson(const std::string& text) { return Parser(text).Document(); }

} // namespace PstWriter
