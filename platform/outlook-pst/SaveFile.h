// Files written through a temporary file in the target's folder that is renamed
// over the target once complete: the target is then either the complete new
// file or left as it was.
//
// A target that already exists as an empty file, as the placeholders of unique
// temporary names do, is written in place instead and truncated back to empty
// when the write fails. That leaves it as it was too, and spares creating and
// deleting a second file per save.
#pragma once

#include "runtime/TempRegistry.h"

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
    // Writes bytes; raises EInOutError on failure.
    void Write(const char* data, qsizetype size);
    // Flushes and closes the file and, unless it was written in place, renames it
    // over the target; raises EInOutError.
    void Commit();

private:
    // Opens an existing empty regular file for writing in place; false for anything else.
    bool OpenEmptyTarget();

    QString FTarget;
    QByteArray FTempPath; // empty when writing in place
    FILE* FStream = nullptr;
    bool FCommitted = false;
    TRegisteredTemp FRegistration;
};

} // namespace OutlookPst
