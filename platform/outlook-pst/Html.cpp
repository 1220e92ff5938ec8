// HTML bodies rendered as plain text.
#include "Body.h"

#include "CodePage.h"

#include <QHash>
#include <QRegularExpression>

namespace OutlookPst {

namespace {

QString Entity(const QString& name)
{
    static const QHash<QString, char16_t> named = {
        {QStringLiteral("amp"), u'&'},     {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},      {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},   {QStringLiteral("nbsp"), u' '},
        {QStringLiteral("copy"), u'©'},    {QStringLiteral("reg"), u'®'},
        {QStringLiteral("trade"), u'™'},   {QStringLiteral("hellip"), u'…'},
        {QStringLiteral("mdash"), u'—'},   {QStringLiteral("ndash"), u'–'},
        {QStringLiteral("lsquo"), u'‘'},   {QStringLiteral("rsquo"), u'’'},
        {QStringLiteral("ldquo"), u'“'},   {QStringLiteral("rdquo"), u'”'},
        {QStringLiteral("bull"), u'•'},    {QStringLiteral("middot"), u'·'},
        {QStringLiteral("yen"), u'¥'},     {QStringLiteral("euro"), u'€'},
        {QStringLiteral("pound"), u'£'},   {QStringLiteral("cent"), u'¢'},
        {QStringLiteral("deg"), u'°'},     {QStringLiteral("times"), u'×'},
        {QStringLiteral("divide"), u'÷'},  {QStringLiteral("laquo"), u'«'},
        {QStringLiteral("raquo"), u'»'},   {QStringLiteral("sect"), u'§'},
        {QStringLiteral("para"), u'¶'},    {QStringLiteral("shy"), u'\u00AD'},
    };
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint code = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'))
                              ? name.mid(2).toUInt(&ok, 16)
                              : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF)
            return QString();
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    const auto it = named.constFind(name);
    return it == named.constEnd() ? QString() : QString(QChar(*it));
}

// Resolves character references in text.
QString Unescape(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i + 1);
            if (semi > i && semi - i <= 10) {
                const QString value = Entity(text.mid(i + 1, semi - i - 1));
                if (!value.isEmpty()) {
                    out += value;
                    i = semi;
                    continue;
                }
            }
        }
        out += text[i];
    }
    return out;
}

bool IsBlock(const QString& tag)
{
    static const QStringList blocks = {
        QStringLiteral("p"),          QStringLiteral("div"),   QStringLiteral("tr"),
        QStringLiteral("table"),      QStringLiteral("h1"),    QStringLiteral("h2"),
        QStringLiteral("h3"),         QStringLiteral("h4"),    QStringLiteral("h5"),
        QStringLiteral("h6"),         QStringLiteral("li"),    QStringLiteral("ul"),
        QStringLiteral("ol"),         QStringLiteral("blockquote"), QStringLiteral("pre"),
        QStringLiteral("hr"),         QStringLiteral("dl"),    QStringLiteral("dt"),
        QStringLiteral("dd"),         QStringLiteral("address"), QStringLiteral("center"),
        QStringLiteral("form"),       QStringLiteral("body"),  QStringLiteral("section"),
        QStringLiteral("article"),    QStringLiteral("header"), QStringLiteral("footer")};
    return blocks.contains(tag);
}

class TextBuilder {
public:
    void Text(const QString& text, bool preformatted)
    {
        for (QChar c : text) {
            if (preformatted) {
                if (c == QLatin1Char('\r'))
                    continue;
                if (c == QLatin1Char('\n'))
                    Break(1);
                else
                    Char(c);
                continue;
            }
            if (c.isSpace() && c != QChar(0x3000)) {
                FPendingSpace = true;
                continue;
            }
            Char(c);
        }
    }
    // Ends the current line; lines = 2 leaves a blank line after it.
    void Break(int lines)
    {
        FPendingSpace = false;
        if (FOut.isEmpty())
            return;
        while (FBreaks < lines) {
            FOut += QStringLiteral("\r\n");
            ++FBreaks;
        }
    }
    void Tab()
    {
        FPendingSpace = false;
        FOut += QLatin1Char('\t');
        FBreaks = 0;
        FLineStart = false;
    }
    QString Result()
    {
        while (FOut.endsWith(QStringLiteral("\r\n")))
            FOut.chop(2);
        return FOut;
    }

private:
    void Char(QChar c)
    {
        if (FPendingSpace && FBreaks == 0 && !FOut.isEmpty() && !FOut.endsWith(QLatin1Char('\t')))
            FOut += QLatin1Char(' ');
        FPendingSpace = false;
        FOut += c;
        FBreaks = 0;
        FLineStart = false;
    }

    QString FOut;
    int FBreaks = 0;
    bool FPendingSpace = false;
    bool FLineStart = true;
};

QString Attribute(const QString& tagText, const QString& name)
{
    const QRegularExpression re(
        QStringLiteral("\\b%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))").arg(name),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(tagText);
    if (!m.hasMatch())
        return QString();
    for (int i = 1; i <= 3; ++i)
        if (m.capturedStart(i) >= 0)
            return Unescape(m.captured(i));
    return QString();
}

} // namespace

QString HtmlToText(const QString& html)
{
    TextBuilder out;
    int preDepth = 0;
    QString pendingHref;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        if (html[i] != QLatin1Char('<')) {
            const qsizetype next = html.indexOf(QLatin1Char('<'), i);
            const qsizetype stop = next < 0 ? n : next;
            out.Text(Unescape(html.mid(i, stop - i)), preDepth > 0);
            i = stop;
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const qsizetype close = html.indexOf(QLatin1Char('>'), i + 1);
        if (close < 0)
            break;
        const QString tagText = html.mid(i + 1, close - i - 1);
        i = close + 1;
        const bool endTag = tagText.startsWith(QLatin1Char('/'));
        QString name = tagText.mid(endTag ? 1 : 0).section(QRegularExpression(QStringLiteral("[\\s/]")), 0, 0).toLower();
        if (name.isEmpty() || name.startsWith(QLatin1Char('!')) || name.startsWith(QLatin1Char('?')))
            continue;
        if (!endTag && (name == QLatin1String("script") || name == QLatin1String("style") ||
                        name == QLatin1String("head") || name == QLatin1String("title"))) {
            const qsizetype end = html.indexOf(QStringLiteral("</%1").arg(name), i, Qt::CaseInsensitive);
            if (end < 0) {
                i = n;
            } else {
                const qsizetype gt = html.indexOf(QLatin1Char('>'), end);
                i = gt < 0 ? n : gt + 1;
            }
            continue;
        }
        if (name == QLatin1String("br")) {
            out.Break(1);
            out.Text(QString(), false);
        } else if (name == QLatin1String("p")) {
            out.Break(2);
        } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
            if (!endTag)
                out.Tab();
        } else if (name == QLatin1String("pre")) {
            out.Break(1);
            preDepth += endTag ? -1 : 1;
            preDepth = std::max(preDepth, 0);
        } else if (name == QLatin1String("a")) {
            if (!endTag) {
                pendingHref = Attribute(tagText, QStringLiteral("href"));
            } else {
                if (pendingHref.startsWith(QLatin1String("http"), Qt::CaseInsensitive) ||
                    pendingHref.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
                    out.Text(QStringLiteral(" <%1>").arg(pendingHref), true);
                pendingHref.clear();
            }
        } else if (IsBlock(name)) {
            out.Break(1);
        }
    }
    return out.Result();
}

QString DecodeHtml(const QByteArray& html, int codePage)
{
    static const QRegularExpression charsetRe(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(html.left(4096));
    const QRegularExpressionMatch m = charsetRe.match(head);
    if (m.hasMatch()) {
        const int named = CodePageOfCharset(m.captured(1));
        if (named != 0 && IsKnownCodePage(named))
            codePage = named;
    }
    return DecodeCodePage(html, codePage);
}

} // namespace OutlookPst
