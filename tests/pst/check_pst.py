#!/usr/bin/env python3
"""Checks the structure of a Unicode Outlook data file, independently of the
writer: header checksums, every page of the node and block B-trees (type,
checksum, signature, order of keys), every block the block tree lists
(trailer, size, id, checksum, signature), that every node's blocks exist, and
that the allocation maps mark every page and block as used. Prints one line per
fault and exits with 1 when there is any."""
import struct
import sys
import zlib

AMAP_FIRST, AMAP_SPAN = 0x4400, 496 * 8 * 64


def crc(data):
    # CRC-32 with a zero start value and no final inversion.
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def signature(ib, bid):
    v = (ib ^ bid) & 0xFFFFFFFF
    return ((v >> 16) ^ v) & 0xFFFF


def main(path):
    data = open(path, "rb").read()
    faults = []
    if data[:4] != b"!BDN" or data[8:10] != b"SM":
        print("not an Outlook data file")
        return 1
    if struct.unpack_from("<H", data, 10)[0] < 23:
        print("not the Unicode format")
        return 1
    if struct.unpack_from("<I", data, 4)[0] != crc(data[8:8 + 471]):
        faults.append("header: partial checksum")
    if struct.unpack_from("<I", data, 524)[0] != crc(data[8:8 + 516]):
        faults.append("header: full checksum")
    eof, amap_last = struct.unpack_from("<QQ", data, 184)
    nbt_bid, nbt_ib, bbt_bid, bbt_ib = struct.unpack_from("<QQQQ", data, 216)
    if eof != len(data):
        faults.append("header: end of file %d, file size %d" % (eof, len(data)))
    used = []  # (offset, size) of everything the trees reach

    def page(ib, bid, ptype):
        p = data[ib:ib + 512]
        if len(p) < 512:
            faults.append("page at %#x: beyond the end" % ib)
            return None
        t, t2, sig, c, pbid = struct.unpack_from("<BBHIQ", p, 496)
        if t != ptype or t2 != ptype:
            faults.append("page at %#x: type %#x" % (ib, t))
        if c != crc(p[:496]):
            faults.append("page at %#x: checksum" % ib)
        if pbid != bid:
            faults.append("page at %#x: id %#x, referenced as %#x" % (ib, pbid, bid))
        if sig != signature(ib, bid):
            faults.append("page at %#x: signature" % ib)
        used.append((ib, 512))
        return p

    def walk(ib, bid, ptype, leaf_size, level_expected, out, low):
        p = page(ib, bid, ptype)
        if p is None:
            return
        count, count_max, size, level = struct.unpack_from("<BBBB", p, 488)
        if level_expected is not None and level != level_expected:
            faults.append("page at %#x: level %d, expected %d" % (ib, level, level_expected))
        if count > count_max or size * count > 488:
            faults.append("page at %#x: %d entries of %d bytes" % (ib, count, size))
            return
        last = None
        for i in range(count):
            e = p[i * size:(i + 1) * size]
            key = struct.unpack_from("<Q", e, 0)[0]
            if last is not None and key <= last:
                faults.append("page at %#x: keys out of order" % ib)
            if i == 0 and low is not None and key != low:
                faults.append("page at %#x: first key %#x, parent says %#x" % (ib, key, low))
            last = key
            if level > 0:
                cbid, cib = struct.unpack_from("<QQ", e, 8)
                walk(cib, cbid, ptype, leaf_size, level - 1, out, key)
            else:
                out.append(e)

    nodes, blocks = [], []
    walk(nbt_ib, nbt_bid, 0x81, 32, None, nodes, None)
    walk(bbt_ib, bbt_bid, 0x80, 24, None, blocks, None)
    known = set()
    for e in blocks:
        bid, ib, cb = struct.unpack_from("<QQH", e, 0)
        known.add(bid & ~1)
        total = (cb + 16 + 63) // 64 * 64
        if ib + total > len(data):
            faults.append("block %#x: beyond the end" % bid)
            continue
        tcb, sig, c, tbid = struct.unpack_from("<HHIQ", data, ib + total - 16)
        if tcb != cb:
            faults.append("block %#x: size %d in its trailer, %d in the tree" % (bid, tcb, cb))
        if tbid != bid:
            faults.append("block %#x: trailer names %#x" % (bid, tbid))
        if c != crc(data[ib:ib + cb]):
            faults.append("block %#x: checksum" % bid)
        if sig != signature(ib, bid):
            faults.append("block %#x: signature" % bid)
        used.append((ib, total))
    for e in nodes:
        nid, bid_data, bid_sub = struct.unpack_from("<QQQ", e, 0)
        for b in (bid_data, bid_sub):
            if b and (b & ~1) not in known:
                faults.append("node %#x: block %#x is not in the block tree" % (nid, b))

    # Every page and block must be marked as allocated in its allocation map.
    for ib, size in used:
        for slot_ib in range(ib, ib + size, 64):
            amap = AMAP_FIRST + (slot_ib - AMAP_FIRST) // AMAP_SPAN * AMAP_SPAN
            slot = (slot_ib - amap) // 64
            if not data[amap + slot // 8] & (0x80 >> (slot % 8)):
                faults.append("offset %#x: used but free in its allocation map" % slot_ib)
                break
    for amap in range(AMAP_FIRST, len(data), AMAP_SPAN):
        p = data[amap:amap + 512]
        if p[496] != 0x84 or struct.unpack_from("<I", p, 500)[0] != crc(p[:496]) or p[0] != 0xFF:
            faults.append("allocation map at %#x: type, checksum or own page" % amap)
    if amap_last != AMAP_FIRST + (len(data) - AMAP_FIRST - 1) // AMAP_SPAN * AMAP_SPAN:
        faults.append("header: last allocation map %#x" % amap_last)
    for f in faults[:50]:
        print(f)
    print("%d nodes, %d blocks, %d faults" % (len(nodes), len(blocks), len(faults)), file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
