// Plain-text renderings of message bodies stored only as HTML or as compressed
// RTF, as a mail program shows them in a plain-text view.
#pragma once

#include <QByteArray>
#include <QString>

namespace OutlookPst {

// Decompresses a compressed RTF value (the "LZFu" and "MELA" formats). Raises
// EOleException for a value that is neither or that is cut short.
QByteArray DecompressRtf(const QByteArray& compressed);

// The text of an RTF document. An HTML body encapsulated in the RTF is taken out
// and rendered as HTML; 8-bit text is decoded with the document's \ansicpg, else
// with defaultCodePage.
QString RtfToText(const QByteArray& rtf, int defaultCodePage);

// The HTML encapsulated in an RTF document (\fromhtml1), or an empty text.
QString RtfToHtml(const QByteArray& rtf, int defaultCodePage);

// The text of an HTML document: block elements and <br> end lines, runs of white
// space collapse, scripts, styles and comments are dropped, character references
// are resolved and links are followed by their target in angle brackets.
QString HtmlToText(const QString& html);

// HTML bytes decoded with the charset their <meta> element names, else with codePage.
QString DecodeHtml(const QByteArray& html, int codePage);

} // namespace OutlookPst
