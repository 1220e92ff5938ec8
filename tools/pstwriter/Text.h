// Text and time conversions the writer needs: UTF-8 to UTF-16LE, UTF-8 to a
// Windows code page (through the C library's iconv), and ISO 8601 times to
// FILETIME values.
#pragma once

#include <cstdint>
#include <string>

namespace PstWriter {

// UTF-16LE bytes of UTF-8 text; throws Error on malformed UTF-8.
std::string Utf16(const std::string& utf8);

// The text in a Windows code page (932, 50220/50221/50222 for ISO-2022-JP,
// 20932, 1252, 65001 ...); throws Error when a character has no mapping.
std::string Encode(const std::string& utf8, int codePage);

// "2024-04-01T09:30:00Z" (a "+09:00"-style offset or none for UTC, optional
// fractions of a second) as 100-ns intervals since 1601-01-01 UTC.
int64_t ParseTime(const std::string& iso);

} // namespace PstWriter
