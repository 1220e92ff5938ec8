#include "Ltp.h"

#include <QtEndian>
#include <algorithm>

namespace OutlookPst::Ltp {

namespace {

quint16 U16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 U32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

constexpr quint8 kHeapSignature = 0xEC;
constexpr quint8 kBTreeType = 0xB5;
constexpr quint8 kPropertyContext = 0xBC;
constexpr quint8 kTableContext = 0x7C;
constexpr int kMaxBTreeLevels = 8;

// budget: how many more tree nodes may be visited, so that nodes listed more
// than once in a damaged heap cannot make the walk grow without end.
bool BTreeLevel(const Heap& heap, quint32 hid, int levels, int keySize, int dataSize,
                std::vector<QByteArrayView>& out, qsizetype& budget)
{
    const std::optional<QByteArrayView> node = heap.Item(hid);
    if (!node || --budget < 0)
        return false;
    if (levels == 0) {
        const int size = keySize + dataSize;
        if (node->size() % size != 0)
            return false;
        for (qsizetype at = 0; at < node->size(); at += size)
            out.push_back(node->sliced(at, size));
        return true;
    }
    const int size = keySize + 4;
    if (node->size() % size != 0)
        return false;
    for (qsizetype at = 0; at < node->size(); at += size)
        if (!BTreeLevel(heap, U32(node->data() + at + keySize), levels - 1, keySize, dataSize, out,
                        budget))
            return false;
    return true;
}

} // namespace

std::optional<Heap> Heap::Read(std::vector<QByteArray> blocks)
{
    if (blocks.empty() || blocks[0].size() < 12)
        return std::nullopt;
    const char* p = blocks[0].constData();
    if (static_cast<quint8>(p[2]) != kHeapSignature)
        return std::nullopt;
    // Every page begins with the offset of its map of allocations; the map must
    // lie inside the page, with its offsets rising and ending before it.
    for (const QByteArray& block : blocks) {
        if (block.size() < 2)
            return std::nullopt;
        const qsizetype map = U16(block.constData());
        if (map + 4 > block.size())
            return std::nullopt;
        const int count = U16(block.constData() + map);
        if (map + 4 + (count + 1) * 2 > block.size())
            return std::nullopt;
        qsizetype previous = 0;
        for (int i = 0; i <= count; ++i) {
            const qsizetype offset = U16(block.constData() + map + 4 + i * 2);
            if (offset < previous || offset > map)
                return std::nullopt;
            previous = offset;
        }
    }
    Heap heap;
    heap.FClient = static_cast<quint8>(p[3]);
    heap.FUserRoot = U32(p + 4);
    heap.FBlocks = std::move(blocks);
    return heap;
}

qsizetype Heap::ItemCount() const
{
    qsizetype count = 0;
    for (const QByteArray& page : FBlocks)
        count += U16(page.constData() + U16(page.constData()));
    return count;
}

std::optional<QByteArrayView> Heap::Item(quint32 hid) const
{
    if (hid == 0)
        return QByteArrayView();
    const quint32 index = (hid >> 5) & 0x7FF;
    const quint32 block = hid >> 16;
    if ((hid & 0x1F) != 0 || index == 0 || block >= FBlocks.size())
        return std::nullopt;
    const QByteArray& page = FBlocks[block];
    const char* map = page.constData() + U16(page.constData());
    if (index > U16(map))
        return std::nullopt;
    const qsizetype start = U16(map + 4 + (index - 1) * 2);
    const qsizetype end = U16(map + 4 + index * 2);
    return QByteArrayView(page.constData() + start, end - start);
}

std::optional<std::vector<QByteArrayView>> BTreeRecords(const Heap& heap, quint32 hid, int keySize,
                                                        int dataSize)
{
    const std::optional<QByteArrayView> header = heap.Item(hid);
    if (!header || header->size() < 8)
        return std::nullopt;
    const char* h = header->data();
    if (static_cast<quint8>(h[0]) != kBTreeType || h[1] != keySize || h[2] != dataSize ||
        static_cast<quint8>(h[3]) > kMaxBTreeLevels)
        return std::nullopt;
    std::vector<QByteArrayView> records;
    const quint32 root = U32(h + 4);
    qsizetype budget = heap.ItemCount();
    if (root != 0 &&
        !BTreeLevel(heap, root, static_cast<quint8>(h[3]), keySize, dataSize, records, budget))
        return std::nullopt;
    return records;
}

bool IsVariableType(quint16 type)
{
    switch (type) {
    case 0x0002: // 16-bit integer
    case 0x0003: // 32-bit integer
    case 0x0004: // float
    case 0x0005: // double
    case 0x0006: // currency
    case 0x0007: // application time
    case 0x000A: // error code
    case 0x000B: // boolean
    case 0x0014: // 64-bit integer
    case 0x0040: // time
        return false;
    default:
        return true;
    }
}

namespace {

// The types whose value is stored in the record of a property context itself.
bool IsInRecord(quint16 type)
{
    return type == 0x0002 || type == 0x0003 || type == 0x0004 || type == 0x000A || type == 0x000B;
}

// The bytes of a value kept in a record: a 16-bit integer has two, a boolean
// one, the others four.
qsizetype InRecordSize(quint16 type)
{
    return type == 0x0002 ? 2 : type == 0x000B ? 1 : 4;
}

// A value by heap-or-node identifier: in the heap, or in a sub-node.
bool ReadHnid(const Heap& heap, quint32 hnid, StoredProp& prop)
{
    if ((hnid & 0x1F) != 0) {
        prop.SubNode = hnid;
        return true;
    }
    const std::optional<QByteArrayView> item = heap.Item(hnid);
    if (!item)
        return false;
    prop.Data = item->toByteArray();
    return true;
}

} // namespace

std::optional<std::vector<StoredProp>> ReadPropertyContext(const Heap& heap)
{
    if (heap.ClientSignature() != kPropertyContext)
        return std::nullopt;
    const std::optional<std::vector<QByteArrayView>> records =
        BTreeRecords(heap, heap.UserRoot(), 2, 6);
    if (!records)
        return std::nullopt;
    std::vector<StoredProp> props;
    props.reserve(records->size());
    for (const QByteArrayView& record : *records) {
        StoredProp prop;
        prop.Id = U16(record.data());
        prop.Type = U16(record.data() + 2);
        if (IsInRecord(prop.Type))
            prop.Data = record.sliced(4, InRecordSize(prop.Type)).toByteArray();
        else if (!ReadHnid(heap, U32(record.data() + 4), prop))
            return std::nullopt;
        props.push_back(std::move(prop));
    }
    return props;
}

std::optional<Table> Table::Read(
    const Heap& heap, const std::function<std::optional<std::vector<QByteArray>>(quint32)>& rowBlocks)
{
    if (heap.ClientSignature() != kTableContext)
        return std::nullopt;
    const std::optional<QByteArrayView> info = heap.Item(heap.UserRoot());
    if (!info || info->size() < 22 || static_cast<quint8>(info->at(0)) != kTableContext)
        return std::nullopt;
    const char* p = info->data();
    const int columns = static_cast<quint8>(p[1]);
    if (info->size() < 22 + columns * 8)
        return std::nullopt;
    Table table;
    table.FHeap = std::make_shared<Heap>(heap);
    // The row: 8- and 4-byte values, then 2-byte and 1-byte ones, then a bitmap
    // of the cells present.
    const int rowSize = U16(p + 8);
    const int bitmap = U16(p + 6);
    if (bitmap > rowSize || rowSize == 0)
        return std::nullopt;
    for (int i = 0; i < columns; ++i) {
        const char* c = p + 22 + i * 8;
        Column column;
        column.Type = U16(c);
        column.Id = U16(c + 2);
        column.Offset = U16(c + 4);
        column.Size = static_cast<quint8>(c[6]);
        column.Bit = static_cast<quint8>(c[7]);
        if (column.Offset + column.Size > bitmap || bitmap + column.Bit / 8 >= rowSize ||
            (IsVariableType(column.Type) && column.Size != 4))
            return std::nullopt;
        if (column.Id == 0x67F2 && column.Type == 0x0003 && column.Size == 4)
            table.FRowIdOffset = column.Offset;
        table.FColumns.push_back(column);
    }
    // Cells are given in the order of their bits in the row's bitmap, as libpff
    // gives them.
    std::stable_sort(table.FColumns.begin(), table.FColumns.end(),
                     [](const Column& a, const Column& b) { return a.Bit < b.Bit; });
    // The number of rows is the number of entries in the row index.
    const std::optional<std::vector<QByteArrayView>> index =
        BTreeRecords(*table.FHeap, U32(p + 10), 4, 4);
    if (!index || table.FRowIdOffset < 0)
        return std::nullopt;
    const std::size_t rows = index->size();
    const quint32 hnidRows = U32(p + 14);
    if ((hnidRows & 0x1F) != 0) {
        std::optional<std::vector<QByteArray>> blocks = rowBlocks(hnidRows);
        if (!blocks)
            return std::nullopt;
        table.FRowBlocks = std::move(*blocks);
    } else if (hnidRows != 0) {
        const std::optional<QByteArrayView> item = table.FHeap->Item(hnidRows);
        if (!item)
            return std::nullopt;
        table.FRowBlocks.push_back(item->toByteArray());
    }
    // Rows never straddle two blocks.
    for (const QByteArray& block : table.FRowBlocks)
        for (qsizetype at = 0; at + rowSize <= block.size() && table.FRows.size() < rows;
             at += rowSize)
            table.FRows.push_back(QByteArrayView(block.constData() + at, rowSize));
    if (table.FRows.size() != rows)
        return std::nullopt;
    return table;
}

quint32 Table::RowId(int row) const
{
    return U32(FRows[static_cast<std::size_t>(row)].data() + FRowIdOffset);
}

std::optional<std::vector<StoredProp>> Table::Row(int row) const
{
    const char* r = FRows[static_cast<std::size_t>(row)].data();
    std::vector<StoredProp> cells;
    cells.reserve(FColumns.size());
    // Every column gives a value, as libpff gives it, whether the row's bitmap
    // marks the cell as present or not: an absent cell reads as zero or empty.
    for (const Column& column : FColumns) {
        StoredProp cell;
        cell.Id = column.Id;
        cell.Type = column.Type;
        if (!IsVariableType(column.Type))
            cell.Data = QByteArray(r + column.Offset, column.Size);
        else if (!ReadHnid(*FHeap, U32(r + column.Offset), cell))
            return std::nullopt;
        cells.push_back(std::move(cell));
    }
    return cells;
}

} // namespace OutlookPst::Ltp
