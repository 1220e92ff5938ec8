// The block format of Outlook data files that the file's writer and its block
// reader share: the checksum, the block signature and the substitution of
// compressible encryption. Plain C++ over zlib, so that the test-data writer
// and the Outlook stand-in build it alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace PstFormat {

// The data file's checksum: CRC-32 with a zero start value and no final inversion.
uint32_t Crc(const void* data, size_t size, uint32_t start = 0);

// The signature of a block or page: its file offset and identifier folded to 16 bits.
uint16_t Signature(uint64_t ib, uint64_t bid);

// The 256-byte substitution of compressible encryption, and its inverse.
extern const uint8_t EncodeTable[256];
const uint8_t* DecodeTable();

// Encodes or decodes a data block in place with that substitution.
void Encode(uint8_t* data, size_t size);
void Decode(uint8_t* data, size_t size);

} // namespace PstFormat
