// Where the program's compiled help file is.
#pragma once

#include <QString>

// The help file "tidewell.qch": beside the program in a build tree, or in the
// package's data folder of an installed tree. When neither exists, the path
// beside the program, so that the help window can name what it looked for.
QString HelpFilePath();

// The help page shown for a help context number of the dialogs (4, 5, 178);
// the contents page for any other number.
QString HelpPageForContext(int context);
