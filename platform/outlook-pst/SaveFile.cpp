#include "SaveFile.h"

#include "runtime/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace OutlookPst {

namespace {
EInOutError IoError(const QString& what, const QString& path, int error)
{
    return EInOutError(QStringLiteral("%1 %2: %3").arg(what, path, SysErrorMessage(error)), error);
}
} // namespace

SaveFile::SaveFile(const QString& target) : FTarget(target)
{
    const QFileInfo info(target);
    if (info.fileName().isEmpty())
        throw EInOutError(QStringLiteral("保存先のファイル名がありません: %1").arg(target));
    if (OpenEmptyTarget())
        return;
    FTempPath = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                  QStringLiteral(".XXXXXX"));
    int fd = -1;
    {
        const TStopSignalsHeld held;
        fd = mkstemp(FTempPath.data());
        if (fd < 0)
            throw IoError(QStringLiteral("一時ファイルを作れません:"), target, errno);
        FRegistration = TRegisteredTemp(FTempPath, false);
    }
    // The new file gets the permissions a newly created file would get.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) {
        // Keeping the temporary file's own permissions is not an error.
    }
    FStream = fdopen(fd, "wb");
    if (!FStream) {
        const int error = errno;
        close(fd);
        unlink(FTempPath.constData());
        throw IoError(QStringLiteral("一時ファイルを開けません:"), target, error);
    }
}

bool SaveFile::OpenEmptyTarget()
{
    // Non-blocking, so that a FIFO of that name cannot hang the open.
    const int fd = ::open(QFile::encodeName(FTarget).constData(),
                          O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool empty =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && st.st_nlink == 1;
    if (!empty || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !(FStream = fdopen(fd, "wb"))) {
        close(fd);
        return false;
    }
    return true;
}

SaveFile::~SaveFile()
{
    if (FTempPath.isEmpty()) {
        // In place: an unfinished write leaves the file empty, as it was.
        if (FStream) {
            __fpurge(FStream); // what is still buffered must not land after the truncation
            if (ftruncate(fileno(FStream), 0) != 0) {
                // Nothing more can be done for it here.
            }
            fclose(FStream);
        }
        return;
    }
    if (FStream)
        fclose(FStream);
    if (!FCommitted)
        unlink(FTempPath.constData());
}

void SaveFile::Write(const char* data, qsizetype size)
{
    if (size > 0 &&
        fwrite(data, 1, static_cast<size_t>(size), FStream) != static_cast<size_t>(size))
        throw IoError(QStringLiteral("書き込めません:"), FTarget, errno);
}

void SaveFile::Commit()
{
    if (FStream) {
        // No fsync: a failed or interrupted write leaves the target as it was,
        // and a sync per mail would dominate the time of an export.
        const bool flushed = fflush(FStream) == 0;
        const int flushError = errno;
        if (!flushed && FTempPath.isEmpty())
            throw IoError(QStringLiteral("書き込めません:"), FTarget,
                          flushError); // the destructor empties it
        const bool closed = fclose(std::exchange(FStream, nullptr)) == 0;
        const int closeError = errno;
        if (flushed && !closed && FTempPath.isEmpty() &&
            truncate(QFile::encodeName(FTarget).constData(), 0) != 0) {
            // The write error below is the one to report.
        }
        if (!flushed || !closed)
            throw IoError(QStringLiteral("書き込めません:"), FTarget,
                          flushed ? closeError : flushError);
    }
    if (!FTempPath.isEmpty() &&
        rename(FTempPath.constData(), QFile::encodeName(FTarget).constData()) != 0)
        throw IoError(QStringLiteral("ファイルを置き換えられません:"), FTarget, errno);
    FCommitted = true;
    FRegistration.Release();
}

} // namespace OutlookPst
