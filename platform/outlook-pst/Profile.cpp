#include "OutlookPst.h"
#include "runtime/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace OutlookPst {

namespace {

QString Normalized(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

void WriteProfile(const QStringList& paths)
{
    const QString file = ProfilePath();
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath()))
        throw EInOutError(QStringLiteral("プロファイルのフォルダー %1 を作れません。").arg(info.absolutePath()));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        throw EInOutError(QStringLiteral("プロファイル %1 に書き込めません: %2").arg(file, out.errorString()));
    for (const QString& path : paths)
        out.write(path.toUtf8() + '\n');
    if (!out.commit())
        throw EInOutError(QStringLiteral("プロファイル %1 に書き込めません: %2").arg(file, out.errorString()));
}

} // namespace

QString ProfilePath()
{
    const QString named = qEnvironmentVariable("TIDEWELL_OUTLOOK_PROFILE");
    if (!named.isEmpty())
        return named;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/tidewell/outlook-profile");
}

QStringList ProfileStores()
{
    QFile file(ProfilePath());
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("プロファイル %1 を読めません: %2").arg(file.fileName(), file.errorString()));
    QStringList paths;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString path = QString::fromUtf8(line).trimmed();
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

void AddProfileStore(const QString& path)
{
    QStringList paths = ProfileStores();
    const QString absolute = Normalized(path);
    for (const QString& p : paths)
        if (Normalized(p) == absolute)
            return;
    paths << absolute;
    WriteProfile(paths);
}

void RemoveProfileStore(const QString& path)
{
    QStringList paths = ProfileStores();
    const QString absolute = Normalized(path);
    const qsizetype before = paths.size();
    paths.removeIf([&](const QString& p) { return Normalized(p) == absolute; });
    if (paths.size() == before)
        throw Exception(QStringLiteral("プロファイルにデータファイル %1 はありません。").arg(path));
    WriteProfile(paths);
}

} // namespace OutlookPst
