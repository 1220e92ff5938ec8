// Compressed RTF as a data file stores it, and the RTF inside: decompressing
// and rendering either must end in text or an automation error, nothing else.
#include "Body.h"
#include "runtime/Exception.h"

#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const QByteArray rtf = OutlookPst::DecompressRtf(input);
        OutlookPst::RtfToText(rtf, 932);
    } catch (const EOleException&) {
    }
    // The same bytes as an uncompressed RTF document.
    OutlookPst::RtfToText(input, 1252);
    OutlookPst::RtfToHtml(input, 932);
    return 0;
}
