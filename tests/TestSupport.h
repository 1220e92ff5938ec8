// Helpers shared by the tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TestSupport {

// Runs a program and returns its standard output; the exit code goes to *exitCode.
QByteArray Run(const QString& program, const QStringList& args, int* exitCode = nullptr,
               QByteArray* standardError = nullptr, const QByteArray& input = QByteArray());

// Sets TZ for this process and makes the C library read it again.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();

private:
    QByteArray FOld;
    bool FHadOld;
};

// Every file below dir, as paths relative to it, sorted.
QStringList FilesBelow(const QString& dir);

// Folder of the build's programs and libraries.
QString BinaryDir();

} // namespace TestSupport

#include <ostream>
// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
