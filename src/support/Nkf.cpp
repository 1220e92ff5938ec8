#include "Nkf.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>
#include <dlfcn.h>

namespace {

const QString kDefaultName = QStringLiteral("NKF32.DLL");
const QString kPlatformName = QStringLiteral("libnkf32.so");

using SetNkfOptionFn = int (*)(const char*);
using NkfConvertSafeFn = int (*)(char*, std::uint32_t, std::uint32_t*, const char*, std::uint32_t);
using GetNkfVersionSafeWFn = int (*)(char16_t*, std::uint32_t, std::uint32_t*);

QString ExecutableDir()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString RemoveTrailingNuls(QString text)
{
    while (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
    return text;
}

} // namespace

QString TNkfDllAutoHandle::ResolveLibraryPath(const QString& DllPath)
{
    QString name = DllPath.isEmpty() ? kDefaultName : DllPath;
    if (name.compare(kDefaultName, Qt::CaseInsensitive) == 0)
        name = kPlatformName;
    if (name.contains(QLatin1Char('/')))
        return name;
    // Beside the program in a build tree; in the installed tree, the
    // package's private library folder, found from the program's own folder so
    // that an installation under any prefix works.
    const QDir bin(ExecutableDir());
    for (const QString& candidate :
         {bin.filePath(name), bin.filePath(QStringLiteral(TIDEWELL_PRIVATE_LIBDIR_FROM_BIN "/") + name)}) {
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    }
    return name;
}

TNkfDllAutoHandle::TNkfDllAutoHandle(const QString& DllPath)
{
    const QByteArray path = QFile::encodeName(ResolveLibraryPath(DllPath));
    FHandle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle)
        dlerror(); // clear the loader's error; a missing library is only reported by Init
}

TNkfDllAutoHandle::~TNkfDllAutoHandle()
{
    if (FHandle)
        dlclose(FHandle);
}

void* TNkfDllAutoHandle::GetProc(const char* name) const
{
    if (!FHandle)
        return nullptr;
    return dlsym(FHandle, name);
}

TNkf::TNkf(const QString& DllPath)
    : FNkfDllAutoHandle(std::make_unique<TNkfDllAutoHandle>(DllPath.isEmpty() ? kDefaultName : DllPath))
{
}

bool TNkf::GetEnabled() { return FNkfDllAutoHandle->GetEnabled(); }

int TNkf::Init() { return GetEnabled() ? 0 : -1; }

QString TNkf::GetNkfVersion()
{
    QString result;
    if (!GetEnabled())
        return result;
    auto fn = reinterpret_cast<GetNkfVersionSafeWFn>(FNkfDllAutoHandle->GetProc("GetNkfVersionSafeW"));
    if (!fn)
        return result;
    std::uint32_t needed = 0;
    fn(nullptr, 0, &needed);
    result.resize(static_cast<qsizetype>(needed));
    if (!fn(reinterpret_cast<char16_t*>(result.data()), needed, &needed))
        result.clear();
    return result;
}

QByteArray TNkf::ConvertToBytes(const QByteArray& Bytes, const QByteArray& Option)
{
    if (Bytes.isEmpty())
        return QByteArray();
    if (!GetEnabled())
        throw ENkfException(QStringLiteral("NKF32.DLL not found."));
    auto setOption = reinterpret_cast<SetNkfOptionFn>(FNkfDllAutoHandle->GetProc("SetNkfOption"));
    if (!setOption)
        throw ENkfException(QStringLiteral("GetProcAddress(SetNkfOption) error."));
    auto convert = reinterpret_cast<NkfConvertSafeFn>(FNkfDllAutoHandle->GetProc("NkfConvertSafe"));
    if (!convert)
        throw ENkfException(QStringLiteral("GetProcAddress(NkfConvertSafe) error."));

    const auto inSize = static_cast<std::uint32_t>(Bytes.size());
    std::uint32_t count = 0;
    if (setOption(Option.constData()) < 0)
        throw ENkfException(QStringLiteral("SetNkfOption error."));
    if (!convert(nullptr, 0, &count, Bytes.constData(), inSize))
        throw ENkfException(QStringLiteral("NkfConvertSafe error."));
    if (setOption(Option.constData()) < 0)
        throw ENkfException(QStringLiteral("SetNkfOption error."));
    QByteArray result(static_cast<qsizetype>(count), '\0');
    if (!convert(result.data(), count, &count, Bytes.constData(), inSize))
        throw ENkfException(QStringLiteral("NkfConvertSafe error."));
    return result;
}

QString TNkf::ConvertToString(const QByteArray& Bytes, const QByteArray& Option)
{
    return RemoveTrailingNuls(QString::fromUtf8(ConvertToBytes(Bytes, Option)));
}

QString TNkf::ConvertToString(const QString& Text, const QByteArray& Option)
{
    return ConvertToString(Text.toUtf8(), Option);
}

INkfPtr CreateNkf(const QString& DllPath) { return std::make_shared<TNkf>(DllPath); }

TNkfSingleton* TNkfSingleton::GetInstance()
{
    static std::unique_ptr<TNkfSingleton> owner;
    if (!owner)
        owner.reset(new TNkfSingleton());
    return owner.get();
}

INkfPtr TNkfSingleton::GetNkf()
{
    if (!FNkf)
        FNkf = CreateNkf(QString());
    return FNkf;
}
