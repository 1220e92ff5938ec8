// File-name and file-time helpers of the export.
#pragma once

#include "runtime/DateTime.h"

#include <QString>

namespace TFileUtils {

// The most bytes one path component may hold on the file systems the export writes to.
constexpr qsizetype MaxFileNameBytes = 255;

// Replaces, one code unit for one, every character that a file name may not hold:
// control characters become spaces, \ " * / : < > ? | their full-width forms (the
// backslash the full-width yen sign, the quotation mark a right double quotation
// mark). The result has the length of the text.
QString GetUsingFileName(const QString& text);

// The longest leading part of the text whose UTF-8 form fits in maxBytes bytes. The
// cut falls between code points, never inside a surrogate pair.
QString TruncateToUtf8Bytes(const QString& text, qsizetype maxBytes);

// The UTF-8 length of the last path component of a path.
qsizetype LastComponentBytes(const QString& path);

// Sets the last-access and last-write times of an existing file to the local
// date-time (there is no creation time to set here). False when the path is blank
// or holds a NUL, when its folder or the file does not exist (a folder is not a
// file), or when the times cannot be set.
bool SetFileTimeStamp(const QString& path, TDateTime dateTime);

// Creates a folder with every missing parent. Empty when the folder exists
// afterwards, else the reason in the user's words (the system's error text).
QString MakeDirectories(const QString& dir);

} // namespace TFileUtils
