// The lists, tables and properties layer: heap-on-node, B-tree-on-heap,
// property contexts and table contexts, built in memory for one node and
// handed to the node database as blocks.
#pragma once

#include "Ndb.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace PstWriter {

// Property types.
namespace PropType {
constexpr uint16_t Int16 = 0x0002;
constexpr uint16_t Int32 = 0x0003;
constexpr uint16_t Boolean = 0x000B;
constexpr uint16_t Object = 0x000D;
constexpr uint16_t Int64 = 0x0014;
constexpr uint16_t String8 = 0x001E;
constexpr uint16_t Unicode = 0x001F;
constexpr uint16_t SysTime = 0x0040;
constexpr uint16_t Binary = 0x0102;
} // namespace PropType

constexpr uint32_t Tag(uint16_t id, uint16_t type) { return (uint32_t(id) << 16) | type; }

// Largest value a heap holds; larger values become sub-nodes.
constexpr size_t MaxHeapItem = 3580;

// The sub-nodes of one node, collected while its contents are written.
struct Subnodes {
    std::vector<Ndb::SubnodeEntry> Entries;
    uint32_t NextIndex = 1;
    Nid NewNid(Nid type) { return MakeNid(NextIndex++, type); }
};

// One property value. Small values sit in Data (little-endian numbers,
// UTF-16LE or 8-bit strings, raw bytes); a large value may instead come from
// Stream, which writes Size bytes. An object value names a sub-node (ObjectNid)
// whose size is Size.
struct Property {
    Property() = default;
    Property(uint16_t id, uint16_t type, std::string data) : Id(id), Type(type), Data(std::move(data)) {}

    uint16_t Id = 0;
    uint16_t Type = 0;
    std::string Data;
    uint64_t Size = 0;
    std::function<void(Ndb::Stream&)> Stream;
    Nid ObjectNid = 0;
};

class Heap {
public:
    explicit Heap(uint8_t clientSignature) : FClient(clientSignature) {}
    // A new heap item; its id.
    uint32_t Alloc(const std::string& data);
    void SetRoot(uint32_t hid) { FRoot = hid; }
    // The node's data, one string per block.
    std::vector<std::string> Blocks() const;

private:
    struct Page {
        std::vector<std::string> Items;
        size_t Bytes = 0;
    };
    size_t HeaderSize(size_t page) const;
    std::vector<Page> FPages;
    uint8_t FClient;
    uint32_t FRoot = 0;
};

// A B-tree on the heap over records sorted by key; the id of its header.
uint32_t BuildBth(Heap& heap, uint8_t keySize, uint8_t dataSize,
                  const std::vector<std::string>& sortedRecords);

// A property context of the properties (any order). Values too large for the
// heap become sub-nodes in subs.
std::vector<std::string> PropertyContext(Ndb& ndb, std::vector<Property> props, Subnodes& subs);

// A table context: the columns (property tags, without the row id and row
// version, which every table has) and rows of (row id, cells in column order;
// an absent cell is an empty optional-like pair with first == false).
struct TableCell {
    bool Present = false;
    std::string Data;
};
struct TableRow {
    uint32_t Id = 0;
    std::vector<TableCell> Cells;
};
std::vector<std::string> TableContext(Ndb& ndb, const std::vector<uint32_t>& columns,
                                      const std::vector<TableRow>& rows, Subnodes& subs);

} // namespace PstWriter
