#include "TempFile.h"

#include "runtime/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kAttempts = 1000;

QString JoinPath(const QString& dir, const QString& name)
{
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

QString UniqueName(const QString& prefix)
{
    return prefix.left(3) + QString::asprintf("%08X", QRandomGenerator::global()->generate()) +
           QStringLiteral(".tmp");
}

[[noreturn]] void RaiseTempError(bool plain, int error, const QString& folder)
{
    if (plain)
        throw EInOutError(SysErrorMessage(error), error);
    throw EInOutError(QStringLiteral("一時ファイルの作成に失敗しました。") +
                          SysErrorMessage(error) + QStringLiteral("\r\n") + folder,
                      error);
}

// The folder and prefix that CreateTempFileName and CreateTempDirectory use, and
// whether their errors carry only the system's text.
struct TempPlace {
    QString folder;
    QString prefix;
    bool plain;
};

// The user's temporary folder with symbolic links resolved; a TMPDIR that does
// not exist is kept as it is, so that using it fails instead of falling back to
// some other folder.
QString UserTempFolder()
{
    const QString resolved = QDir::tempPath();
    if (!resolved.isEmpty())
        return resolved;
    const QString configured = QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
    return configured.isEmpty() ? QStringLiteral("/tmp") : configured;
}

TempPlace PlaceOf(const QString& dirName, const QString& prefix)
{
    if (dirName.isEmpty() && prefix.isEmpty())
        return {UserTempFolder(), QStringLiteral("tmp"), true};
    return {dirName.isEmpty() ? UserTempFolder() : dirName, prefix, false};
}

// Tries unique names in folder until create (which makes the entry, returning
// 0 or the system's error number) finds one free; the path, and in error the
// last error number (EEXIST when every name was taken).
QString CreateUnique(const QString& folder, const QString& prefix,
                     const std::function<int(const QByteArray&)>& create, int& error)
{
    error = EEXIST;
    for (int attempt = 0; attempt < kAttempts && error == EEXIST; ++attempt) {
        const QString path = JoinPath(folder, UniqueName(prefix));
        error = create(QFile::encodeName(path));
        if (error == 0)
            return path;
    }
    return QString();
}

// Creates a new empty file with O_EXCL, so that no existing file is ever reused.
// With handle, the file stays open for writing and its descriptor is given there.
QString CreateUniqueFile(const TempPlace& place, mode_t mode, int* handle = nullptr)
{
    int error = 0;
    const QString path = CreateUnique(
        place.folder, place.prefix,
        [&](const QByteArray& name) {
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0)
                return errno;
            if (handle)
                *handle = fd;
            else
                ::close(fd);
            return 0;
        },
        error);
    if (error != 0)
        RaiseTempError(place.plain, error, place.folder);
    return path;
}

// Unnamed files are given their names through /proc; without it they cannot be used.
bool CanNameUnnamedFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

void RemoveEntry(int parent, const char* name, bool& ok)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Not a folder, or a symbolic link (to a folder or not): remove the entry itself.
        if (::unlinkat(parent, name, 0) != 0 && errno != ENOENT)
            ok = false;
        return;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        ok = false;
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* child = entry->d_name;
        if (child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0)))
            continue;
        if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN)
            RemoveEntry(::dirfd(dir), child, ok);
        else if (::unlinkat(::dirfd(dir), child, 0) != 0 && errno != ENOENT)
            ok = false;
    }
    ::closedir(dir);
    if (::unlinkat(parent, name, AT_REMOVEDIR) != 0 && errno != ENOENT)
        ok = false;
}

QString WithoutTrailingDelimiter(const QString& path)
{
    QString result = path;
    while (result.size() > 1 && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

// The user's trash folder, made if missing. Qt's moveToTrash, when it finds no
// trash folder it can use, moves the item below the current directory instead.
bool EnsureHomeTrash()
{
    QString dataHome = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    const QString trash = dataHome + QStringLiteral("/Trash");
    return QDir().mkpath(trash + QStringLiteral("/files")) &&
           QDir().mkpath(trash + QStringLiteral("/info"));
}

} // namespace

namespace TFileUtils {

QString CreateTempFileName(const QString& DirName, const QString& Prefix)
{
    return CreateUniqueFile(PlaceOf(DirName, Prefix), 0600);
}

QString CreateTempDirectory(const QString& DirName, const QString& Prefix)
{
    const TempPlace place = PlaceOf(DirName, Prefix);
    int error = 0;
    const QString path = CreateUnique(
        place.folder, place.prefix,
        [](const QByteArray& name) { return ::mkdir(name.constData(), 0700) == 0 ? 0 : errno; },
        error);
    if (error != 0)
        RaiseTempError(place.plain, error, place.folder);
    return path;
}

bool RemoveTree(const QString& path)
{
    bool ok = true;
    const QByteArray name = QFile::encodeName(WithoutTrailingDelimiter(path));
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT;
    RemoveEntry(AT_FDCWD, name.constData(), ok);
    return ok;
}

} // namespace TFileUtils

TTempDirectory::TTempDirectory(bool GoTrashBox, const QString& Directory) : FGoTrashBox(GoTrashBox)
{
    const TStopSignalsHeld held;
    const QString path = TFileUtils::CreateTempDirectory(Directory, QString());
    FRegistration = TRegisteredTemp(QFile::encodeName(path), true);
    FPath = path + QLatin1Char('/');
}

TTempDirectory::~TTempDirectory()
{
    const QString path = WithoutTrailingDelimiter(FPath);
    if (FGoTrashBox && EnsureHomeTrash() && QFile::moveToTrash(path))
        return;
    TFileUtils::RemoveTree(path);
}

namespace TUtility {

ITempDirectoryPtr CreateTempDirectory(bool GoTrashBox)
{
    return std::make_shared<TTempDirectory>(GoTrashBox);
}

ITempDirectoryPtr CreateTempDirectory(bool GoTrashBox, const QString& Directory)
{
    return std::make_shared<TTempDirectory>(GoTrashBox, Directory);
}

} // namespace TUtility

TTargetTempFile::TTargetTempFile(const QString& target, TUse use) : FTarget(target)
{
    const QString folder = QFileInfo(target).path();
    // An unnamed file needs /proc to be given a name later. A file system
    // without unnamed files refuses the open; the named way then serves, and
    // reports any other error in its words.
    if (use == TUse::ByWrite && CanNameUnnamedFiles()) {
        FHandle =
            ::open(QFile::encodeName(folder).constData(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
        if (FHandle >= 0) {
            FAnonymous = true;
            return;
        }
    }
    // Created with the usual permissions, since the file becomes the target. The
    // descriptor of the creation is kept for Write, which saves opening it again.
    const TStopSignalsHeld held;
    FPath = CreateUniqueFile({folder, QString(), false}, 0666, &FHandle);
    FRegistration = TRegisteredTemp(QFile::encodeName(FPath), false);
}

int TTargetTempFile::LinkAnonymous(const QByteArray& path) const
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(FHandle);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) != 0)
        return errno;
    return 0;
}

TTargetTempFile::~TTargetTempFile()
{
    if (FHandle >= 0)
        ::close(FHandle);
    if (!FCommitted && !FAnonymous)
        ::unlink(QFile::encodeName(FPath).constData());
}

void TTargetTempFile::Fail(const QString& format, int error) const
{
    throw EInOutError(format.arg(FTarget, SysErrorMessage(error)), error);
}

void TTargetTempFile::Write(QByteArrayView data)
{
    if (FHandle < 0)
        Fail(QStringLiteral("ファイル \"%1\" に書き込めません。%2"), EBADF);
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(FHandle, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(QStringLiteral("ファイル \"%1\" に書き込めません。%2"), errno);
        }
        p += n;
        left -= n;
    }
}

void TTargetTempFile::Close()
{
    // No fsync: it would cost every mail a wait for the disk. Write errors such as
    // a full disk are reported by write and close; the rename keeps a reader from
    // ever seeing a partly written file.
    if (FHandle >= 0) {
        const int handle = FHandle;
        FHandle = -1;
        if (::close(handle) != 0)
            Fail(QStringLiteral("ファイル \"%1\" に書き込めません。%2"), errno);
    }
}

void TTargetTempFile::Commit()
{
    if (FAnonymous) {
        // Named beside the target first, then renamed over it in one step.
        const TStopSignalsHeld held;
        int error = 0;
        FPath = CreateUnique(
            QFileInfo(FTarget).path(), QString(),
            [this](const QByteArray& name) { return LinkAnonymous(name); }, error);
        if (error != 0)
            Fail(QStringLiteral("ファイル \"%1\" を作成できません。%2"), error);
        FAnonymous = false;
        FRegistration = TRegisteredTemp(QFile::encodeName(FPath), false);
    }
    Close();
    if (::rename(QFile::encodeName(FPath).constData(), QFile::encodeName(FTarget).constData()) != 0)
        Fail(QStringLiteral("ファイル \"%1\" を作成できません。%2"), errno);
    FCommitted = true;
    FRegistration.Release();
}

bool TTargetTempFile::CommitNew(const QString& target)
{
    FTarget = target;
    if (FAnonymous) {
        const QByteArray to = QFile::encodeName(target);
        if (const int error = LinkAnonymous(to); error != 0) {
            if (error == EEXIST)
                return false;
            Fail(QStringLiteral("ファイル \"%1\" を作成できません。%2"), error);
        }
        // A write error that only the close reports: the file does not stay.
        try {
            Close();
        } catch (const EInOutError&) {
            ::unlink(to.constData());
            throw;
        }
        FCommitted = true;
        return true;
    }
    Close();
    const QByteArray from = QFile::encodeName(FPath);
    const QByteArray to = QFile::encodeName(target);
    int result =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
        // A file system without the no-replace rename: a hard link fails on a taken
        // name just as well.
        result = ::link(from.constData(), to.constData());
        if (result == 0)
            ::unlink(from.constData());
        else if (errno == EPERM || errno == ENOTSUP) {
            // Nor hard links (some removable media): check, then rename.
            struct stat info;
            if (::lstat(to.constData(), &info) == 0)
                return false;
            result = ::rename(from.constData(), to.constData());
        }
    }
    if (result != 0) {
        if (errno == EEXIST || errno == ENOTEMPTY)
            return false;
        Fail(QStringLiteral("ファイル \"%1\" を作成できません。%2"), errno);
    }
    FCommitted = true;
    FRegistration.Release();
    return true;
}
