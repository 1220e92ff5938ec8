// A reader of the block layer of a Unicode data file (512-byte pages, or the
// 4096-byte pages with compressed blocks of newer offline caches), used to
// stream an attachment's content a block at a time: libpff reads a value's
// blocks into one buffer of the whole value before handing any of it out.
//
// It follows the node and block B-trees from the file header, the message's and
// the attachment's sub-node trees, the attachment's property context (a heap of
// one block) and the data tree of the content (a data block, or XBLOCK and
// XXBLOCK lists of them). Every page and block is checked against its CRC,
// identifier and size before use, and data blocks are decrypted in place.
// Whatever it does not find as expected it reports as "not found", so that the
// caller can go the slower way through libpff; damage in the data blocks
// themselves raises, since libpff would fail on it too.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <vector>

namespace OutlookPst {

class BlockFile {
public:
    // Reads size bytes at offset into buffer; false when the file ends before.
    using ReadAt = std::function<bool(quint64 offset, char* buffer, qsizetype size)>;

    // A reader over the file at path, or null when it is not a Unicode data file
    // (libpff serves the others).
    static std::unique_ptr<BlockFile> Open(const QString& path);
    // The same over any source of bytes (tests and fuzzing read from memory).
    static std::unique_ptr<BlockFile> Open(ReadAt read);

    ~BlockFile();
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // The content of the binary attachment data property of attachment
    // attachmentNid of the top-level message messageNid, read one data block at
    // a time.
    class Stream {
    public:
        // The content's size in bytes.
        quint64 Size() const { return FSize; }
        // Fills buffer with up to size bytes; returns how many, 0 at the end.
        // Raises EOleException for a damaged block.
        qsizetype Read(char* buffer, qsizetype size);

    private:
        friend class BlockFile;
        BlockFile* FFile = nullptr;
        std::vector<quint64> FBlocks; // the data blocks in order
        std::size_t FNext = 0;
        QByteArray FCurrent;
        qsizetype FUsed = 0;
        quint64 FSize = 0;
        quint64 FDone = 0;
    };
    // The properties of attachment attachmentNid of the top-level message
    // messageNid, read from its property context, and its content when that is
    // kept outside the context (a large binary attachment data property).
    struct Attachment {
        // Values of the kinds read here: 32-bit integers, strings and binary
        // values, as stored.
        std::map<quint16, std::pair<quint16, QByteArray>> Values;
        // Properties present but not read here (other kinds, values kept in
        // sub-nodes); a caller asks libpff for those.
        std::set<quint16> Unknown;
        bool HasData = false;
        Stream Data;
    };
    // Null when the attachment cannot be read this way. The stream refers to
    // this object, which must outlive it.
    std::optional<Attachment> ReadAttachment(quint32 messageNid, quint32 attachmentNid);

    // A node: the block of its data and the block of its sub-node tree (0 for none).
    struct Node {
        quint64 Data = 0;
        quint64 Sub = 0;
    };
    std::optional<Node> FindNode(quint32 nid);
    // Every sub-node of a sub-node tree by identifier; empty for none (sub 0),
    // null when the tree is damaged.
    std::optional<std::map<quint32, Node>> SubNodes(quint64 sub);
    // The data blocks of a node's data tree in order, checked and decrypted;
    // null when one is missing or damaged. maxSize bounds the total.
    std::optional<std::vector<QByteArray>> NodeData(quint64 bid, quint64 maxSize);
    // A stream over the data tree of a node.
    std::optional<Stream> OpenStream(quint64 bid);

private:
    struct BlockRef {
        quint64 Offset = 0;
        quint16 Size = 0;     // as stored
        quint16 Inflated = 0; // once inflated (the stored size unless compressed)
    };
    // The head of a B-tree page: its entry count, entry size and level.
    struct PageHead {
        int Count = 0;
        int EntrySize = 0;
        int Level = 0;
    };
    PageHead Head(const char* page) const;

    explicit BlockFile(ReadAt read) : FRead(std::move(read)) {}
    bool ReadHeader();
    // A B-tree page at offset, checked; empty when damaged.
    QByteArray Page(quint64 offset, quint8 type);
    // Walks a B-tree (of nodes or of blocks) from its root to the leaf entry
    // with the key; keyOf reads an entry's key. The entry points into page.
    const char* FindLeafEntry(quint64 root, quint8 type, quint64 key, quint64 (*keyOf)(const char*),
                              int leafEntrySize, QByteArray& page);
    std::optional<BlockRef> FindBlock(quint64 bid);
    // One block, checked and, for a data block, decrypted. Null when it cannot be
    // found or fails a check.
    std::optional<QByteArray> Block(quint64 bid);
    std::optional<Node> FindSubNode(quint64 subBid, quint32 nid, int depth = 0);
    // The data blocks of a data tree, in order, with the total size.
    bool DataBlocks(quint64 bid, std::vector<quint64>& blocks, quint64& size, int depth = 0);

    bool SubNodesInto(quint64 sub, std::map<quint32, Node>& nodes, int depth);

    ReadAt FRead;
    // B-tree pages above the leaves, read once: a lookup then reads one page.
    std::map<quint64, QByteArray> FInnerPages;
    // The leaf pages of each tree that answered last: the nodes and blocks of
    // one message usually sit side by side in a few of them.
    static constexpr int kRecentLeaves = 8;
    QByteArray FRecentLeaves[2][kRecentLeaves];
    int FNextLeaf[2] = {0, 0};
    int FFd = -1;
    quint8 FCrypt = 0;
    bool FLarge = false; // 4096-byte pages
    quint64 FNbtRoot = 0;
    quint64 FBbtRoot = 0;
};

// The CRC of pages and blocks: the CRC-32 register update from zero, without
// the usual inversions.
quint32 BlockCrc(const char* data, qsizetype size);

} // namespace OutlookPst
