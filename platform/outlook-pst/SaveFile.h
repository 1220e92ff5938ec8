// Files written through a temporary file in the target's folder that is renamed
// over the target once complete: the target is then either the complete new
// file or left as it was.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace OutlookPst {

class SaveFile {
public:
    // Creates the temporary file; raises EInOutError when the folder cannot take it.
    explicit SaveFile(const QString& target);
    // Removes the temporary file unless Commit succeeded.
    ~SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    FILE* Stream() const { return FStream; }
    const QByteArray& TemporaryPath() const { return FTempPath; }
    // Writes bytes; raises EInOutError on failure.
    void Write(const char* data, qsizetype size);
    // Flushes, closes and renames the file over the target; raises EInOutError.
    void Commit();
    // Closes the stream without renaming (a writer that closed it itself calls this).
    void Detach() { FStream = nullptr; }

private:
    QString FTarget;
    QByteArray FTempPath;
    FILE* FStream = nullptr;
    bool FCommitted = false;
};

} // namespace OutlookPst
