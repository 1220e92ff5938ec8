// Base error type of the system and the errors the platform layers raise.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Every failure of the system is an exception that carries a message text.
class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}
    ~Exception() override = default;

    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Base of the automation errors.
class EOleError : public Exception {
public:
    using Exception::Exception;
};

// A system-level automation failure with a result code, such as a failed
// running-object lookup or an unknown program identifier.
class EOleSysError : public EOleError {
public:
    EOleSysError(const QString& message, qint32 errorCode)
        : EOleError(message), FErrorCode(errorCode)
    {
    }
    qint32 ErrorCode() const { return FErrorCode; }

private:
    qint32 FErrorCode;
};

// An automation invocation or a conversion of its result failed.
class EOleException : public EOleError {
public:
    using EOleError::EOleError;
};

// An input/output error, with the operating system's error number where known.
class EInOutError : public Exception {
public:
    explicit EInOutError(const QString& message, int errorCode = 0)
        : Exception(message), FErrorCode(errorCode)
    {
    }
    int ErrorCode() const { return FErrorCode; }

private:
    int FErrorCode;
};

// The operating system's error text for an errno value: a Japanese text for the
// errors a user meets when saving files (a full disk, a name too long, no
// permission and so on), the C library's own text for the rest.
QString SysErrorMessage(int errorCode);
