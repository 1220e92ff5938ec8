// The commands of tidewell-outlook.
#pragma once

#include <QStringList>
#include <QTextStream>

// Runs one command line (without the program name); returns the exit code.
int RunOutlookTool(const QStringList& args, QTextStream& out, QTextStream& err);
