// tidewell-export: exports mail from the Outlook stand-in's data files without a
// window, through the same export run as the main window.
#pragma once

#include <QStringList>
#include <QTextStream>

// Exit codes: 0 every mail written, 1 some mail failed (or the run was cancelled),
// 2 a usage error or nothing to export from.
int RunExportTool(const QStringList& arguments, QTextStream& out, QTextStream& err, bool errIsTerminal);
