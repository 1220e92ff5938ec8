// The block reader over a data file image: the input's last eight bytes name a
// message and one of its attachments (two little-endian 32-bit node
// identifiers), the rest is the file. Reads the attachment's properties and its
// whole content.
#include "Blocks.h"
#include "runtime/Exception.h"

#include <QtEndian>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    const size_t imageSize = size - 8;
    const quint32 messageNid = qFromLittleEndian<quint32>(data + imageSize);
    const quint32 attachmentNid = qFromLittleEndian<quint32>(data + imageSize + 4);
    auto file = OutlookPst::BlockFile::Open([data, imageSize](quint64 offset, char* buffer,
                                                              qsizetype want) {
        if (offset > imageSize || static_cast<quint64>(want) > imageSize - offset)
            return false;
        memcpy(buffer, data + offset, static_cast<size_t>(want));
        return true;
    });
    if (!file)
        return 0;
    std::optional<OutlookPst::BlockFile::Attachment> attachment =
        file->ReadAttachment(messageNid, attachmentNid);
    if (!attachment || !attachment->HasData)
        return 0;
    char buffer[4096];
    try {
        while (attachment->Data.Read(buffer, sizeof buffer) > 0) {
        }
    } catch (const Exception&) {
        // Damaged blocks are reported, not read.
    }
    return 0;
}
