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

class INkf {
public:
    virtual ~INkf() = default;
    virtual bool GetEnabled() = 0;
    virtual QString GetNkfVersion() = 0;
    virtual QByteArray ConvertToBytes(const QByteArray& Bytes, const QByteArray& Option) = 0;
    virtual QString ConvertToString(const QByteArray& Bytes, const QByteArray& Option) = 0;
    virtual QString ConvertToString(const QString& Text, const QByteArray& Option) = 0;
    // 0 when the library is loaded, -1 when not. Makes no library call.
    virtual int Init() = 0;
};
using INkfPtr = std::shared_ptr<INkf>;

class TNkf : public INkf {
public:
    explicit TNkf(const QString& DllPath);

    bool GetEnabled() override;
    QString GetNkfVersion() override;
    QByteArray ConvertToBytes(const QByteArray& Bytes, const QByteArray& Option) override;
    QString ConvertToString(const QByteArray& Bytes, const QByteArray& Option) override;
    QString ConvertToString(const QString& Text, const QByteArray& Option) override;
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
