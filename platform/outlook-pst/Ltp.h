// The layer of a data file above its blocks: heaps inside a node's data, the
// B-trees kept in a heap, property contexts (the properties of one object) and
// table contexts (folder contents, recipients, attachments).
//
// Every reference is checked against what holds it; whatever is not as expected
// makes a reader answer "null", so that the caller can go the slower way
// through libpff.
#pragma once

#include "Blocks.h"
#include "Props.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace OutlookPst::Ltp {

// A heap on a node: its data blocks, each a page of allocations.
class Heap {
public:
    static std::optional<Heap> Read(std::vector<QByteArray> blocks);

    quint8 ClientSignature() const { return FClient; }
    quint32 UserRoot() const { return FUserRoot; }
    // The allocation a heap identifier names; null for a bad one. Identifier 0
    // is the empty allocation.
    std::optional<QByteArrayView> Item(quint32 hid) const;
    // The number of allocations in all pages.
    qsizetype ItemCount() const;

private:
    std::vector<QByteArray> FBlocks;
    quint8 FClient = 0;
    quint32 FUserRoot = 0;
};

// The leaf records of the B-tree on a heap whose header is at hid; each record
// is its key followed by its data. Null when the tree is damaged or its sizes
// are not keySize and dataSize.
std::optional<std::vector<QByteArrayView>> BTreeRecords(const Heap& heap, quint32 hid, int keySize,
                                                        int dataSize);

// Reads a value kept in a sub-node of the object (whole); null when it cannot.
using SubNodeValue = std::function<std::optional<QByteArray>(quint32 nid)>;

// One property as stored: its value in hand, or the sub-node that keeps it
// (read on demand, since a large body or attachment need not be read at all).
struct StoredProp {
    quint16 Id = 0;
    quint16 Type = 0;
    QByteArray Data;
    quint32 SubNode = 0; // non-zero: the value is in this sub-node
};

// The properties of a property context, in stored order; null when damaged.
std::optional<std::vector<StoredProp>> ReadPropertyContext(const Heap& heap);

// True for the types whose values are kept outside a record or a table cell.
bool IsVariableType(quint16 type);

// A table context: its columns and rows.
class Table {
public:
    struct Column {
        quint16 Id = 0;
        quint16 Type = 0;
        quint16 Offset = 0;
        quint8 Size = 0;
        quint8 Bit = 0;
    };

    // Null when the heap is not a table or its description is damaged.
    // rowBlocks reads the data blocks of the rows when a sub-node keeps them.
    static std::optional<Table> Read(const Heap& heap,
                                     const std::function<std::optional<std::vector<QByteArray>>(quint32)>& rowBlocks);

    int RowCount() const { return static_cast<int>(FRows.size()); }
    // The row's identifier (the node of a folder's child, of an attachment).
    quint32 RowId(int row) const;
    // The cells of a row, in the order of their bits in the row's bitmap; values kept in
    // sub-nodes are left for the caller. Null when a cell is damaged.
    std::optional<std::vector<StoredProp>> Row(int row) const;

private:
    std::shared_ptr<const Heap> FHeap; // the heap the cells refer to
    std::vector<Column> FColumns;
    std::vector<QByteArray> FRowBlocks; // when the rows are in a sub-node
    std::vector<QByteArrayView> FRows;
    int FRowIdOffset = -1;
};

} // namespace OutlookPst::Ltp
