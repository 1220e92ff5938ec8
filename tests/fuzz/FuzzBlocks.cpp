// The block reader over a data file image: the input's last eight bytes name a
// message and one of its attachments (two little-endian 32-bit node
// identifiers), the rest is the file. Reads the message's properties and
// tables, the attachment's properties and its whole content.
#include "Blocks.h"
#include "Ltp.h"
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
    if (const auto message = file->FindNode(messageNid)) {
        if (auto pages = file->NodeData(message->Data, 1u << 20))
            if (const auto heap = OutlookPst::Ltp::Heap::Read(std::move(*pages)))
                (void)OutlookPst::Ltp::ReadPropertyContext(*heap);
        if (const auto subs = file->SubNodes(message->Sub))
            for (const auto& [nid, node] : *subs) {
                auto pages = file->NodeData(node.Data, 1u << 20);
                const auto heap = pages ? OutlookPst::Ltp::Heap::Read(std::move(*pages)) : std::nullopt;
                if (!heap)
                    continue;
                const auto rowSubs = file->SubNodes(node.Sub);
                const auto table = OutlookPst::Ltp::Table::Read(
                    *heap, [&](quint32 rows) -> std::optional<std::vector<QByteArray>> {
                        if (!rowSubs || !rowSubs->contains(rows))
                            return std::nullopt;
                        return file->NodeData(rowSubs->at(rows).Data, 1u << 20);
                    });
                for (int row = 0; table && row < table->RowCount(); ++row)
                    (void)table->Row(row);
            }
    }
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
