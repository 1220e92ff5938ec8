#include "AppInfo.h"

#include "runtime/Exception.h"
#include "runtime/VersionResource.h"

#include <QCoreApplication>
#include <array>
#include <cstring>

namespace {

const std::array<const char*, 11> kKeys = {
    "Comments",       "CompanyName",     "FileDescription", "FileVersion",
    "InternalName",   "LegalCopyright",  "LegalTradeMarks", "OriginalFilename",
    "PrivateBuild",   "ProductName",     "ProductVersion",
};

std::u16string Utf16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

} // namespace

TkAppInfo::TkAppInfo()
{
    Read(QCoreApplication::applicationFilePath());
}

TkAppInfo::TkAppInfo(const QString& fileName)
{
    Read(fileName);
}

void TkAppInfo::Read(const QString& fileName)
{
    const std::u16string name = Utf16(fileName);
    std::uint32_t handle = 0;
    const std::uint32_t size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    if (size < 6)
        throw Exception(QStringLiteral("バージョン情報を取得できません"));
    VersionData.resize(static_cast<qsizetype>(size));
    // The lookups trust the table's own length, so a table that claims more
    // than was read is refused here.
    const auto* bytes = reinterpret_cast<const unsigned char*>(VersionData.constData());
    if (!GetFileVersionInfoW(name.c_str(), handle, size, VersionData.data())
        || (std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8)) > size) {
        VersionData.clear();
        throw Exception(QStringLiteral("バージョン情報を取得できません"));
    }
    void* value = nullptr;
    std::uint32_t length = 0;
    // A table without a translation array leaves Translation 0, so that every
    // GetValue finds nothing rather than reading past the table.
    if (VerQueryValueW(VersionData.constData(), u"\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
        const auto* p = static_cast<const unsigned char*>(value);
        Translation = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
                      | (std::uint32_t(p[3]) << 24);
    }
}

QString TkAppInfo::GetValue(int index) const
{
    if (index < 0 || index >= int(kKeys.size()) || VersionData.isEmpty())
        return QString();
    const QString path = QString::asprintf("\\StringFileInfo\\%04X%04X\\%s", Translation & 0xFFFF,
                                           Translation >> 16, kKeys[std::size_t(index)]);
    const std::u16string subBlock = Utf16(path);
    void* value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueW(VersionData.constData(), subBlock.c_str(), &value, &length))
        return QString();
    // The length counts the terminating zero.
    QString text(reinterpret_cast<const QChar*>(value), qsizetype(length));
    while (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
    return text;
}
