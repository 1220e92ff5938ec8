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

uint16_t Signature(uint64_t ib, uint64_t bid)
{
    const uint32_t v = static_cast<uint32_t>(ib ^ bid);
    return static_cast<uint16_t>((v >> 16) ^ (v & 0xFFFF));
}

// The pages at the start of an allocation map's range: the map itself, and
// every eighth range a page map after it.
uint64_t ReservedInRange(uint64_t range) { return range % 8 == 0 ? 2 * PageSize : PageSize; }

} // namespace

const uint8_t EncodeTable[256] = {
    0x41, 0x36, 0x13, 0x62, 0xA8, 0x21, 0x6E, 0xBB, 0xF4, 0x16, 0xCC, 0x04, 0x7F, 0x64, 0xE8, 0x5D,
    0x1E, 0xF2, 0xCB, 0x2A, 0x74, 0xC5, 0x5E, 0x35, 0xD2, 0x95, 0x47, 0x9E, 0x96, 0x2D, 0x9A, 0x88,
    0x4C, 0x7D, 0x84, 0x3F, 0xDB, 0xAC, 0x31, 0xB6, 0x48, 0x5F, 0xF6, 0xC4, 0xD8, 0x39, 0x8B, 0xE7,
    0x23, 0x3B, 0x38, 0x8E, 0xC8, 0xC1, 0xDF, 0x25, 0xB1, 0x20, 0xA5, 0x46, 0x60, 0x4E, 0x9C, 0xFB,
    0xAA, 0xD3, 0x56, 0x51, 0x45, 0x7C, 0x55, 0x00, 0x07, 0xC9, 0x2B, 0x9D, 0x85, 0x9B, 0x09, 0xA0,
    0x8F, 0xAD, 0xB3, 0x0F, 0x63, 0xAB, 0x89, 0x4B, 0xD7, 0xA7, 0x15, 0x5A, 0x71, 0x66, 0x42, 0xBF,
    0x26, 0x4A, 0x6B, 0x98, 0xFA, 0xEA, 0x77, 0x53, 0xB2, 0x70, 0x05, 0x2C, 0xFD, 0x59, 0x3A, 0x86,
    0x7E, 0xCE, 0x06, 0xEB, 0x82, 0x78, 0x57, 0xC7, 0x8D, 0x43, 0xAF, 0xB4, 0x1C, 0xD4, 0x5B, 0xCD,
    0xE2, 0xE9, 0x27, 0x4F, 0xC3, 0x08, 0x72, 0x80, 0xCF, 0xB0, 0xEF, 0xF5, 0x28, 0x6D, 0xBE, 0x30,
    0x4D, 0x34, 0x92, 0xD5, 0x0E, 0x3C, 0x22, 0x32, 0xE5, 0xE4, 0xF9, 0x9F, 0xC2, 0xD1, 0x0A, 0x81,
    0x12, 0xE1, 0xEE, 0x91, 0x83, 0x76, 0xE3, 0x97, 0xE6, 0x61, 0x8A, 0x17, 0x79, 0xA4, 0xB7, 0xDC,
    0x90, 0x7A, 0x5C, 0x8C, 0x02, 0xA6, 0xCA, 0x69, 0xDE, 0x50, 0x1A, 0x11, 0x93, 0xB9, 0x52, 0x87,
    0x58, 0xFC, 0xED, 0x1D, 0x37, 0x49, 0x1B, 0x6A, 0xE0, 0x29, 0x33, 0x99, 0xBD, 0x6C, 0xD9, 0x94,
    0xF3, 0x40, 0x54, 0x6F, 0xF0, 0xC6, 0x73, 0xB8, 0xD6, 0x3E, 0x65, 0x18, 0x44, 0x1F, 0xDD, 0x67,
    0x10, 0xF1, 0x0C, 0x19, 0xEC, 0xAE, 0x03, 0xA1, 0x14, 0x7B, 0xA9, 0x0B, 0xFF, 0xF8, 0xA3, 0xC0,
    0xA2, 0x01, 0xF7, 0x2E, 0xBC, 0x24, 0x68, 0x75, 0x0D, 0xFE, 0xBA, 0x2F, 0xB5, 0xD0, 0xDA, 0x3D,
};

const uint8_t* DecodeTable()
{
    static const auto table = [] {
        std::string t(256, '\0');
        for (int i = 0; i < 256; ++i)
            t[EncodeTable[i]] = static_cast<char>(i);
        return t;
    }();
    return reinterpret_cast<const uint8_t*>(table.data());
}

uint32_t Crc(const void* data, size_t size, uint32_t start)
{
    // zlib's crc32 inverts before and after; the data file's checksum does neither.
    uLong c = ~start & 0xFFFFFFFFu;
    const auto* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        c = crc32(c, p, n);
        p += n;
        size -= n;
    }
    return ~static_cast<uint32_t>(c);
}

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
