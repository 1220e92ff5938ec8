// The running program's version data, read from its own version table.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class TkAppInfo {
public:
    // Reads the version table of the running executable file; raises
    // Exception("バージョン情報を取得できません") when it has none or it
    // cannot be read.
    TkAppInfo();
    // The same for another file.
    explicit TkAppInfo(const QString& fileName);
    TkAppInfo(const TkAppInfo&) = delete;
    TkAppInfo& operator=(const TkAppInfo&) = delete;

    // The value of key index 0 ("Comments") to 10 ("ProductVersion") in the
    // first translation's string table; empty when the key is absent.
    QString GetValue(int index) const;

    std::uint32_t Translation = 0;
    QByteArray VersionData;

private:
    void Read(const QString& fileName);
};
