// tidewell-export: the command-line exporter.
#include "ExportCli.h"
#include "OutlookPst.h"
#include "automation/InitOle.h"
#include "runtime/DateTime.h"
#include "runtime/Memory.h"

#include <QCoreApplication>
#include <unistd.h>

int main(int argc, char** argv)
{
    KeepLargeBlocksInHeap();
    ReadLocalTimeZoneOnce();
    QCoreApplication app(argc, argv);
    TInitOle oleInit; // automation is initialised first, on the main thread
    OutlookPst::RegisterOutlookApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const int code = RunExportTool(app.arguments().mid(1), out, err, isatty(STDERR_FILENO) == 1);
    out.flush();
    err.flush();
    return code;
}
