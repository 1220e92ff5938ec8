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

constexpr int kCodePageJis = 50220;

// The input option of ToUnicodeString for a code page; the library detects the
// encoding of any other.
QByteArray UnicodeOption(int CodePage)
{
    switch (CodePage) {
    case 932:
        return "-wS";
    case 1200:
        return "-wW16L";
    case 1201:
        return "-wW16B";
    case 20932:
        return "-wE";
    case kCodePageJis:
        return "-wJ";
    case 65001:
        return "-wW";
    default:
        return "-w";
    }
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
    : FNkfDllAutoHandle(
          std::make_unique<TNkfDllAutoHandle>(DllPath.isEmpty() ? kDefaultName : DllPath))
{
}

bool TNkf::GetEnabled()
{
    return FNkfDllAutoHandle->GetEnabled();
}

int TNkf::Init()
{
    return GetEnabled() ? 0 : -1;
}

QString TNkf::GetNkfVersion()
{
    QString result;
    if (!GetEnabled())
        return result;
    auto fn =
        reinterpret_cast<GetNkfVersionSafeWFn>(FNkfDllAutoHandle->GetProc("GetNkfVersionSafeW"));
    if (!fn)
        return result;
    std::uint32_t needed = 0;
    fn(nullptr, 0, &needed);
    result.resize(static_cast<qsizetype>(needed));
    if (!fn(reinterpret_cast<char16_t*>(result.data()), needed, &needed))
        result.clear();
    return result;
}

TBytes TNkf::ConvertToBytes(const TBytes& Bytes, const QByteArray& Option)
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

RawByteString TNkf::ConvertToRawByteString(const TBytes& Bytes, const QByteArray& Option)
{
    return BytesToRawByteString(ConvertToBytes(Bytes, Option));
}

QString TNkf::ConvertToString(const QString& Text, const QByteArray& Option)
{
    return ConvertToString(Text.toUtf8(), Option);
}

QString TNkf::ConvertToString(const TBytes& Bytes, const QByteArray& Option)
{
    return RemoveTrailingNuls(QString::fromUtf8(ConvertToBytes(Bytes, Option)));
}

QString TNkf::ToHiragana(const QString& Text)
{
    return ConvertToString(Text, "-wWx --hiragana");
}
QString TNkf::ToKatakana(const QString& Text)
{
    return ConvertToString(Text, "-wWx --katakana");
}
QString TNkf::ToHankakuKatakana(const QString& Text)
{
    return ConvertToString(Text, "-wW -Z4");
}
QString TNkf::ToZenkakuKatakana(const QString& Text)
{
    return ConvertToString(Text, "-wW -X");
}
QString TNkf::ToHankaku(const QString& Text)
{
    return ConvertToString(Text, "-wW -Z1");
}

TBytes TNkf::ToSjisBytes(const TBytes& Bytes)
{
    return ConvertToBytes(Bytes, "-s");
}
RawByteString TNkf::ToSjisString(const TBytes& Bytes)
{
    return ConvertToRawByteString(Bytes, "-s");
}
RawByteString TNkf::ToSjisString(const RawByteString& Str)
{
    return ConvertToRawByteString(Str.Data, "-s");
}
RawByteString TNkf::ToSjisString(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-Ws");
}

TBytes TNkf::ToJisBytes(const TBytes& Bytes)
{
    return ConvertToBytes(Bytes, "-j");
}
RawByteString TNkf::ToJisString(const TBytes& Bytes)
{
    return ConvertToRawByteString(Bytes, "-j");
}
RawByteString TNkf::ToJisString(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-Wj --ms-ucs-map");
}

TBytes TNkf::ToEucBytes(const TBytes& Bytes)
{
    return ConvertToBytes(Bytes, "-e");
}
RawByteString TNkf::ToEucString(const TBytes& Bytes)
{
    return ConvertToRawByteString(Bytes, "-e");
}
RawByteString TNkf::ToEucString(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-We --ms-ucs-map");
}

TBytes TNkf::ToUTF8Bytes(const TBytes& Bytes)
{
    return ConvertToBytes(Bytes, "-w");
}
RawByteString TNkf::ToUTF8String(const TBytes& Bytes)
{
    return ConvertToRawByteString(Bytes, "-w");
}
RawByteString TNkf::ToUTF8String(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-Ww --ms-ucs-map");
}

QString TNkf::ToUnicodeString(const TBytes& Bytes)
{
    return ConvertToString(Bytes, "-w");
}
QString TNkf::ToUnicodeString(const RawByteString& Str)
{
    return ConvertToString(Str.Data, "-w");
}

QString TNkf::ToUnicodeString(const TBytes& Bytes, int CodePage)
{
    return ConvertToString(Bytes, UnicodeOption(CodePage));
}

QString TNkf::ToUnicodeString(const RawByteString& Str, int CodePage)
{
    return ToUnicodeString(Str.Data, CodePage);
}

TBytes TNkf::B64DecodeToBytes(const QString& Text)
{
    return ConvertToBytes(Text.toUtf8(), "-mB");
}
RawByteString TNkf::B64DecodeToRawByteString(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-mB");
}

QString TNkf::B64DecodeToString(const QString& Text, int CodePage)
{
    const TBytes bytes = B64DecodeToBytes(Text);
    return RemoveTrailingNuls(CodePage == 0 ? ToUnicodeString(bytes)
                                            : ToUnicodeString(bytes, CodePage));
}

TBytes TNkf::QPDecodeToBytes(const QString& Text)
{
    return ConvertToBytes(Text.toUtf8(), "-mQ");
}
RawByteString TNkf::QPDecodeToRawByteString(const QString& Text)
{
    return ConvertToRawByteString(Text.toUtf8(), "-mQ");
}

QString TNkf::QPDecodeToString(const QString& Text, int CodePage)
{
    const TBytes bytes = QPDecodeToBytes(Text);
    return RemoveTrailingNuls(CodePage == 0 ? ToUnicodeString(bytes)
                                            : ToUnicodeString(bytes, CodePage));
}

TBytes TNkf::B64HeaderEncodeJisBytes(const QString& Text)
{
    return ConvertToBytes(Text.toUtf8(), "-MWj --ms-ucs-map");
}

RawByteString TNkf::B64HeaderEncodeJisString(const QString& Text)
{
    return BytesToRawByteString(B64HeaderEncodeJisBytes(Text));
}

TBytes TNkf::B64HeaderEncodeUtf8Bytes(const QString& Text)
{
    return ConvertToBytes(Text.toUtf8(), "-MWw");
}

RawByteString TNkf::B64HeaderEncodeUtf8String(const QString& Text)
{
    return BytesToRawByteString(B64HeaderEncodeUtf8Bytes(Text));
}

TBytes TNkf::B64HeaderEncodeBytes(const QString& Text, int CodePage)
{
    return CodePage == kCodePageJis ? B64HeaderEncodeJisBytes(Text)
                                    : B64HeaderEncodeUtf8Bytes(Text);
}

RawByteString TNkf::B64HeaderEncodeString(const QString& Text, int CodePage)
{
    return CodePage == kCodePageJis ? B64HeaderEncodeJisString(Text)
                                    : B64HeaderEncodeUtf8String(Text);
}

QString TNkf::B64HeaderDecodeString(const QString& Text)
{
    return ConvertToString(Text.toUtf8(), "-mWw --ms-ucs-map");
}

QString TNkf::B64HeaderDecodeString(const RawByteString& Str)
{
    return ConvertToString(Str.Data, "-mw --ms-ucs-map");
}

RawByteString BytesToRawByteString(const TBytes& Bytes)
{
    return RawByteString(Bytes);
}

bool IsEnabledCodePage(int CodePage)
{
    switch (CodePage) {
    case 932:
    case 1200:
    case 1201:
    case 20932:
    case kCodePageJis:
    case 65001:
        return true;
    default:
        return false;
    }
}

INkfPtr CreateNkf(const QString& DllPath)
{
    return std::make_shared<TNkf>(DllPath);
}

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
