// The heap, B-tree, property context and table context readers over raw node
// data: the input is one to four heap pages (each a little-endian 16-bit
// length and the bytes), then the blocks of a table's rows in 8176-byte
// pieces. Reads every property and every cell of every row.
#include "Ltp.h"

#include <QtEndian>
#include <cstdint>

using namespace OutlookPst;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int pages = 1 + data[0] % 4;
    size_t at = 1;
    std::vector<QByteArray> blocks;
    for (int i = 0; i < pages; ++i) {
        if (at + 2 > size)
            return 0;
        const size_t length = qFromLittleEndian<quint16>(data + at);
        at += 2;
        if (length > size - at)
            return 0;
        blocks.emplace_back(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(length));
        at += length;
    }
    std::vector<QByteArray> rows;
    for (; at < size; at += 8176)
        rows.emplace_back(reinterpret_cast<const char*>(data + at),
                          static_cast<qsizetype>(std::min<size_t>(8176, size - at)));

    const std::optional<Ltp::Heap> heap = Ltp::Heap::Read(std::move(blocks));
    if (!heap)
        return 0;
    if (const auto props = Ltp::ReadPropertyContext(*heap)) {
        qsizetype total = 0;
        for (const Ltp::StoredProp& prop : *props)
            total += prop.Data.size();
        (void)total;
    }
    const std::optional<Ltp::Table> table =
        Ltp::Table::Read(*heap, [&rows](quint32) -> std::optional<std::vector<QByteArray>> { return rows; });
    if (!table)
        return 0;
    for (int row = 0; row < table->RowCount(); ++row) {
        (void)table->RowId(row);
        (void)table->Row(row);
    }
    return 0;
}
