// The images of the folder tree and of the commands: the desktop's icon theme,
// with small images of the program's own where the theme has none.
#pragma once

#include <QIcon>

// 0 a folder that holds no mail, 1 a mail folder, 2 a mail folder while selected.
QIcon FolderImage(int index);
// A mail folder's image: 1 normally, 2 while selected.
QIcon MailFolderIcon();

// The command images, 0 to 6: export all, select all, select none, export the
// selected folder, export the selected mail, export with sub-folders, close.
// 7 opens a data file.
QIcon ActionImage(int index);

// The program's own icon.
QIcon ProgramIcon();
