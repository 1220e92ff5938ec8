#include "Icons.h"

#include <QString>
#include <array>

namespace {

struct ThemedIcon {
    const char* ThemeName;
    const char* Fallback;
};

QIcon Themed(const ThemedIcon& icon)
{
    const QString fallback = QStringLiteral(":/icons/") + QLatin1String(icon.Fallback) +
                             QStringLiteral(".svg");
    return QIcon::fromTheme(QLatin1String(icon.ThemeName), QIcon(fallback));
}

constexpr std::array<ThemedIcon, 3> kFolders = {{
    {"folder", "folder"},
    {"folder-mail", "folder-mail"},
    {"folder-open", "folder-open"},
}};

constexpr std::array<ThemedIcon, 8> kActions = {{
    {"document-save-all", "export-all"},
    {"edit-select-all", "select-all"},
    {"edit-clear", "select-none"},
    {"document-save", "export-folder"},
    {"mail-message", "export-mail"},
    {"folder-download", "export-subfolders"},
    {"application-exit", "close"},
    {"document-open", "open"},
}};

} // namespace

QIcon FolderImage(int index)
{
    if (index < 0 || index >= static_cast<int>(kFolders.size()))
        return QIcon();
    return Themed(kFolders[static_cast<std::size_t>(index)]);
}

QIcon MailFolderIcon()
{
    QIcon icon;
    for (const QSize size : {QSize(16, 16), QSize(22, 22), QSize(32, 32)}) {
        icon.addPixmap(FolderImage(1).pixmap(size), QIcon::Normal);
        icon.addPixmap(FolderImage(2).pixmap(size), QIcon::Selected);
    }
    return icon;
}

QIcon ActionImage(int index)
{
    if (index < 0 || index >= static_cast<int>(kActions.size()))
        return QIcon();
    return Themed(kActions[static_cast<std::size_t>(index)]);
}

QIcon ProgramIcon()
{
    return QIcon::fromTheme(QStringLiteral("tidewell"), QIcon(QStringLiteral(":/icons/tidewell.svg")));
}
