// Decoding of 8-bit text by Windows code page number, as the data files and
// message bodies name it.
#pragma once

#include <QByteArray>
#include <QString>

namespace OutlookPst {

// Decodes bytes of the given code page. Bytes the code page does not define
// become U+FFFD; an unknown code page is decoded as 1252. The Japanese code pages
// (932, 50220 to 50222 ISO-2022-JP, 51932 and 20932 EUC-JP) all use the Windows
// mapping of code page 932, so the same character reads the same whichever of
// them a mail was stored in.
QString DecodeCodePage(const QByteArray& bytes, int codePage);

// True when DecodeCodePage knows the code page.
bool IsKnownCodePage(int codePage);

// The code page for 8-bit strings that carry none: 932 in a Japanese locale,
// otherwise 1252, as the system's ANSI code page would be.
int DefaultAnsiCodePage();

// The code page of a MIME charset name ("iso-2022-jp" gives 50220), or 0.
int CodePageOfCharset(const QString& charset);

} // namespace OutlookPst
