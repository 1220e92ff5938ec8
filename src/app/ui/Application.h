// Settings of the desktop application shared by the program and its screenshots.
#pragma once

// The application's names and version, and Qt's own texts (file dialogs, standard
// buttons) in Japanese, as the rest of the program is.
void SetUpApplication(const char* version);
