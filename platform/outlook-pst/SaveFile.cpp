#include "SaveFile.h"

#include "runtime/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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
    FTempPath = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                  QStringLiteral(".XXXXXX"));
    const int fd = mkstemp(FTempPath.data());
    if (fd < 0)
        throw IoError(QStringLiteral("一時ファイルを作れません:"), target, errno);
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

SaveFile::~SaveFile()
{
    if (FStream)
        fclose(FStream);
    if (!FCommitted)
        unlink(FTempPath.constData());
}

void SaveFile::Write(const char* data, qsizetype size)
{
    if (size > 0 && fwrite(data, 1, static_cast<size_t>(size), FStream) != static_cast<size_t>(size))
        throw IoError(QStringLiteral("書き込めません:"), FTarget, errno);
}

void SaveFile::Commit()
{
    if (FStream) {
        // No fsync: the rename protects against a failed or interrupted write,
        // and a sync per mail would dominate the time of an export.
        const bool failed = fflush(FStream) != 0;
        const int error = errno;
        const bool closeFailed = fclose(FStream) != 0;
        FStream = nullptr;
        if (failed || closeFailed)
            throw IoError(QStringLiteral("書き込めません:"), FTarget, failed ? error : errno);
    }
    if (rename(FTempPath.constData(), QFile::encodeName(FTarget).constData()) != 0)
        throw IoError(QStringLiteral("ファイルを置き換えられません:"), FTarget, errno);
    FCommitted = true;
}

} // namespace OutlookPst
