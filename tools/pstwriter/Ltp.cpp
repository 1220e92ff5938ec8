#include "Ltp.h"

#include "Bytes.h"

#include <algorithm>

namespace PstWriter {

namespace {

constexpr uint16_t TagRowId = 0x67F2;
constexpr uint16_t TagRowVer = 0x67F3;

// The free-space class of a heap page: 0 for 3584 free bytes or more, 15 for under 8.
uint8_t FillLevel(size_t freeBytes)
{
    static const size_t limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                    512,  256,  128,  64,   32,   16,   8};
    for (uint8_t i = 0; i < 15; ++i)
        if (freeBytes >= limits[i])
            return i;
    return 15;
}

size_t PageMapSize(size_t items) { return 4 + 2 * (items + 1); }

// Size of a column's cell in a table row.
uint8_t CellSize(uint32_t tag)
{
    switch (tag & 0xFFFF) {
    case PropType::Int16:
        return 2;
    case PropType::Boolean:
        return 1;
    case PropType::Int32:
    case 0x0004: // float
    case 0x000A: // error code
        return 4;
    case PropType::Int64:
    case PropType::SysTime:
    case 0x0005: // double
    case 0x0006: // currency
    case 0x0007: // application time
        return 8;
    default:
        return 4; // variable size: a heap or sub-node reference
    }
}

bool IsFixed(uint16_t type)
{
    switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::Int64:
    case PropType::SysTime:
    case 0x0004:
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x000A:
        return true;
    default:
        return false;
    }
}

// A variable-size value on the heap, or in a sub-node when it is too large.
uint32_t StoreValue(Ndb& ndb, Heap& heap, const std::string& data, Subnodes& subs)
{
    if (data.size() <= MaxHeapItem)
        return heap.Alloc(data);
    const Nid nid = subs.NewNid(NidType::Ltp);
    subs.Entries.push_back({nid, ndb.WriteData(data), 0});
    return nid;
}

} // namespace

// ---- Heap ------------------------------------------------------------------

size_t Heap::HeaderSize(size_t page) const
{
    if (page == 0)
        return 12;
    return page % 128 == 8 ? 66 : 2;
}

uint32_t Heap::Alloc(const std::string& data)
{
    if (data.size() > MaxHeapItem)
        throw Error("internal: heap item too large");
    auto fits = [&](size_t page) {
        const Page& p = FPages[page];
        const size_t body = (HeaderSize(page) + p.Bytes + data.size() + 1) / 2 * 2;
        return p.Items.size() < 2047 && body + PageMapSize(p.Items.size() + 1) <= MaxBlockData;
    };
    if (FPages.empty() || !fits(FPages.size() - 1))
        FPages.emplace_back();
    Page& p = FPages.back();
    p.Items.push_back(data);
    p.Bytes += data.size();
    return static_cast<uint32_t>(((FPages.size() - 1) << 16) | (p.Items.size() << 5));
}

std::vector<std::string> Heap::Blocks() const
{
    std::vector<std::string> blocks;
    const size_t pages = std::max<size_t>(FPages.size(), 1);
    for (size_t i = 0; i < pages; ++i) {
        std::string b;
        Put16(b, 0); // page map offset, below
        if (i == 0) {
            Put8(b, 0xEC);
            Put8(b, FClient);
            Put32(b, FRoot);
            Put32(b, 0); // fill levels, below
        } else if (i % 128 == 8) {
            b.append(64, '\0');
        }
        std::vector<uint16_t> offsets;
        if (i < FPages.size())
            for (const auto& item : FPages[i].Items) {
                offsets.push_back(static_cast<uint16_t>(b.size()));
                b += item;
            }
        offsets.push_back(static_cast<uint16_t>(b.size()));
        if (b.size() % 2)
            b.push_back('\0');
        SetLe(b, 0, b.size(), 2);
        Put16(b, static_cast<uint16_t>(offsets.size() - 1));
        Put16(b, 0);
        for (uint16_t o : offsets)
            Put16(b, o);
        blocks.push_back(std::move(b));
    }
    // Fill levels: the first page describes pages 0 to 7, every bitmap page
    // the 128 pages from itself.
    auto setLevel = [&](std::string& page, size_t at, size_t n, size_t block) {
        const uint8_t level = FillLevel(MaxBlockData - blocks[block].size());
        char& c = page[at + n / 2];
        c = static_cast<char>(c | (n % 2 ? level << 4 : level));
    };
    for (size_t j = 0; j < std::min<size_t>(8, blocks.size()); ++j)
        setLevel(blocks[0], 8, j, j);
    for (size_t i = 8; i < blocks.size(); i += 128)
        for (size_t j = i; j < std::min(blocks.size(), i + 128); ++j)
            setLevel(blocks[i], 2, j - i, j);
    return blocks;
}

// ---- B-tree on heap --------------------------------------------------------

uint32_t BuildBth(Heap& heap, uint8_t keySize, uint8_t dataSize,
                  const std::vector<std::string>& sortedRecords)
{
    uint32_t root = 0;
    uint8_t levels = 0;
    if (!sortedRecords.empty()) {
        std::vector<std::string> records = sortedRecords;
        size_t recordSize = size_t(keySize) + dataSize;
        for (;;) {
            const size_t perNode = MaxHeapItem / recordSize;
            std::vector<std::string> index;
            for (size_t i = 0; i < records.size(); i += perNode) {
                std::string node;
                for (size_t j = i; j < std::min(records.size(), i + perNode); ++j)
                    node += records[j];
                const uint32_t hid = heap.Alloc(node);
                index.push_back(records[i].substr(0, keySize) + Le32(hid));
            }
            if (index.size() == 1) {
                root = static_cast<uint32_t>(static_cast<uint8_t>(index[0][keySize])) |
                       static_cast<uint32_t>(static_cast<uint8_t>(index[0][keySize + 1])) << 8 |
                       static_cast<uint32_t>(static_cast<uint8_t>(index[0][keySize + 2])) << 16 |
                       static_cast<uint32_t>(static_cast<uint8_t>(index[0][keySize + 3])) << 24;
                break;
            }
            records = std::move(index);
            recordSize = size_t(keySize) + 4;
            ++levels;
        }
    }
    std::string header;
    Put8(header, 0xB5);
    Put8(header, keySize);
    Put8(header, dataSize);
    Put8(header, levels);
    Put32(header, root);
    return heap.Alloc(header);
}

// ---- Property context ------------------------------------------------------

std::vector<std::string> PropertyContext(Ndb& ndb, std::vector<Property> props, Subnodes& subs)
{
    std::stable_sort(props.begin(), props.end(),
                     [](const Property& a, const Property& b) { return a.Id < b.Id; });
    Heap heap(0xBC);
    std::vector<std::string> records;
    for (const Property& p : props) {
        uint32_t value = 0;
        if (p.Type == PropType::Object) {
            value = heap.Alloc(Le32(p.ObjectNid) + Le32(static_cast<uint32_t>(p.Size)));
        } else if (IsFixed(p.Type) && CellSize(p.Type) <= 4) {
            for (size_t i = 0; i < std::min<size_t>(4, p.Data.size()); ++i)
                value |= static_cast<uint32_t>(static_cast<uint8_t>(p.Data[i])) << (8 * i);
        } else if (p.Stream) {
            Ndb::Stream s(ndb);
            p.Stream(s);
            const Nid nid = subs.NewNid(NidType::Ltp);
            subs.Entries.push_back({nid, s.Finish(), 0});
            value = nid;
        } else {
            value = StoreValue(ndb, heap, p.Data, subs);
        }
        std::string r;
        Put16(r, p.Id);
        Put16(r, p.Type);
        Put32(r, value);
        records.push_back(std::move(r));
    }
    heap.SetRoot(BuildBth(heap, 2, 6, records));
    return heap.Blocks();
}

// ---- Table context ---------------------------------------------------------

std::vector<std::string> TableContext(Ndb& ndb, const std::vector<uint32_t>& columns,
                                      const std::vector<TableRow>& rows, Subnodes& subs)
{
    struct Col {
        uint32_t Tag;
        uint16_t Offset = 0;
        uint8_t Size;
        uint8_t Bit;
        int Cell; // index into TableRow::Cells, -1 for row id, -2 for row version
    };
    std::vector<Col> cols{{Tag(TagRowId, PropType::Int32), 0, 4, 0, -1},
                          {Tag(TagRowVer, PropType::Int32), 4, 4, 1, -2}};
    for (size_t i = 0; i < columns.size(); ++i)
        cols.push_back({columns[i], 0, CellSize(columns[i]), static_cast<uint8_t>(i + 2),
                        static_cast<int>(i)});
    // Cells by size: eight and four bytes, then two, then one, then the bitmap
    // of present cells.
    uint16_t offset = 8;
    uint16_t ends[4] = {};
    const uint8_t groups[][2] = {{8, 8}, {4, 4}, {2, 2}, {1, 1}};
    for (int g = 0; g < 4; ++g) {
        for (Col& c : cols)
            if (c.Cell >= 0 && c.Size == groups[g][0]) {
                c.Offset = offset;
                offset += c.Size;
            }
        if (g >= 1)
            ends[g - 1] = offset;
    }
    const uint16_t rowSize = static_cast<uint16_t>(offset + (cols.size() + 7) / 8);
    ends[3] = rowSize;

    Heap heap(0x7C);
    std::string matrix;
    std::vector<std::string> index;
    for (size_t r = 0; r < rows.size(); ++r) {
        const TableRow& row = rows[r];
        std::string cells(rowSize, '\0');
        for (const Col& c : cols) {
            std::string value;
            if (c.Cell == -1)
                value = Le32(row.Id);
            else if (c.Cell == -2)
                value = Le32(static_cast<uint32_t>(r + 1));
            else if (c.Cell < static_cast<int>(row.Cells.size()) && row.Cells[c.Cell].Present) {
                const std::string& d = row.Cells[c.Cell].Data;
                value = IsFixed(c.Tag & 0xFFFF) ? d : Le32(StoreValue(ndb, heap, d, subs));
            } else {
                continue;
            }
            value.resize(c.Size, '\0');
            cells.replace(c.Offset, c.Size, value);
            cells[offset + c.Bit / 8] =
                static_cast<char>(cells[offset + c.Bit / 8] | (0x80 >> (c.Bit % 8)));
        }
        matrix += cells;
        index.push_back(Le32(row.Id) + Le32(static_cast<uint32_t>(r)));
    }
    std::sort(index.begin(), index.end(), [](const std::string& a, const std::string& b) {
        for (int i = 3; i >= 0; --i)
            if (a[i] != b[i])
                return static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]);
        return false;
    });
    const uint32_t rowIndex = BuildBth(heap, 4, 4, index);

    uint32_t rowsRef = 0;
    if (!matrix.empty() && matrix.size() <= MaxHeapItem) {
        rowsRef = heap.Alloc(matrix);
    } else if (!matrix.empty()) {
        // Rows never straddle blocks.
        const size_t perBlock = (MaxBlockData / rowSize) * rowSize;
        std::vector<std::string> blocks;
        for (size_t i = 0; i < matrix.size(); i += perBlock)
            blocks.push_back(matrix.substr(i, perBlock));
        rowsRef = subs.NewNid(NidType::Ltp);
        subs.Entries.push_back({rowsRef, ndb.WriteBlocks(blocks), 0});
    }

    std::sort(cols.begin(), cols.end(), [](const Col& a, const Col& b) { return a.Tag < b.Tag; });
    std::string info;
    Put8(info, 0x7C);
    Put8(info, static_cast<uint8_t>(cols.size()));
    for (uint16_t e : ends)
        Put16(info, e);
    Put32(info, rowIndex);
    Put32(info, rowsRef);
    Put32(info, 0);
    for (const Col& c : cols) {
        Put32(info, c.Tag);
        Put16(info, c.Offset);
        Put8(info, c.Size);
        Put8(info, c.Bit);
    }
    heap.SetRoot(heap.Alloc(info));
    return heap.Blocks();
}

} // namespace PstWriter
