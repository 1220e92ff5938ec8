#include "Blocks.h"

#include "PstFormat.h"

#include "runtime/Exception.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace OutlookPst {

namespace {

// The two page sizes: the Unicode format's 512-byte pages, and the 4096-byte
// pages of newer offline caches, whose blocks may be compressed with zlib.
struct Layout {
    qsizetype PageSize;
    qsizetype EntryBytes;     // the entries at the start of a B-tree page
    qsizetype CountAt;        // entry count (1 byte; 2 in 4 KiB pages), then size and level
    qsizetype TrailerAt;      // the page trailer: type, type again, signature, CRC
    qsizetype BlockTrailer;   // the trailer behind a block's data
    qsizetype BlockAlignment; // blocks start at multiples of this
    qsizetype MaxStoredBlock;
    qsizetype MaxBlock; // inflated
};
constexpr Layout kSmallPages{512, 488, 488, 496, 16, 64, 8192 - 16, 8192 - 16};
constexpr Layout kLargePages{4096, 4056, 4056, 4072, 24, 512, 65536, 65536};
constexpr quint8 kBbtPage = 0x80;
constexpr quint8 kNbtPage = 0x81;
constexpr int kMaxTreeDepth = 16;
// 4 MiB of index pages at most.
constexpr std::size_t kMaxInnerPages = 8192;
constexpr quint16 kAttachDataBin = 0x3701;
constexpr quint16 kBinaryType = 0x0102;

quint16 U16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 U32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
quint64 U64(const char* p)
{
    return qFromLittleEndian<quint64>(p);
}

// The lowest bit of a block identifier is reserved; the next one marks the
// blocks that hold lists (XBLOCK, XXBLOCK, sub-node blocks) rather than data.
quint64 BlockKey(quint64 bid)
{
    return bid & ~quint64(1);
}
bool IsInternal(quint64 bid)
{
    return (bid & 2) != 0;
}

[[noreturn]] void Damaged(const QString& what)
{
    throw EOleException(QStringLiteral("添付ファイルのデータを読めません: %1").arg(what));
}

} // namespace

quint32 BlockCrc(const char* data, qsizetype size)
{
    return PstFormat::Crc(data, static_cast<size_t>(size));
}

namespace {

// Reads up to size bytes at offset; how many (fewer where the file ends), or
// -1 for a read error.
qsizetype ReadAt(int fd, quint64 offset, char* buffer, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, static_cast<size_t>(size - done),
                                  static_cast<off_t>(offset + static_cast<quint64>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// Reads a file through a few aligned windows of it. The blocks of one message
// and its attachments usually lie side by side, so one read of a window serves
// a message's dozen small reads; a read larger than half a window goes
// straight to the file.
class WindowedFile {
public:
    explicit WindowedFile(int fd) : FFd(fd) {}

    bool Read(quint64 offset, char* buffer, qsizetype size)
    {
        if (size > kWindow / 2)
            return ReadAt(FFd, offset, buffer, size) == size;
        while (size > 0) {
            const quint64 start = offset & ~quint64(kWindow - 1);
            const Window* window = Find(start);
            if (!window)
                return false;
            const qsizetype at = static_cast<qsizetype>(offset - start);
            const qsizetype take = std::min(size, kWindow - at);
            if (at + take > window->Valid)
                return false; // the file ends before
            memcpy(buffer, window->Data.get() + at, static_cast<size_t>(take));
            buffer += take;
            offset += static_cast<quint64>(take);
            size -= take;
        }
        return true;
    }

private:
    static constexpr qsizetype kWindow = 32 * 1024;
    static constexpr int kWindows = 8;
    struct Window {
        quint64 Start = ~quint64(0);
        qsizetype Valid = 0;
        quint64 Used = 0;
        std::unique_ptr<char[]> Data;
    };

    const Window* Find(quint64 start)
    {
        ++FClock;
        Window* oldest = &FWindows[0];
        for (Window& window : FWindows) {
            if (window.Start == start && window.Data) {
                window.Used = FClock;
                return &window;
            }
            if (window.Used < oldest->Used)
                oldest = &window;
        }
        // The window used longest ago goes: the pages of the index, asked for
        // every few mails, stay beside the data of the mails in hand.
        Window& window = *oldest;
        window.Used = FClock;
        if (!window.Data)
            window.Data = std::make_unique<char[]>(kWindow);
        window.Start = ~quint64(0);
        const qsizetype done = ReadAt(FFd, start, window.Data.get(), kWindow);
        if (done < 0)
            return nullptr;
        window.Start = start;
        window.Valid = done;
        return &window;
    }

    int FFd;
    Window FWindows[kWindows];
    quint64 FClock = 0;
};

} // namespace

std::unique_ptr<BlockFile> BlockFile::Open(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto windows = std::make_shared<WindowedFile>(fd);
    std::unique_ptr<BlockFile> file(
        new BlockFile([windows](quint64 offset, char* buffer, qsizetype size) {
            return windows->Read(offset, buffer, size);
        }));
    file->FFd = fd;
    if (!file->ReadHeader())
        return nullptr;
    return file;
}

std::unique_ptr<BlockFile> BlockFile::Open(ReadAt read)
{
    std::unique_ptr<BlockFile> file(new BlockFile(std::move(read)));
    if (!file->ReadHeader())
        return nullptr;
    return file;
}

BlockFile::~BlockFile()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool BlockFile::ReadHeader()
{
    char header[564];
    if (!FRead(0, header, sizeof header) || QByteArrayView(header, 4) != "!BDN")
        return false;
    const quint16 version = U16(header + 10);
    // 14 and 15 are the 8-bit format, 36 the one with 4096-byte pages.
    if (version < 23)
        return false;
    FLarge = version == 36;
    if (BlockCrc(header + 8, 471) != U32(header + 4))
        return false;
    FNbtRoot = U64(header + 224);
    FBbtRoot = U64(header + 240);
    FCrypt = static_cast<quint8>(header[513]);
    // No encryption and compressible encryption are read here; the cyclic
    // method is left to libpff, and so are encrypted 4 KiB-page files, whose
    // blocks may also be compressed.
    return FCrypt == 0 || (FCrypt == 1 && !FLarge);
}

QByteArray BlockFile::Page(quint64 offset, quint8 type)
{
    const Layout& l = FLarge ? kLargePages : kSmallPages;
    QByteArray page(l.PageSize, Qt::Uninitialized);
    if (!FRead(offset, page.data(), l.PageSize))
        return {};
    const char* p = page.constData();
    if (static_cast<quint8>(p[l.TrailerAt]) != type ||
        static_cast<quint8>(p[l.TrailerAt + 1]) != type ||
        BlockCrc(p, l.TrailerAt) != U32(p + l.TrailerAt + 4))
        return {};
    return page;
}

BlockFile::PageHead BlockFile::Head(const char* page) const
{
    if (FLarge)
        return PageHead{U16(page + 4056), static_cast<quint8>(page[4060]),
                        static_cast<quint8>(page[4061])};
    return PageHead{static_cast<quint8>(page[488]), static_cast<quint8>(page[490]),
                    static_cast<quint8>(page[491])};
}

const char* BlockFile::FindLeafEntry(quint64 root, quint8 type, quint64 key,
                                     quint64 (*keyOf)(const char*), int leafEntrySize,
                                     QByteArray& page)
{
    QByteArray* recent = FRecentLeaves[type & 1];
    for (int leaf = 0; leaf < kRecentLeaves && !recent[leaf].isEmpty(); ++leaf) {
        const char* p = recent[leaf].constData();
        const PageHead head = Head(p);
        const int count = head.Count;
        const int size = head.EntrySize;
        for (int i = 0; i < count; ++i)
            if (keyOf(p + i * size) == key) {
                page = recent[leaf];
                return page.constData() + i * size;
            }
    }
    quint64 offset = root;
    int level = kMaxTreeDepth;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        const auto cached = FInnerPages.find(offset);
        if (cached != FInnerPages.end()) {
            page = cached->second;
        } else {
            page = Page(offset, type);
            if (page.isEmpty())
                return nullptr;
        }
        const char* p = page.constData();
        const PageHead head = Head(p);
        const int count = head.Count;
        const int size = head.EntrySize;
        const int pageLevel = head.Level;
        // Levels must fall on the way down, and the entries must fit the page.
        if (pageLevel >= level || count * size > (FLarge ? kLargePages : kSmallPages).EntryBytes)
            return nullptr;
        level = pageLevel;
        if (size < (level == 0 ? leafEntrySize : 24))
            return nullptr;
        if (level == 0) {
            for (int i = 0; i < count; ++i)
                if (keyOf(p + i * size) == key) {
                    int& next = FNextLeaf[type & 1];
                    recent[next] = page;
                    next = (next + 1) % kRecentLeaves;
                    return p + i * size;
                }
            return nullptr;
        }
        // A checked page above the leaves is kept; the bound keeps a huge
        // file's index from filling the memory.
        if (cached == FInnerPages.end() && FInnerPages.size() < kMaxInnerPages)
            FInnerPages.emplace(offset, page);
        int pick = -1;
        for (int i = 0; i < count && keyOf(p + i * size) <= key; ++i)
            pick = i;
        if (pick < 0)
            return nullptr;
        offset = U64(p + pick * size + 16);
    }
    return nullptr;
}

std::optional<BlockFile::Node> BlockFile::FindNode(quint32 nid)
{
    QByteArray page;
    const char* e = FindLeafEntry(
        FNbtRoot, kNbtPage, nid,
        [](const char* entry) { return quint64(static_cast<quint32>(U64(entry))); }, 32, page);
    if (!e)
        return std::nullopt;
    return Node{U64(e + 8), U64(e + 16)};
}

std::optional<BlockFile::BlockRef> BlockFile::FindBlock(quint64 bid)
{
    QByteArray page;
    const char* e = FindLeafEntry(
        FBbtRoot, kBbtPage, BlockKey(bid), [](const char* entry) { return BlockKey(U64(entry)); },
        24, page);
    if (!e)
        return std::nullopt;
    // A 4 KiB-page file also gives the size of the block once inflated.
    return BlockRef{U64(e + 8), U16(e + 16), FLarge ? U16(e + 18) : U16(e + 16)};
}

std::optional<QByteArray> BlockFile::Block(quint64 bid)
{
    const Layout& l = FLarge ? kLargePages : kSmallPages;
    const std::optional<BlockRef> ref = FindBlock(bid);
    if (!ref || ref->Size > l.MaxStoredBlock || ref->Inflated > l.MaxBlock)
        return std::nullopt;
    const qsizetype stored =
        (ref->Size + l.BlockTrailer + l.BlockAlignment - 1) / l.BlockAlignment * l.BlockAlignment;
    QByteArray block(stored, Qt::Uninitialized);
    if (!FRead(ref->Offset, block.data(), stored))
        return std::nullopt;
    const char* trailer = block.constData() + stored - l.BlockTrailer;
    if (U16(trailer) != ref->Size || BlockKey(U64(trailer + 8)) != BlockKey(bid) ||
        BlockCrc(block.constData(), ref->Size) != U32(trailer + 4))
        return std::nullopt;
    block.truncate(ref->Size);
    // A block stored smaller than its inflated size is a zlib stream.
    if (ref->Inflated != ref->Size) {
        QByteArray inflated(ref->Inflated, Qt::Uninitialized);
        uLongf size = static_cast<uLongf>(ref->Inflated);
        if (uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size,
                       reinterpret_cast<const Bytef*>(block.constData()),
                       static_cast<uLong>(block.size())) != Z_OK ||
            size != static_cast<uLongf>(ref->Inflated))
            return std::nullopt;
        block = std::move(inflated);
    }
    if (!IsInternal(bid) && FCrypt == 1)
        PstFormat::Decode(reinterpret_cast<uint8_t*>(block.data()),
                          static_cast<size_t>(block.size()));
    return block;
}

std::optional<BlockFile::Node> BlockFile::FindSubNode(quint64 subBid, quint32 nid, int depth)
{
    if (subBid == 0 || depth > 2)
        return std::nullopt;
    const std::optional<QByteArray> block = Block(subBid);
    if (!block || block->size() < 8 || block->at(0) != 0x02)
        return std::nullopt;
    const char* p = block->constData();
    const int level = static_cast<quint8>(p[1]);
    const int count = U16(p + 2);
    const int size = level == 0 ? 24 : 16;
    if (level > 1 || 8 + qsizetype(count) * size > block->size())
        return std::nullopt;
    if (level == 0) {
        for (int i = 0; i < count; ++i) {
            const char* e = p + 8 + i * size;
            if (static_cast<quint32>(U64(e)) == nid)
                return Node{U64(e + 8), U64(e + 16)};
        }
        return std::nullopt;
    }
    int pick = -1;
    for (int i = 0; i < count && static_cast<quint32>(U64(p + 8 + i * size)) <= nid; ++i)
        pick = i;
    if (pick < 0)
        return std::nullopt;
    return FindSubNode(U64(p + 8 + pick * size + 8), nid, depth + 1);
}

bool BlockFile::DataBlocks(quint64 bid, std::vector<quint64>& blocks, quint64& size, int depth)
{
    if (!IsInternal(bid)) {
        const std::optional<BlockRef> ref = FindBlock(bid);
        if (!ref)
            return false;
        blocks.push_back(bid);
        size = ref->Inflated;
        return true;
    }
    const std::optional<QByteArray> block = Block(bid);
    if (!block || block->size() < 8 || block->at(0) != 0x01)
        return false;
    const char* p = block->constData();
    const int level = static_cast<quint8>(p[1]);
    const int count = U16(p + 2);
    // An XXBLOCK (level 2) lists XBLOCKs, an XBLOCK (level 1) data blocks.
    if (level > 2 - depth || level < 1 || 8 + qsizetype(count) * 8 > block->size())
        return false;
    size = U32(p + 4);
    for (int i = 0; i < count; ++i) {
        const quint64 child = U64(p + 8 + i * 8);
        if (level == 1) {
            if (IsInternal(child))
                return false;
            blocks.push_back(child);
        } else {
            quint64 ignored = 0;
            if (!IsInternal(child) || !DataBlocks(child, blocks, ignored, depth + 1))
                return false;
        }
    }
    return true;
}

std::optional<std::map<quint32, BlockFile::Node>> BlockFile::SubNodes(quint64 sub)
{
    std::map<quint32, Node> nodes;
    if (sub != 0 && !SubNodesInto(sub, nodes, 0))
        return std::nullopt;
    return nodes;
}

bool BlockFile::SubNodesInto(quint64 sub, std::map<quint32, Node>& nodes, int depth)
{
    if (depth > 1)
        return false;
    const std::optional<QByteArray> block = Block(sub);
    if (!block || block->size() < 8 || block->at(0) != 0x02)
        return false;
    const char* p = block->constData();
    const int level = static_cast<quint8>(p[1]);
    const int count = U16(p + 2);
    const int size = level == 0 ? 24 : 16;
    // An SIBLOCK (level 1) lists SLBLOCKs, which list the sub-nodes.
    if (level > 1 - depth || 8 + qsizetype(count) * size > block->size())
        return false;
    for (int i = 0; i < count; ++i) {
        const char* e = p + 8 + i * size;
        if (level == 0)
            nodes[static_cast<quint32>(U64(e))] = Node{U64(e + 8), U64(e + 16)};
        else if (!SubNodesInto(U64(e + 8), nodes, depth + 1))
            return false;
    }
    return true;
}

std::optional<std::vector<QByteArray>> BlockFile::NodeData(quint64 bid, quint64 maxSize)
{
    std::vector<quint64> ids;
    quint64 size = 0;
    if (!DataBlocks(bid, ids, size) || size > maxSize)
        return std::nullopt;
    std::vector<QByteArray> blocks;
    blocks.reserve(ids.size());
    quint64 total = 0;
    for (quint64 id : ids) {
        std::optional<QByteArray> block = Block(id);
        if (!block)
            return std::nullopt;
        total += static_cast<quint64>(block->size());
        blocks.push_back(std::move(*block));
    }
    if (total != size)
        return std::nullopt;
    return blocks;
}

std::optional<BlockFile::Stream> BlockFile::OpenStream(quint64 bid)
{
    Stream stream;
    stream.FFile = this;
    if (!DataBlocks(bid, stream.FBlocks, stream.FSize))
        return std::nullopt;
    return stream;
}

std::optional<BlockFile::Attachment> BlockFile::ReadAttachment(quint32 messageNid,
                                                               quint32 attachmentNid)
{
    const std::optional<Node> message = FindNode(messageNid);
    if (!message)
        return std::nullopt;
    const std::optional<Node> attachment = FindSubNode(message->Sub, attachmentNid);
    if (!attachment || IsInternal(attachment->Data))
        return std::nullopt; // a property context of more than one block: libpff reads it
    const std::optional<QByteArray> context = Block(attachment->Data);
    if (!context || context->size() < 12)
        return std::nullopt;
    const char* p = context->constData();
    const qsizetype size = context->size();
    const quint16 mapAt = U16(p);
    if (static_cast<quint8>(p[2]) != 0xEC || static_cast<quint8>(p[3]) != 0xBC || mapAt + 4 > size)
        return std::nullopt;
    const int allocations = U16(p + mapAt);
    if (mapAt + 4 + (allocations + 1) * 2 > size)
        return std::nullopt;
    // The start and length of a heap item, or nothing for a bad reference.
    auto item = [&](quint32 hid) -> std::optional<std::pair<qsizetype, qsizetype>> {
        const quint32 index = (hid >> 5) & 0x7FF;
        if ((hid & 0x1F) != 0 || (hid >> 16) != 0 || index < 1 ||
            index > static_cast<quint32>(allocations))
            return std::nullopt;
        const qsizetype start = U16(p + mapAt + 4 + (index - 1) * 2);
        const qsizetype end = U16(p + mapAt + 4 + index * 2);
        if (start > end || end > mapAt)
            return std::nullopt;
        return std::make_pair(start, end - start);
    };
    const auto header = item(U32(p + 4));
    if (!header || header->second < 8)
        return std::nullopt;
    const char* h = p + header->first;
    if (static_cast<quint8>(h[0]) != 0xB5 || h[1] != 2 || h[2] != 6 || h[3] != 0)
        return std::nullopt; // records over more than one heap item are left to libpff
    Attachment result;
    std::optional<quint32> dataNid;
    if (const quint32 root = U32(h + 4); root != 0) {
        const auto records = item(root);
        if (!records)
            return std::nullopt;
        const char* r = p + records->first;
        for (qsizetype i = 0; i + 8 <= records->second; i += 8) {
            const quint16 id = U16(r + i);
            const quint16 type = U16(r + i + 2);
            const quint32 hnid = U32(r + i + 4);
            switch (type) {
            case 0x0003: // 32-bit integer, stored in the record
                result.Values[id] = {type, QByteArray(r + i + 4, 4)};
                break;
            case 0x001E: // strings and binary values: a heap item, or a sub-node when large
            case 0x001F:
            case 0x0102:
                if (hnid == 0) {
                    result.Values[id] = {type, QByteArray()};
                } else if ((hnid & 0x1F) == 0) {
                    const auto value = item(hnid);
                    if (!value)
                        return std::nullopt;
                    result.Values[id] = {type, QByteArray(p + value->first, value->second)};
                } else if (id == kAttachDataBin && type == kBinaryType) {
                    dataNid = hnid;
                } else {
                    result.Unknown.insert(id);
                }
                break;
            default:
                result.Unknown.insert(id);
            }
        }
    }
    if (dataNid) {
        const std::optional<Node> value = FindSubNode(attachment->Sub, *dataNid);
        if (!value)
            return std::nullopt;
        result.Data.FFile = this;
        if (!DataBlocks(value->Data, result.Data.FBlocks, result.Data.FSize))
            return std::nullopt;
        result.HasData = true;
    }
    return result;
}

qsizetype BlockFile::Stream::Read(char* buffer, qsizetype size)
{
    qsizetype filled = 0;
    while (filled < size) {
        if (FUsed == FCurrent.size()) {
            if (FNext == FBlocks.size()) {
                if (FDone != FSize)
                    Damaged(QStringLiteral("データが途中で終わっています (%1 / %2 バイト)。")
                                .arg(FDone)
                                .arg(FSize));
                break;
            }
            std::optional<QByteArray> block = FFile->Block(FBlocks[FNext]);
            if (!block)
                Damaged(
                    QStringLiteral("ブロック 0x%1 が壊れています。").arg(FBlocks[FNext], 0, 16));
            ++FNext;
            FCurrent = std::move(*block);
            FUsed = 0;
            if (FDone + static_cast<quint64>(FCurrent.size()) > FSize)
                Damaged(QStringLiteral("データが記録された大きさを超えています。"));
        }
        const qsizetype take = std::min(size - filled, FCurrent.size() - FUsed);
        memcpy(buffer + filled, FCurrent.constData() + FUsed, static_cast<size_t>(take));
        FUsed += take;
        filled += take;
        FDone += static_cast<quint64>(take);
    }
    return filled;
}

} // namespace OutlookPst
