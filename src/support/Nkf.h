// The Japanese text converter: a library loaded at run time by name, its
// converter object and the process-wide holder that start-up checks.
#pragma once

#include "runtime/Exception.h"

#include <QByteArray>
#include <QString>
#include <memory>

class ENkfException : public Exception {
public:
    using Exception::Exception;
};

// Owns the loaded converter library. The name "NKF32.DLL" (the default) stands for
// libnkf32.so, which is looked for beside the executable first and then on the
// library path. A failed load leaves the handle null and raises nothing.
class TNkfDllAutoHandle {
public:
    explicit TNkfDllAutoHandle(const QString& DllPath);
    ~TNkfDllAutoHandle();
    TNkfDllAutoHandle(const TNkfDllAutoHandle&) = delete;
    TNkfDllAutoHandle& operator=(const TNkfDllAutoHandle&) = delete;

    void* GetHandle() const { return FHandle; }
    bool GetEnabled() const { return FHandle != nullptr; }
    // The address of an exported function, or null.
    void* GetProc(const char* name) const;

    // The file the given library name is loaded from, or the bare name when it is
    // to be found on the library path.
    static QString ResolveLibraryPath(const QString& DllPath);

private:
    void* FHandle = nullptr;
};

// Bytes with no code-page meaning, kept apart from TBytes so that the
// operations can take either. The bytes are those of Data, unchanged.
struct RawByteString {
    RawByteString() = default;
    explicit RawByteString(QByteArray data) : Data(std::move(data)) {}
    bool operator==(const RawByteString&) const = default;
    QByteArray Data;
};

// A byte array: the input and output of the byte conversions.
using TBytes = QByteArray;

// The bytes unchanged, as a byte string.
RawByteString BytesToRawByteString(const TBytes& Bytes);
// Whether ToUnicodeString has an input option of its own for the code page:
// 932, 1200, 1201, 20932, 50220 and 65001.
bool IsEnabledCodePage(int CodePage);

// The converter. Every operation that converts ends in ConvertToBytes with the
// options of the Network Kanji Filter; text results are read as UTF-8 and lose
// their trailing NUL characters.
class INkf {
public:
    virtual ~INkf() = default;
    virtual bool GetEnabled() = 0;
    virtual QString GetNkfVersion() = 0;
    virtual TBytes ConvertToBytes(const TBytes& Bytes, const QByteArray& Option) = 0;
    virtual RawByteString ConvertToRawByteString(const TBytes& Bytes, const QByteArray& Option) = 0;
    virtual QString ConvertToString(const QString& Text, const QByteArray& Option) = 0;
    virtual QString ConvertToString(const TBytes& Bytes, const QByteArray& Option) = 0;
    virtual QString ToHiragana(const QString& Text) = 0;
    virtual QString ToKatakana(const QString& Text) = 0;
    virtual QString ToHankakuKatakana(const QString& Text) = 0;
    virtual QString ToZenkakuKatakana(const QString& Text) = 0;
    virtual QString ToHankaku(const QString& Text) = 0;
    virtual TBytes ToSjisBytes(const TBytes& Bytes) = 0;
    virtual RawByteString ToSjisString(const TBytes& Bytes) = 0;
    virtual RawByteString ToSjisString(const RawByteString& Str) = 0;
    virtual RawByteString ToSjisString(const QString& Text) = 0;
    virtual TBytes ToJisBytes(const TBytes& Bytes) = 0;
    virtual RawByteString ToJisString(const TBytes& Bytes) = 0;
    virtual RawByteString ToJisString(const QString& Text) = 0;
    virtual TBytes ToEucBytes(const TBytes& Bytes) = 0;
    virtual RawByteString ToEucString(const TBytes& Bytes) = 0;
    virtual RawByteString ToEucString(const QString& Text) = 0;
    virtual TBytes ToUTF8Bytes(const TBytes& Bytes) = 0;
    virtual RawByteString ToUTF8String(const TBytes& Bytes) = 0;
    virtual RawByteString ToUTF8String(const QString& Text) = 0;
    virtual QString ToUnicodeString(const TBytes& Bytes) = 0;
    virtual QString ToUnicodeString(const RawByteString& Str) = 0;
    virtual QString ToUnicodeString(const TBytes& Bytes, int CodePage) = 0;
    virtual QString ToUnicodeString(const RawByteString& Str, int CodePage) = 0;
    virtual TBytes B64DecodeToBytes(const QString& Text) = 0;
    virtual RawByteString B64DecodeToRawByteString(const QString& Text) = 0;
    virtual QString B64DecodeToString(const QString& Text, int CodePage) = 0;
    virtual TBytes QPDecodeToBytes(const QString& Text) = 0;
    virtual RawByteString QPDecodeToRawByteString(const QString& Text) = 0;
    virtual QString QPDecodeToString(const QString& Text, int CodePage) = 0;
    virtual TBytes B64HeaderEncodeJisBytes(const QString& Text) = 0;
    virtual RawByteString B64HeaderEncodeJisString(const QString& Text) = 0;
    virtual TBytes B64HeaderEncodeUtf8Bytes(const QString& Text) = 0;
    virtual RawByteString B64HeaderEncodeUtf8String(const QString& Text) = 0;
    virtual TBytes B64HeaderEncodeBytes(const QString& Text, int CodePage) = 0;
    virtual RawByteString B64HeaderEncodeString(const QString& Text, int CodePage) = 0;
    virtual QString B64HeaderDecodeString(const QString& Text) = 0;
    virtual QString B64HeaderDecodeString(const RawByteString& Str) = 0;
    // 0 when the library is loaded, -1 when not. Makes no library call.
    virtual int Init() = 0;
};
using INkfPtr = std::shared_ptr<INkf>;

class TNkf : public INkf {
public:
    explicit TNkf(const QString& DllPath);

    bool GetEnabled() override;
    QString GetNkfVersion() override;
    TBytes ConvertToBytes(const TBytes& Bytes, const QByteArray& Option) override;
    RawByteString ConvertToRawByteString(const TBytes& Bytes, const QByteArray& Option) override;
    QString ConvertToString(const QString& Text, const QByteArray& Option) override;
    QString ConvertToString(const TBytes& Bytes, const QByteArray& Option) override;
    QString ToHiragana(const QString& Text) override;
    QString ToKatakana(const QString& Text) override;
    QString ToHankakuKatakana(const QString& Text) override;
    QString ToZenkakuKatakana(const QString& Text) override;
    QString ToHankaku(const QString& Text) override;
    TBytes ToSjisBytes(const TBytes& Bytes) override;
    RawByteString ToSjisString(const TBytes& Bytes) override;
    RawByteString ToSjisString(const RawByteString& Str) override;
    RawByteString ToSjisString(const QString& Text) override;
    TBytes ToJisBytes(const TBytes& Bytes) override;
    RawByteString ToJisString(const TBytes& Bytes) override;
    RawByteString ToJisString(const QString& Text) override;
    TBytes ToEucBytes(const TBytes& Bytes) override;
    RawByteString ToEucString(const TBytes& Bytes) override;
    RawByteString ToEucString(const QString& Text) override;
    TBytes ToUTF8Bytes(const TBytes& Bytes) override;
    RawByteString ToUTF8String(const TBytes& Bytes) override;
    RawByteString ToUTF8String(const QString& Text) override;
    QString ToUnicodeString(const TBytes& Bytes) override;
    QString ToUnicodeString(const RawByteString& Str) override;
    QString ToUnicodeString(const TBytes& Bytes, int CodePage) override;
    QString ToUnicodeString(const RawByteString& Str, int CodePage) override;
    TBytes B64DecodeToBytes(const QString& Text) override;
    RawByteString B64DecodeToRawByteString(const QString& Text) override;
    QString B64DecodeToString(const QString& Text, int CodePage) override;
    TBytes QPDecodeToBytes(const QString& Text) override;
    RawByteString QPDecodeToRawByteString(const QString& Text) override;
    QString QPDecodeToString(const QString& Text, int CodePage) override;
    TBytes B64HeaderEncodeJisBytes(const QString& Text) override;
    RawByteString B64HeaderEncodeJisString(const QString& Text) override;
    TBytes B64HeaderEncodeUtf8Bytes(const QString& Text) override;
    RawByteString B64HeaderEncodeUtf8String(const QString& Text) override;
    TBytes B64HeaderEncodeBytes(const QString& Text, int CodePage) override;
    RawByteString B64HeaderEncodeString(const QString& Text, int CodePage) override;
    QString B64HeaderDecodeString(const QString& Text) override;
    QString B64HeaderDecodeString(const RawByteString& Str) override;
    int Init() override;

private:
    std::unique_ptr<TNkfDllAutoHandle> FNkfDllAutoHandle;
};

// A converter for the library at DllPath ("NKF32.DLL" when empty). Never fails on a
// missing library; the converter then reports Enabled false.
INkfPtr CreateNkf(const QString& DllPath);

class TNkfSingleton {
public:
    static TNkfSingleton* GetInstance();
    // The shared converter, created with the default library name on first use.
    INkfPtr GetNkf();
    ~TNkfSingleton() = default;

private:
    TNkfSingleton() = default;
    INkfPtr FNkf;
};
