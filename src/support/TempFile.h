// Temporary files and folders: unique empty files whose names end in ".tmp", a
// folder that deletes itself with everything in it, and a temporary file beside a
// target that takes the target's place only once it is complete.
#pragma once

#include "runtime/TempRegistry.h"

#include <QByteArrayView>
#include <QString>
#include <memory>

namespace TFileUtils {

// Creates a new, empty file of a unique name in DirName (the user's temporary
// folder when DirName is empty) and returns its full path. The name is at most the
// first three characters of Prefix, a hexadecimal number and ".tmp" ("tmp" is the
// prefix when both arguments are empty). Raises EInOutError: with only the system's
// text when both arguments are empty, otherwise with
// "一時ファイルの作成に失敗しました。", the system's text, "\r\n" and the folder.
QString CreateTempFileName(const QString& DirName, const QString& Prefix);

// Creates a new folder of a unique name, formed as above, readable by the user
// only, and returns its path (without a trailing delimiter). Raises EInOutError as
// CreateTempFileName does.
QString CreateTempDirectory(const QString& DirName, const QString& Prefix);

// Deletes a file or a folder with everything below it. Symbolic links are removed,
// never followed, so nothing outside the folder is touched. False when something
// could not be removed.
bool RemoveTree(const QString& path);

} // namespace TFileUtils

class ITempDirectory {
public:
    virtual ~ITempDirectory() = default;
    // The folder's path, ending in a path delimiter.
    virtual QString GetPath() const = 0;
};
using ITempDirectoryPtr = std::shared_ptr<ITempDirectory>;

// A temporary folder that lives as long as the object. On destruction it is
// deleted with its contents, or moved to the trash when GoTrashBox is true; a
// failure to delete it is not reported.
class TTempDirectory : public ITempDirectory {
public:
    // In the user's temporary folder, named "tmp", a hexadecimal number and ".tmp";
    // or, when Directory is given, in that folder without the "tmp" prefix.
    explicit TTempDirectory(bool GoTrashBox, const QString& Directory = QString());
    ~TTempDirectory() override;
    TTempDirectory(const TTempDirectory&) = delete;
    TTempDirectory& operator=(const TTempDirectory&) = delete;

    QString GetPath() const override { return FPath; }

private:
    QString FPath;
    bool FGoTrashBox;
    TRegisteredTemp FRegistration;
};

namespace TUtility {

ITempDirectoryPtr CreateTempDirectory(bool GoTrashBox);
ITempDirectoryPtr CreateTempDirectory(bool GoTrashBox, const QString& Directory);

} // namespace TUtility

// A new file of a unique ".tmp" name in the folder of a target path. Whatever is
// written to it, by Write or by another writer through GetPath, replaces the
// target on Commit, in one rename; until then the target is untouched. A file
// that was not committed is removed on destruction. The target's folder must exist.
class TTargetTempFile {
public:
    // How the file is written: by another writer through GetPath, or only
    // through Write. A file written only through Write has, where the file
    // system allows it, no name at all until it is committed, so that nothing
    // of it is left if the program dies; GetPath is then empty.
    enum class TUse { ByPath, ByWrite };

    explicit TTargetTempFile(const QString& target, TUse use = TUse::ByPath);
    ~TTargetTempFile();
    TTargetTempFile(const TTargetTempFile&) = delete;
    TTargetTempFile& operator=(const TTargetTempFile&) = delete;

    const QString& GetPath() const { return FPath; }
    // Appends to the file. Raises EInOutError naming the target.
    void Write(QByteArrayView data);
    // Flushes the file to disk and renames it over the target. Raises EInOutError
    // naming the target; the temporary file is then removed on destruction.
    void Commit();
    // Like Commit, but gives the file the name target only if no file or folder has
    // it: false, with the temporary file kept for another try, when the name is
    // taken. target must be in the same file system (normally the same folder).
    bool CommitNew(const QString& target);

private:
    void Close();
    void Fail(const QString& format, int error) const;
    // Gives the unnamed file the name path; the system's error number, or 0.
    int LinkAnonymous(const QByteArray& path) const;

    QString FTarget;
    QString FPath;
    int FHandle = -1;
    bool FAnonymous = false;
    bool FCommitted = false;
    TRegisteredTemp FRegistration;
};
