// The node database of a Unicode data file: blocks with trailers and checksums,
// data trees (XBLOCK, XXBLOCK), sub-node trees (SLBLOCK, SIBLOCK), the node and
// block B-trees, allocation maps and the header.
//
// Blocks go to disk as soon as they are made; only one B-tree entry per block
// and per node stays in memory until Finish writes the trees and the header.
#pragma once

#include "PstFormat.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace PstWriter {

using Bid = uint64_t;
using Nid = uint32_t;

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Node types (the low five bits of a node id).
namespace NidType {
constexpr Nid Hid = 0x00;
constexpr Nid Internal = 0x01;
constexpr Nid NormalFolder = 0x02;
constexpr Nid NormalMessage = 0x04;
constexpr Nid Attachment = 0x05;
constexpr Nid HierarchyTable = 0x0D;
constexpr Nid ContentsTable = 0x0E;
constexpr Nid AssocContentsTable = 0x0F;
constexpr Nid AttachmentTable = 0x11;
constexpr Nid RecipientTable = 0x12;
constexpr Nid Ltp = 0x1F;
} // namespace NidType

constexpr Nid MakeNid(uint32_t index, Nid type) { return (index << 5) | type; }

// Bytes of data one block holds, without its trailer.
constexpr size_t MaxBlockData = 8192 - 16;

// The checksum, signature and encryption substitution, shared with the block
// reader of the Outlook stand-in.
using PstFormat::Crc;
using PstFormat::DecodeTable;
using PstFormat::EncodeTable;
using PstFormat::Signature;

class Ndb {
public:
    struct SubnodeEntry {
        Nid nid = 0;
        Bid data = 0;
        Bid sub = 0;
    };

    // Data that arrives piece by piece: full blocks go to disk as they fill.
    class Stream {
    public:
        explicit Stream(Ndb& ndb) : FNdb(ndb) {}
        void Append(const char* data, size_t size);
        void Append(const std::string& data) { Append(data.data(), data.size()); }
        // The node data's block id: one block, or an XBLOCK or XXBLOCK over the blocks.
        Bid Finish();

    private:
        Ndb& FNdb;
        std::string FBuffer;
        std::vector<Bid> FLeaves;
        uint64_t FTotal = 0;
    };

    Ndb(const std::string& path, bool encrypt);
    ~Ndb();
    Ndb(const Ndb&) = delete;
    Ndb& operator=(const Ndb&) = delete;

    // Data cut into blocks at MaxBlockData.
    Bid WriteData(const std::string& data);
    // Data already cut into blocks (heap pages, table rows that must not straddle blocks).
    Bid WriteBlocks(const std::vector<std::string>& blocks);
    // A sub-node tree over the entries (any order); 0 when there are none.
    Bid WriteSubnodes(std::vector<SubnodeEntry> entries);
    // A node of the node B-tree.
    void AddNode(Nid nid, Bid data, Bid sub, Nid parent);
    // The trees, the allocation maps and the header; the file is complete afterwards.
    void Finish();

    uint64_t Size() const { return FPos; }

private:
    // Kept for every block until the end, so kept small: the offset in
    // 64-byte units (blocks are aligned to 64 bytes).
    struct BlockEntry {
        Bid bid;
        uint32_t ib64;
        uint16_t cb;
    };
    struct NodeEntry {
        Nid nid;
        Bid data;
        Bid sub;
        Nid parent;
    };
    struct PageRef {
        uint64_t key;
        Bid bid;
        uint64_t ib;
    };

    Bid NextBid(bool internal);
    uint64_t Allocate(uint64_t size, uint64_t align);
    Bid WriteBlock(const char* data, size_t size, bool internal);
    Bid DataTree(const std::vector<Bid>& leaves, const std::vector<uint32_t>& sizes);
    Bid WriteSubnodeLevel(const std::vector<SubnodeEntry>& entries);
    void WriteRaw(const void* data, size_t size);
    void WriteAt(uint64_t ib, const std::string& data);
    template <typename Entries>
    PageRef WriteTree(const Entries& entries, uint8_t ptype);
    static uint64_t KeyOf(const NodeEntry& e);
    static uint64_t KeyOf(const BlockEntry& e);
    static void Serialize(std::string& out, const NodeEntry& e);
    static void Serialize(std::string& out, const BlockEntry& e);
    std::string Page(const std::string& body, uint8_t ptype, Bid bid, uint64_t ib, bool signature);

    std::FILE* FFile = nullptr;
    std::string FPath;
    bool FEncrypt;
    uint64_t FPos = 0;
    Bid FNextBid = 4;
    std::deque<BlockEntry> FBlocks; // in id order, as written
    std::vector<NodeEntry> FNodes;
    uint32_t FNextIndex[32] = {};
    bool FFinished = false;
};

} // namespace PstWriter
