#include "HelpFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString HelpFilePath()
{
    const QString name = QStringLiteral("tidewell.qch");
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString beside = bin.filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed =
        QDir::cleanPath(bin.filePath(QStringLiteral(TIDEWELL_DATADIR_FROM_BIN "/") + name));
    if (QFileInfo::exists(installed))
        return installed;
    return beside;
}

QString HelpPageForContext(int context)
{
    switch (context) {
    case 4:
        return QStringLiteral("export-format.html");
    case 5:
        return QStringLiteral("export-conditions.html");
    case 178:
        return QStringLiteral("mail-list-error.html");
    default:
        return QStringLiteral("index.html");
    }
}
