// libpff checks every block it reads against a CRC-32 that it computes one byte
// at a time. An export of a data file with large attachments spends about a
// quarter of its time there, since libpff reads each attachment's blocks twice.
//
// libpff calls that checksum through its exported symbol, so a program that
// defines the same symbol gets libpff's calls bound to its own definition by
// the dynamic linker. This one computes the identical value with zlib's crc32,
// which works on several bytes per step. The checksum libpff names "weak" is
// the plain CRC-32 register update, without zlib's inversion before and after,
// hence the complements. Arguments libpff would refuse go to libpff's own
// function, so its error reports stay as they were.
#include "PstFormat.h"

#include <cstddef>
#include <cstdint>
#include <dlfcn.h>
#include <climits>
#include <sys/types.h>

namespace {

using WeakCrc32 = int (*)(uint32_t*, const uint8_t*, size_t, uint32_t, void**);

WeakCrc32 LibpffWeakCrc32()
{
    static const auto original =
        reinterpret_cast<WeakCrc32>(dlsym(RTLD_NEXT, "libfmapi_checksum_calculate_weak_crc32"));
    return original;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
libfmapi_checksum_calculate_weak_crc32(uint32_t* crc32, const uint8_t* buffer, size_t size,
                                       uint32_t initial_value, void** error)
{
    if (crc32 == nullptr || buffer == nullptr || size > static_cast<size_t>(SSIZE_MAX)) {
        const WeakCrc32 original = LibpffWeakCrc32();
        return original ? original(crc32, buffer, size, initial_value, error) : -1;
    }
    *crc32 = PstFormat::Crc(buffer, size, initial_value);
    return 1;
}
