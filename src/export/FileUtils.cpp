#include "FileUtils.h"

#include "runtime/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace TFileUtils {

QString GetUsingFileName(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20) {
            c = QLatin1Char(' ');
            continue;
        }
        switch (u) {
        case u'\\':
            c = QChar(0xFFE5);
            break;
        case u'"':
            c = QChar(0x201D);
            break;
        case u'*':
        case u'/':
        case u':':
        case u'<':
        case u'>':
        case u'?':
        case u'|':
            c = QChar(static_cast<char16_t>(u + 0xFEE0));
            break;
        default:
            break;
        }
    }
    return result;
}

QString TruncateToUtf8Bytes(const QString& text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t u = text[i].unicode();
        qsizetype units = 1;
        qsizetype size;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            units = 2;
            size = 4;
        } else if (u < 0x80) {
            size = 1;
        } else if (u < 0x800) {
            size = 2;
        } else {
            size = 3; // also a lone surrogate, which is written as U+FFFD
        }
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

qsizetype LastComponentBytes(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(slash + 1).toUtf8().size();
}

bool SetFileTimeStamp(const QString& path, TDateTime dateTime)
{
    if (path.trimmed().isEmpty() || path.contains(QChar(0)))
        return false;
    // A regular file found at the path also shows that its folder exists.
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const qint64 ms = DateTimeToQDateTime(dateTime).toMSecsSinceEpoch();
    qint64 seconds = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = static_cast<long>(rest * 1000000);
    times[1] = times[0];
    return utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
}

QString MakeDirectories(const QString& dir)
{
    if (QFileInfo(dir).isDir())
        return QString();
    const QString clean = QDir::cleanPath(dir);
    qsizetype from = clean.startsWith(QLatin1Char('/')) ? 1 : 0;
    while (from <= clean.size()) {
        qsizetype next = clean.indexOf(QLatin1Char('/'), from);
        if (next < 0)
            next = clean.size();
        const QString part = clean.left(next);
        if (::mkdir(QFile::encodeName(part).constData(), 0777) != 0) {
            const int error = errno;
            if (error != EEXIST)
                return SysErrorMessage(error);
            if (!QFileInfo(part).isDir())
                return SysErrorMessage(ENOTDIR);
        }
        from = next + 1;
    }
    return QString();
}

} // namespace TFileUtils
