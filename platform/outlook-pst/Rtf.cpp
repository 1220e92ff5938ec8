// Compressed RTF and the text inside RTF documents.
#include "Body.h"

#include "CodePage.h"
#include "runtime/Exception.h"

#include <QtEndian>
#include <cctype>
#include <vector>

namespace OutlookPst {

namespace {

const char kRtfPrebuffer[] =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";

constexpr quint32 kCompressed = 0x75465A4C;   // "LZFu"
constexpr quint32 kUncompressed = 0x414C454D; // "MELA"
// Larger raw sizes are taken as damage: no mail body is that long.
constexpr quint32 kMaxRawSize = 256u * 1024u * 1024u;

} // namespace

QByteArray DecompressRtf(const QByteArray& compressed)
{
    if (compressed.size() < 16)
        throw EOleException(QStringLiteral("圧縮 RTF が短すぎます (%1 バイト)。").arg(compressed.size()));
    const auto* p = reinterpret_cast<const uchar*>(compressed.constData());
    const quint32 compSize = qFromLittleEndian<quint32>(p);
    const quint32 rawSize = qFromLittleEndian<quint32>(p + 4);
    const quint32 type = qFromLittleEndian<quint32>(p + 8);
    // compSize counts the bytes after itself.
    const qsizetype end = std::min<qsizetype>(compressed.size(), static_cast<qsizetype>(compSize) + 4);
    if (type == kUncompressed)
        return compressed.mid(16, std::min<qsizetype>(rawSize, end - 16));
    if (type != kCompressed)
        throw EOleException(QStringLiteral("圧縮 RTF の形式 0x%1 は不明です。").arg(type, 8, 16, QLatin1Char('0')));
    if (rawSize > kMaxRawSize)
        throw EOleException(QStringLiteral("圧縮 RTF の長さ %1 は不正です。").arg(rawSize));

    std::vector<uchar> dictionary(4096, 0);
    const std::size_t prebufferLength = sizeof(kRtfPrebuffer) - 1;
    std::copy(kRtfPrebuffer, kRtfPrebuffer + prebufferLength, dictionary.begin());
    std::size_t writePos = prebufferLength;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(rawSize));
    qsizetype in = 16;
    while (in < end && static_cast<quint32>(out.size()) < rawSize) {
        const uchar control = p[in++];
        for (int bit = 0; bit < 8 && in < end; ++bit) {
            if ((control & (1 << bit)) == 0) {
                const uchar c = p[in++];
                out.append(static_cast<char>(c));
                dictionary[writePos] = c;
                writePos = (writePos + 1) % 4096;
                continue;
            }
            if (in + 1 >= end)
                throw EOleException(QStringLiteral("圧縮 RTF が途中で終わっています。"));
            const quint16 reference = static_cast<quint16>((p[in] << 8) | p[in + 1]);
            in += 2;
            std::size_t offset = reference >> 4;
            const int length = (reference & 0x0F) + 2;
            if (offset == writePos)
                return out; // the end marker
            for (int i = 0; i < length; ++i) {
                const uchar c = dictionary[offset];
                out.append(static_cast<char>(c));
                dictionary[writePos] = c;
                writePos = (writePos + 1) % 4096;
                offset = (offset + 1) % 4096;
            }
        }
    }
    if (static_cast<quint32>(out.size()) > rawSize)
        out.truncate(static_cast<qsizetype>(rawSize));
    return out;
}

namespace {

// Reads RTF and collects either its text or, for \fromhtml1 documents, the HTML
// it encapsulates.
class RtfReader {
public:
    RtfReader(const QByteArray& rtf, int codePage) : FRtf(rtf), FCodePage(codePage) {}

    void Run(bool wantHtml)
    {
        FWantHtml = wantHtml;
        std::vector<Group> stack{Group{}};
        const qsizetype n = FRtf.size();
        qsizetype i = 0;
        int depthGuard = 0;
        while (i < n) {
            const char c = FRtf[i];
            Group& g = stack.back();
            if (c == '{') {
                if (++depthGuard > 4096)
                    break; // nested far beyond any real document
                stack.push_back(g);
                stack.back().Starred = false;
                stack.back().FirstWord = true;
                stack.back().UnicodeSkipPending = 0;
                ++i;
                continue;
            }
            if (c == '}') {
                --depthGuard;
                if (stack.size() > 1)
                    stack.pop_back();
                ++i;
                continue;
            }
            if (c == '\\') {
                i = ControlWord(i + 1, stack);
                continue;
            }
            ++i;
            if (c == '\r' || c == '\n')
                continue;
            if (stack.back().UnicodeSkipPending > 0) {
                --stack.back().UnicodeSkipPending;
                continue;
            }
            Emit(stack.back(), static_cast<uchar>(c));
        }
        Flush();
    }

    bool FromHtml() const { return FFromHtml; }
    const QString& Text() const { return FText; }

private:
    struct Group {
        bool Skip = false;
        bool Starred = false;   // after \*: an unknown destination is skipped
        bool FirstWord = true;  // no control word read in this group yet
        int UnicodeSkipPending = 0;
        bool HtmlTag = false;
        bool HtmlRtf = false;
        int UnicodeSkip = 1;
    };

    bool Visible(const Group& g) const
    {
        if (g.Skip)
            return false;
        if (FWantHtml)
            return g.HtmlTag || !g.HtmlRtf;
        return !g.HtmlRtf || !FFromHtml;
    }

    void Emit(const Group& g, uchar byte)
    {
        if (Visible(g))
            FBytes.append(static_cast<char>(byte));
    }
    void EmitText(const Group& g, const QString& text)
    {
        if (!Visible(g))
            return;
        Flush();
        FText += text;
    }
    void Flush()
    {
        if (!FBytes.isEmpty())
            FText += DecodeCodePage(FBytes, FCodePage);
        FBytes.clear();
    }

    static bool IsSkippedDestination(const QByteArray& word)
    {
        static const char* const names[] = {
            "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "footer",
            "headerl", "headerr", "footerl", "footerr", "ftnsep", "ftnsepc", "xe", "tc",
            "themedata", "datastore", "latentstyles", "listtable", "listoverridetable",
            "rsidtbl", "generator", "filetbl", "revtbl", "fldinst", "bkmkstart", "bkmkend"};
        for (const char* name : names)
            if (word == name)
                return true;
        return false;
    }

    qsizetype ControlWord(qsizetype i, std::vector<Group>& stack)
    {
        Group& g = stack.back();
        const qsizetype n = FRtf.size();
        if (i >= n)
            return i;
        const char c = FRtf[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            switch (c) {
            case '\'': {
                if (i + 2 < n) {
                    bool ok = false;
                    const int value = FRtf.mid(i + 1, 2).toInt(&ok, 16);
                    if (ok) {
                        if (g.UnicodeSkipPending > 0)
                            --g.UnicodeSkipPending;
                        else
                            Emit(g, static_cast<uchar>(value));
                    }
                }
                return i + 3;
            }
            case '*':
                g.Starred = true;
                return i + 1;
            case '~':
                EmitText(g, QStringLiteral(" "));
                return i + 1;
            case '_':
                EmitText(g, QStringLiteral("-"));
                return i + 1;
            case '-':
                return i + 1;
            case '\r':
            case '\n':
                EmitLine(g);
                return i + 1;
            default:
                Emit(g, static_cast<uchar>(c)); // \\, \{, \}
                return i + 1;
            }
        }
        qsizetype j = i;
        while (j < n && std::isalpha(static_cast<unsigned char>(FRtf[j])))
            ++j;
        const QByteArray word = FRtf.mid(i, j - i);
        bool hasParam = false;
        int param = 0;
        qsizetype k = j;
        if (k < n && (FRtf[k] == '-' || std::isdigit(static_cast<unsigned char>(FRtf[k])))) {
            qsizetype start = k;
            ++k;
            while (k < n && k - start < 10 && std::isdigit(static_cast<unsigned char>(FRtf[k])))
                ++k;
            param = FRtf.mid(start, k - start).toInt(&hasParam);
        }
        if (k < n && FRtf[k] == ' ')
            ++k;

        const bool atGroupStart = g.FirstWord;
        g.FirstWord = false;
        if (word == "fromhtml") {
            FFromHtml = true;
        } else if (word == "htmltag" || word == "mhtmltag") {
            if (word == "htmltag" && FWantHtml)
                g.HtmlTag = true;
            else
                g.Skip = true;
        } else if (word == "htmlrtf") {
            g.HtmlRtf = !hasParam || param != 0;
        } else if (word == "ansicpg" && hasParam) {
            Flush();
            if (IsKnownCodePage(param))
                FCodePage = param;
        } else if (word == "uc" && hasParam) {
            g.UnicodeSkip = std::max(0, param);
        } else if (word == "u" && hasParam) {
            const char16_t unit = static_cast<char16_t>(param < 0 ? param + 65536 : param);
            EmitText(g, QString(QChar(unit)));
            g.UnicodeSkipPending = g.UnicodeSkip;
        } else if (word == "par" || word == "line") {
            EmitLine(g);
        } else if (word == "tab") {
            EmitText(g, QStringLiteral("\t"));
        } else if (word == "cell") {
            EmitText(g, QStringLiteral("\t"));
        } else if (word == "row") {
            EmitLine(g);
        } else if (word == "lquote" || word == "rquote") {
            EmitText(g, QString(QChar(word == "lquote" ? 0x2018 : 0x2019)));
        } else if (word == "ldblquote" || word == "rdblquote") {
            EmitText(g, QString(QChar(word == "ldblquote" ? 0x201C : 0x201D)));
        } else if (word == "emdash" || word == "endash") {
            EmitText(g, QString(QChar(word == "emdash" ? 0x2014 : 0x2013)));
        } else if (word == "bullet") {
            EmitText(g, QString(QChar(0x2022)));
        } else if (IsSkippedDestination(word) || (g.Starred && atGroupStart)) {
            g.Skip = true;
        }
        // Characters that stand in for a \u character are not text of their own.
        if (g.UnicodeSkipPending > 0 && word != "u")
            g.UnicodeSkipPending = 0;
        return k;
    }

    void EmitLine(const Group& g) { EmitText(g, QStringLiteral("\r\n")); }

    QByteArray FRtf;
    int FCodePage;
    bool FWantHtml = false;
    bool FFromHtml = false;
    QByteArray FBytes;
    QString FText;
};

} // namespace

QString RtfToHtml(const QByteArray& rtf, int defaultCodePage)
{
    RtfReader probe(rtf.left(1024), defaultCodePage);
    probe.Run(false);
    if (!probe.FromHtml())
        return QString();
    RtfReader reader(rtf, defaultCodePage);
    reader.Run(true);
    return reader.Text();
}

QString RtfToText(const QByteArray& rtf, int defaultCodePage)
{
    const QString html = RtfToHtml(rtf, defaultCodePage);
    if (!html.isEmpty())
        return HtmlToText(html);
    RtfReader reader(rtf, defaultCodePage);
    reader.Run(false);
    return reader.Text();
}

} // namespace OutlookPst
