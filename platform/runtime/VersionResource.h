// The executable's version table, kept in the Windows version-resource layout
// (VS_VERSIONINFO: nested nodes of UTF-16 keys and values, aligned to four
// bytes), and the three functions that read it.
//
// The table is written into the section ".tidewell_version" of the executable
// at build time (see tidewell_embed_version in CMake); the reading functions
// find that section in the ELF file named by their argument, so a program can
// read its own version data, or another file's, as on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the build writes into the table. Strings are UTF-8; keys are the
// Windows ones ("FileVersion", "ProductName", ...).
struct TVersionTable {
    std::uint16_t Language = 0x0411;
    std::uint16_t CodePage = 0x03A4;
    std::uint16_t FileVersion[4] = {0, 0, 0, 0};
    std::uint16_t ProductVersion[4] = {0, 0, 0, 0};
    std::vector<std::pair<std::string, std::string>> Strings;
};

// The table in its binary layout (little-endian, UTF-16LE texts).
std::vector<std::uint8_t> BuildVersionResource(const TVersionTable& table);

// The name of the ELF section that holds the table.
inline constexpr const char* kVersionSectionName = ".tidewell_version";

// Size of the file's version table in bytes, or 0 when the file cannot be
// read or holds none. handle is set to 0 (it exists for the Windows shape).
std::uint32_t GetFileVersionInfoSizeW(const char16_t* fileName, std::uint32_t* handle);

// Copies at most len bytes of the file's version table into data; false when
// the file cannot be read or holds none.
bool GetFileVersionInfoW(const char16_t* fileName, std::uint32_t handle, std::uint32_t len, void* data);

// Looks up a sub-block of a table read by GetFileVersionInfoW:
//   "\"                          the fixed file information (52 bytes);
//   "\VarFileInfo\Translation"   the translation array (len in bytes);
//   "\StringFileInfo\LLLLCCCC\Key" a text value (len in UTF-16 units, with
//                                the terminating zero).
// Keys compare without regard to case. On success *buffer points into block.
// Every length read from the block is checked against its size, so a
// damaged table gives false, never a read outside it.
bool VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, std::uint32_t* len);
