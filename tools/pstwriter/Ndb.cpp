#include "Ndb.h"

#include "Bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <zlib.h>

namespace PstWriter {

namespace {

constexpr uint64_t FirstAMap = 0x4400;
constexpr uint64_t DListPage = 0x4200;
constexpr uint64_t AMapSpan = 496 * 8 * 64; // bytes one allocation map covers
constexpr uint64_t PageSize = 512;
constexpr uint64_t HeaderSize = 564;
constexpr size_t XBlockMax = (MaxBlockData - 8) / 8;    // block ids per XBLOCK / XXBLOCK
constexpr size_t SlBlockMax = (MaxBlockData - 8) / 24;  // entries per SLBLOCK
constexpr size_t SiBlockMax = (MaxBlockData - 8) / 16;  // entries per SIBLOCK

constexpr uint8_t PtypeBbt = 0x80;
constexpr uint8_t PtypeNbt = 0x81;
constexpr uint8_t PtypePMap = 0x83;
constexpr uint8_t PtypeAMap = 0x84;
constexpr uint8_t PtypeDList = 0x86;

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }


// The pages at the start of an allocation map's range: the map itself, and
// every eighth range a page map after it.
uint64_t ReservedInRange(uint64_t range) { return range % 8 == 0 ? 2 * PageSize : PageSize; }

} // namespace




// ---- Stream ----------------------------------------------------------------

void Ndb::Stream::Append(const char* data, size_t size)
{
    while (size > 0) {
        const size_t n = std::min(size, MaxBlockData - FBuffer.size());
        FBuffer.append(data, n);
        data += n;
        size -= n;
        if (FBuffer.size() == MaxBlockData) {
            FLeaves.push_back(FNdb.WriteBlock(FBuffer.data(), FBuffer.size(), false));
            FTotal += FBuffer.size();
            FBuffer.clear();
        }
    }
}

Bid Ndb::Stream::Finish()
{
    if (!FBuffer.empty() || FLeaves.empty()) {
        FLeaves.push_back(FNdb.WriteBlock(FBuffer.data(), FBuffer.size(), false));
        FTotal += FBuffer.size();
        FBuffer.clear();
    }
    std::vector<uint32_t> sizes(FLeaves.size(), static_cast<uint32_t>(MaxBlockData));
    sizes.back() = static_cast<uint32_t>(FTotal - (FLeaves.size() - 1) * MaxBlockData);
    return FNdb.DataTree(FLeaves, sizes);
}

// ---- Ndb -------------------------------------------------------------------

Ndb::Ndb(const std::string& path, bool encrypt) : FPath(path), FEncrypt(encrypt)
{
    FFile = std::fopen(path.c_str(), "wb");
    if (!FFile)
        throw Error("ファイルを作成できません: " + path + ": " + std::strerror(errno));
    std::setvbuf(FFile, nullptr, _IOFBF, 1 << 20);
    // Header, density list and the first allocation and page maps are written
    // last; until then their room is zeros.
    const std::string zeros(FirstAMap + 2 * PageSize, '\0');
    WriteRaw(zeros.data(), zeros.size());
    for (auto& n : FNextIndex)
        n = 0x400;
}

Ndb::~Ndb()
{
    if (FFile)
        std::fclose(FFile);
    if (!FFinished)
        std::remove(FPath.c_str());
}

void Ndb::WriteRaw(const void* data, size_t size)
{
    if (size && std::fwrite(data, 1, size, FFile) != size)
        throw Error("書き込みに失敗しました: " + FPath + ": " + std::strerror(errno));
    FPos += size;
}

void Ndb::WriteAt(uint64_t ib, const std::string& data)
{
    if (fseeko(FFile, static_cast<off_t>(ib), SEEK_SET) != 0 ||
        std::fwrite(data.data(), 1, data.size(), FFile) != data.size())
        throw Error("書き込みに失敗しました: " + FPath + ": " + std::strerror(errno));
}

Bid Ndb::NextBid(bool internal)
{
    const Bid bid = FNextBid | (internal ? 2 : 0);
    FNextBid += 4;
    return bid;
}

uint64_t Ndb::Allocate(uint64_t size, uint64_t align)
{
    uint64_t pos = AlignUp(FPos, align);
    for (;;) {
        const uint64_t range = (pos - FirstAMap) / AMapSpan;
        const uint64_t start = FirstAMap + range * AMapSpan;
        if (pos < start + ReservedInRange(range))
            pos = AlignUp(start + ReservedInRange(range), align);
        else if (pos + size > start + AMapSpan)
            pos = start + AMapSpan;
        else
            break;
    }
    static const std::string zeros(AMapSpan, '\0');
    WriteRaw(zeros.data(), pos - FPos);
    return pos;
}

Bid Ndb::WriteBlock(const char* data, size_t size, bool internal)
{
    if (size > MaxBlockData)
        throw Error("internal: block too large");
    if (FPos / 64 > 0xFFFFFFF0u)
        throw Error("ファイルが大きすぎます");
    const uint64_t total = AlignUp(size + 16, 64);
    const uint64_t ib = Allocate(total, 64);
    const Bid bid = NextBid(internal);
    std::string block(data, size);
    if (FEncrypt && !internal)
        for (auto& c : block)
            c = static_cast<char>(EncodeTable[static_cast<uint8_t>(c)]);
    const uint32_t crc = Crc(block.data(), block.size());
    block.resize(total - 16, '\0');
    Put16(block, static_cast<uint16_t>(size));
    Put16(block, Signature(ib, bid));
    Put32(block, crc);
    Put64(block, bid);
    WriteRaw(block.data(), block.size());
    FBlocks.push_back({bid, static_cast<uint32_t>(ib / 64), static_cast<uint16_t>(size)});
    return bid;
}

Bid Ndb::DataTree(const std::vector<Bid>& leaves, const std::vector<uint32_t>& sizes)
{
    if (leaves.size() == 1)
        return leaves.front();
    auto xblock = [this](uint8_t level, const Bid* bids, size_t count, uint64_t total) {
        if (total > 0xFFFFFFFFu)
            throw Error("2 GB を超えるデータは書けません");
        std::string b;
        Put8(b, 0x01);
        Put8(b, level);
        Put16(b, static_cast<uint16_t>(count));
        Put32(b, static_cast<uint32_t>(total));
        for (size_t i = 0; i < count; ++i)
            Put64(b, bids[i]);
        return WriteBlock(b.data(), b.size(), true);
    };
    std::vector<Bid> xblocks;
    std::vector<uint64_t> xsizes;
    for (size_t i = 0; i < leaves.size(); i += XBlockMax) {
        const size_t n = std::min(XBlockMax, leaves.size() - i);
        uint64_t total = 0;
        for (size_t j = i; j < i + n; ++j)
            total += sizes[j];
        xblocks.push_back(xblock(1, &leaves[i], n, total));
        xsizes.push_back(total);
    }
    if (xblocks.size() == 1)
        return xblocks.front();
    if (xblocks.size() > XBlockMax)
        throw Error("データが大きすぎます");
    uint64_t total = 0;
    for (uint64_t s : xsizes)
        total += s;
    return xblock(2, xblocks.data(), xblocks.size(), total);
}

Bid Ndb::WriteData(const std::string& data)
{
    Stream s(*this);
    s.Append(data);
    return s.Finish();
}

Bid Ndb::WriteBlocks(const std::vector<std::string>& blocks)
{
    if (blocks.empty())
        return WriteData(std::string());
    std::vector<Bid> leaves;
    std::vector<uint32_t> sizes;
    for (const auto& b : blocks) {
        leaves.push_back(WriteBlock(b.data(), b.size(), false));
        sizes.push_back(static_cast<uint32_t>(b.size()));
    }
    return DataTree(leaves, sizes);
}

Bid Ndb::WriteSubnodeLevel(const std::vector<SubnodeEntry>& entries)
{
    std::string b;
    Put8(b, 0x02);
    Put8(b, 0x00);
    Put16(b, static_cast<uint16_t>(entries.size()));
    Put32(b, 0);
    for (const auto& e : entries) {
        Put64(b, e.nid);
        Put64(b, e.data);
        Put64(b, e.sub);
    }
    return WriteBlock(b.data(), b.size(), true);
}

Bid Ndb::WriteSubnodes(std::vector<SubnodeEntry> entries)
{
    if (entries.empty())
        return 0;
    std::sort(entries.begin(), entries.end(),
              [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
    if (entries.size() <= SlBlockMax)
        return WriteSubnodeLevel(entries);
    // An SIBLOCK over SLBLOCKs.
    std::string si;
    size_t count = 0;
    for (size_t i = 0; i < entries.size(); i += SlBlockMax, ++count) {
        const size_t n = std::min(SlBlockMax, entries.size() - i);
        const Bid sl = WriteSubnodeLevel(
            std::vector<SubnodeEntry>(entries.begin() + i, entries.begin() + i + n));
        Put64(si, entries[i].nid);
        Put64(si, sl);
    }
    if (count > SiBlockMax)
        throw Error("サブノードが多すぎます");
    std::string b;
    Put8(b, 0x02);
    Put8(b, 0x01);
    Put16(b, static_cast<uint16_t>(count));
    Put32(b, 0);
    b += si;
    return WriteBlock(b.data(), b.size(), true);
}

void Ndb::AddNode(Nid nid, Bid data, Bid sub, Nid parent)
{
    FNodes.push_back({nid, data, sub, parent});
    uint32_t& next = FNextIndex[nid & 0x1F];
    next = std::max(next, (nid >> 5) + 1);
}

std::string Ndb::Page(const std::string& body, uint8_t ptype, Bid bid, uint64_t ib,
                      bool signature)
{
    std::string p = body;
    p.resize(496, '\0');
    const uint32_t crc = Crc(p.data(), p.size());
    Put8(p, ptype);
    Put8(p, ptype);
    Put16(p, signature ? Signature(ib, bid) : 0);
    Put32(p, crc);
    Put64(p, bid);
    return p;
}

template <typename Entry>
Ndb::PageRef Ndb::WriteTree(const Entry& entries, uint8_t ptype)
{
    // Leaves hold the entries themselves, the levels above (key, page reference).
    // Pages are written as they fill, so only one reference per page is kept.
    auto writePage = [this, ptype](std::string body, size_t count, size_t perPage,
                                   size_t entrySize, uint8_t level, uint64_t key) {
        body.resize(488, '\0');
        Put8(body, static_cast<uint8_t>(count));
        Put8(body, static_cast<uint8_t>(perPage));
        Put8(body, static_cast<uint8_t>(entrySize));
        Put8(body, level);
        const uint64_t ib = Allocate(PageSize, PageSize);
        const Bid bid = NextBid(false);
        const std::string page = Page(body, ptype, bid, ib, true);
        WriteRaw(page.data(), page.size());
        return PageRef{key, bid, ib};
    };
    const size_t leafSize = ptype == PtypeNbt ? 32 : 24;
    const size_t perLeaf = 488 / leafSize;
    std::vector<PageRef> level;
    std::string body;
    size_t count = 0;
    uint64_t firstKey = 0;
    for (const auto& e : entries) {
        if (count == 0) {
            body.clear();
            firstKey = KeyOf(e);
        }
        Serialize(body, e);
        if (++count == perLeaf) {
            level.push_back(writePage(body, count, perLeaf, leafSize, 0, firstKey));
            count = 0;
        }
    }
    if (count > 0 || level.empty())
        level.push_back(writePage(count ? body : std::string(), count, perLeaf, leafSize, 0,
                                  count ? firstKey : 0));
    for (uint8_t cLevel = 1; level.size() > 1; ++cLevel) {
        std::vector<PageRef> next;
        const size_t perPage = 488 / 24;
        for (size_t i = 0; i < level.size(); i += perPage) {
            const size_t n = std::min(perPage, level.size() - i);
            std::string b;
            for (size_t j = i; j < i + n; ++j) {
                Put64(b, level[j].key);
                Put64(b, level[j].bid);
                Put64(b, level[j].ib);
            }
            next.push_back(writePage(b, n, perPage, 24, cLevel, level[i].key));
        }
        level = std::move(next);
    }
    return level.front();
}

uint64_t Ndb::KeyOf(const NodeEntry& e) { return e.nid; }
uint64_t Ndb::KeyOf(const BlockEntry& e) { return e.bid; }

void Ndb::Serialize(std::string& out, const NodeEntry& e)
{
    Put64(out, e.nid);
    Put64(out, e.data);
    Put64(out, e.sub);
    Put32(out, e.parent);
    Put32(out, 0);
}

void Ndb::Serialize(std::string& out, const BlockEntry& e)
{
    Put64(out, e.bid);
    Put64(out, uint64_t(e.ib64) * 64);
    Put16(out, e.cb);
    Put16(out, 2); // references: the tree and the node that holds the block
    Put32(out, 0);
}

void Ndb::Finish()
{
    std::sort(FNodes.begin(), FNodes.end(),
              [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
    for (size_t i = 1; i < FNodes.size(); ++i)
        if (FNodes[i].nid == FNodes[i - 1].nid)
            throw Error("internal: node id used twice");
    const PageRef nbt = WriteTree(FNodes, PtypeNbt);
    const PageRef bbt = WriteTree(FBlocks, PtypeBbt);

    // The file ends where the last allocation map's range ends.
    const uint64_t dataEnd = FPos;
    const uint64_t ranges = (dataEnd - FirstAMap + AMapSpan - 1) / AMapSpan;
    const uint64_t eof = FirstAMap + ranges * AMapSpan;
    static const std::string zeros(AMapSpan, '\0');
    WriteRaw(zeros.data(), eof - FPos);

    uint64_t amapFree = 0;
    for (uint64_t r = 0; r < ranges; ++r) {
        const uint64_t start = FirstAMap + r * AMapSpan;
        const uint64_t used = std::min(dataEnd, start + AMapSpan) - start;
        const uint64_t slots = used / 64;
        std::string bits(496, '\0');
        for (uint64_t s = 0; s < slots; ++s)
            bits[s / 8] = static_cast<char>(bits[s / 8] | (0x80 >> (s % 8)));
        amapFree += AMapSpan - slots * 64;
        WriteAt(start, Page(bits, PtypeAMap, start, start, false));
        if (r % 8 == 0)
            WriteAt(start + PageSize,
                    Page(std::string(496, '\xFF'), PtypePMap, start + PageSize, start + PageSize,
                         false));
    }
    WriteAt(DListPage, Page(std::string(), PtypeDList, DListPage, DListPage, false));

    std::string h;
    h += "!BDN";
    Put32(h, 0); // partial checksum, below
    h += "SM";
    Put16(h, 23); // Unicode
    Put16(h, 19);
    Put8(h, 1);
    Put8(h, 1);
    Put32(h, 0);
    Put32(h, 0);
    Put64(h, 0);         // bidUnused
    Put64(h, FNextBid);  // next page id
    Put32(h, 1);         // dwUnique
    for (uint32_t n : FNextIndex)
        Put32(h, n);
    Put64(h, 0);
    // ROOT
    Put32(h, 0);
    Put64(h, eof);
    Put64(h, FirstAMap + (ranges - 1) * AMapSpan);
    Put64(h, amapFree);
    Put64(h, 0);
    Put64(h, nbt.bid);
    Put64(h, nbt.ib);
    Put64(h, bbt.bid);
    Put64(h, bbt.ib);
    Put8(h, 0x02); // allocation maps valid
    Put8(h, 0);
    Put16(h, 0);
    Put32(h, 0);                      // dwAlign
    h.append(128, '\xFF');            // rgbFM
    h.append(128, '\xFF');            // rgbFP
    Put8(h, 0x80);                    // bSentinel
    Put8(h, FEncrypt ? 0x01 : 0x00);  // bCryptMethod
    Put16(h, 0);
    Put64(h, FNextBid); // next block id
    SetLe(h, 4, Crc(h.data() + 8, 471), 4);
    Put32(h, Crc(h.data() + 8, 516));
    h.append(HeaderSize - h.size(), '\0');
    WriteAt(0, h);
    if (std::fflush(FFile) != 0 || std::fclose(FFile) != 0) {
        FFile = nullptr;
        throw Error("書き込みに失敗しました: " + FPath + ": " + std::strerror(errno));
    }
    FFile = nullptr;
    FFinished = true;
}

} // namespace PstWriter
