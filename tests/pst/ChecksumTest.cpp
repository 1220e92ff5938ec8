// The block checksum this program gives libpff: it must be the definition that
// libpff's calls reach, and it must compute exactly what libpff's own does.
#include <QByteArray>
#include <QRandomGenerator>
#include <cstdint>
#include <dlfcn.h>
#include <gtest/gtest.h>

extern "C" int libfmapi_checksum_calculate_weak_crc32(uint32_t*, const uint8_t*, size_t, uint32_t,
                                                      void**);

namespace {

using WeakCrc32 = int (*)(uint32_t*, const uint8_t*, size_t, uint32_t, void**);

WeakCrc32 Lookup(void* scope)
{
    return reinterpret_cast<WeakCrc32>(dlsym(scope, "libfmapi_checksum_calculate_weak_crc32"));
}

} // namespace

TEST(ChecksumTest, LibpffBindsToThisProgramsChecksum)
{
    const WeakCrc32 bound = Lookup(RTLD_DEFAULT);
    const WeakCrc32 libpffs = Lookup(RTLD_NEXT);
    ASSERT_NE(libpffs, nullptr) << "libpff no longer exports its checksum";
    EXPECT_EQ(bound, &libfmapi_checksum_calculate_weak_crc32);
    EXPECT_NE(bound, libpffs);
}

TEST(ChecksumTest, EqualsLibpffsOwnChecksum)
{
    const WeakCrc32 libpffs = Lookup(RTLD_NEXT);
    ASSERT_NE(libpffs, nullptr);

    // The catalogue's check value of CRC-32 for "123456789" is 0xCBF43926; the
    // register form starts from all ones and is not inverted at the end.
    uint32_t value = 0;
    const QByteArray check("123456789");
    ASSERT_EQ(
        libfmapi_checksum_calculate_weak_crc32(
            &value, reinterpret_cast<const uint8_t*>(check.constData()), 9, 0xFFFFFFFFu, nullptr),
        1);
    EXPECT_EQ(~value, 0xCBF43926u);

    QRandomGenerator random(20261210);
    for (const qsizetype size : {0, 1, 7, 64, 4095, 8192, 1024 * 1024 + 3}) {
        QByteArray data(size, Qt::Uninitialized);
        for (char& c : data)
            c = static_cast<char>(random.bounded(256));
        for (const uint32_t initial : {0u, 0xFFFFFFFFu, 0x12345678u}) {
            uint32_t ours = 1, theirs = 2;
            const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
            ASSERT_EQ(libfmapi_checksum_calculate_weak_crc32(
                          &ours, bytes, static_cast<size_t>(size), initial, nullptr),
                      1);
            ASSERT_EQ(libpffs(&theirs, bytes, static_cast<size_t>(size), initial, nullptr), 1);
            EXPECT_EQ(ours, theirs) << "size " << size << ", initial " << initial;
        }
    }
}

TEST(ChecksumTest, RefusesWhatLibpffRefuses)
{
    void* error = nullptr;
    uint32_t value = 0;
    const uint8_t byte = 0;
    EXPECT_EQ(libfmapi_checksum_calculate_weak_crc32(nullptr, &byte, 1, 0, &error), -1);
    EXPECT_EQ(libfmapi_checksum_calculate_weak_crc32(&value, nullptr, 1, 0, &error), -1);
    // libpff's own function made the error report; libpff frees it the same way.
    using FreeError = void (*)(void**);
    if (auto free = reinterpret_cast<FreeError>(dlsym(RTLD_DEFAULT, "libpff_error_free"));
        free && error)
        free(&error);
}
