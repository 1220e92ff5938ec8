// Little-endian byte helpers shared by the writer's layers.
#pragma once

#include <cstdint>
#include <string>

namespace PstWriter {

inline void PutLe(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void Put8(std::string& out, uint8_t v) { PutLe(out, v, 1); }
inline void Put16(std::string& out, uint16_t v) { PutLe(out, v, 2); }
inline void Put32(std::string& out, uint32_t v) { PutLe(out, v, 4); }
inline void Put64(std::string& out, uint64_t v) { PutLe(out, v, 8); }

inline void SetLe(std::string& out, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string Le32(uint32_t v)
{
    std::string s;
    Put32(s, v);
    return s;
}

} // namespace PstWriter
