// HTML bodies and 8-bit text as data files store them: the first byte picks a
// code page, the rest is decoded with it and rendered as HTML.
#include "Body.h"
#include "CodePage.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int kCodePages[] = {932,  50220, 50221, 50222, 51932, 20932,
                                     1252, 65001, 936,   28591, 0};
    if (size == 0)
        return 0;
    const int codePage = kCodePages[data[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    OutlookPst::DecodeCodePage(bytes, codePage);
    OutlookPst::HtmlToText(OutlookPst::DecodeHtml(bytes, codePage));
    return 0;
}
