#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <cstdlib>
#include <ctime>

namespace TestSupport {

QByteArray Run(const QString& program, const QStringList& args, int* exitCode,
               QByteArray* standardError, const QByteArray& input)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(30000)) {
        if (exitCode)
            *exitCode = -1;
        return QByteArray();
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(600000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (standardError)
        *standardError = process.readAllStandardError();
    return process.readAllStandardOutput();
}

ScopedTimeZone::ScopedTimeZone(const char* zone)
{
    const char* old = std::getenv("TZ");
    FHadOld = old != nullptr;
    if (old)
        FOld = old;
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (FHadOld)
        setenv("TZ", FOld.constData(), 1);
    else
        unsetenv("TZ");
    tzset();
}

QStringList FilesBelow(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

QString BinaryDir() { return QStringLiteral(TIDEWELL_BINARY_DIR "/bin"); }

} // namespace TestSupport
