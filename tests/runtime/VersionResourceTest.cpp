// The version table: its layout as written at build time, the three reading
// functions on this very test program (which carries a table, as the
// programs do) and on files without one, and damaged tables.
#include "app/AppInfo.h"
#include "runtime/Exception.h"
#include "runtime/VersionResource.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::u16string U16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

QString TextAt(const std::vector<std::uint8_t>& block, const char16_t* path)
{
    void* value = nullptr;
    std::uint32_t len = 0;
    if (!VerQueryValueW(block.data(), path, &value, &len))
        return QStringLiteral("<none>");
    return QString(static_cast<const QChar*>(value), len).chopped(1);
}

} // namespace

TEST(VersionResource, LayoutAndLookups)
{
    TVersionTable t;
    t.FileVersion[0] = 1; t.FileVersion[1] = 2; t.FileVersion[2] = 3; t.FileVersion[3] = 4;
    t.Strings = {{"CompanyName", "会社"}, {"FileVersion", "1.2.3.4"}, {"Emoji", "😀"}};
    const auto block = BuildVersionResource(t);

    // The root node: its length covers the block, and the fixed information
    // follows its key at a four-byte boundary with the signature.
    ASSERT_EQ(block[0] | (block[1] << 8), int(block.size()));
    void* value = nullptr;
    std::uint32_t len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &len));
    EXPECT_EQ(len, 52u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(value) % 4, 0u);
    const auto* fixed = static_cast<const std::uint32_t*>(value);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00010002u);
    EXPECT_EQ(fixed[3], 0x00030004u);

    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &len));
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(*static_cast<const std::uint32_t*>(value), 0x03A40411u);

    EXPECT_EQ(TextAt(block, u"\\StringFileInfo\\041103A4\\CompanyName"), QStringLiteral("会社"));
    EXPECT_EQ(TextAt(block, u"\\stringfileinfo\\041103a4\\fileversion"), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(TextAt(block, u"\\StringFileInfo\\041103A4\\Emoji"), QStringLiteral("😀"));
    EXPECT_EQ(TextAt(block, u"\\StringFileInfo\\041103A4\\Comments"), QStringLiteral("<none>"));
    EXPECT_EQ(TextAt(block, u"\\StringFileInfo\\040904B0\\CompanyName"), QStringLiteral("<none>"));
}

TEST(VersionResource, DamagedTablesAreRefusedNotOverread)
{
    TVersionTable t;
    t.Strings = {{"ProductName", "Tidewell"}};
    const auto good = BuildVersionResource(t);
    // Every truncation, and every single-byte change of the length fields,
    // must be answered without reading outside the block (ASan checks the
    // reads; the copy is exactly as long as the damaged length says).
    for (std::size_t cut = 0; cut < good.size(); cut += 2) {
        std::vector<std::uint8_t> damaged(good.begin(), good.begin() + std::ptrdiff_t(cut));
        damaged.resize(std::max<std::size_t>(cut, 2));
        damaged[0] = std::uint8_t(damaged.size() & 0xFF);
        damaged[1] = std::uint8_t(damaged.size() >> 8);
        void* value = nullptr;
        std::uint32_t len = 0;
        if (VerQueryValueW(damaged.data(), u"\\StringFileInfo\\041103A4\\ProductName", &value, &len)) {
            const auto* p = static_cast<const std::uint8_t*>(value);
            EXPECT_LE(p + len * 2, damaged.data() + damaged.size());
        }
    }
    // A damaged root length can claim up to 64 KiB: the copy is padded that
    // far, as a table read from a file is never shorter than its section.
    for (std::size_t at = 0; at < good.size(); ++at) {
        auto damaged = good;
        damaged[at] = 0xFF;
        damaged.resize(0x10000);
        void* value = nullptr;
        std::uint32_t len = 0;
        (void)VerQueryValueW(damaged.data(), u"\\StringFileInfo\\041103A4\\ProductName", &value, &len);
    }
}

TEST(AppInfo, ReadsTheProgramsOwnTable)
{
    const TkAppInfo info;
    EXPECT_EQ(info.Translation, 0x03A40411u);
    EXPECT_EQ(info.GetValue(9), QStringLiteral("Tidewell"));
    EXPECT_EQ(info.GetValue(3), QStringLiteral("0.2.7.0"));
    EXPECT_EQ(info.GetValue(10), QStringLiteral("1.0.0.0"));
    EXPECT_EQ(info.GetValue(2), QStringLiteral("Outlookからメールをエクスポートします。"));
    EXPECT_FALSE(info.GetValue(1).isEmpty());
    EXPECT_FALSE(info.GetValue(5).isEmpty());
    EXPECT_EQ(info.GetValue(0), QString()); // no "Comments"
    EXPECT_EQ(info.GetValue(11), QString());
    EXPECT_EQ(info.GetValue(-1), QString());
}

TEST(AppInfo, FilesWithoutATableRaise)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("空.bin"));
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QString& file : {QStringLiteral("/bin/sh"), empty, dir.path(), dir.filePath(QStringLiteral("none"))}) {
        SCOPED_TRACE(file.toStdString());
        std::uint32_t handle = 7;
        EXPECT_EQ(GetFileVersionInfoSizeW(U16(file).c_str(), &handle), 0u);
        EXPECT_EQ(handle, 0u);
        try {
            TkAppInfo info(file);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("バージョン情報を取得できません"));
        }
    }
}
