// tidewell-outlook: the Outlook stand-in's profile and inspection tool.
#include "Commands.h"
#include "OutlookPst.h"
#include "automation/InitOle.h"
#include "runtime/Memory.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    KeepLargeBlocksInHeap();
    QCoreApplication app(argc, argv);
    TInitOle oleInit;
    OutlookPst::RegisterOutlookApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const int code = RunOutlookTool(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return code;
}
