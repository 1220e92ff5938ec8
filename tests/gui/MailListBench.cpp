// Times the desktop mail list: from selecting a folder in the tree to the
// status "メールの一覧を読み込みました。", with the window's own load loop (a
// pending-events pass per row). For bench/mail-list-bench.sh; not a test.
//   tidewell-listbench DATAFILE FOLDERPATH
#include "GuiTestSupport.h"

#include "OutlookPst.h"
#include "app/ui/Application.h"
#include "app/ui/Dialogs.h"
#include "automation/InitOle.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

using namespace GuiTest;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SetUpApplication("");
    if (argc < 3) {
        std::fprintf(stderr, "usage: tidewell-listbench DATAFILE FOLDERPATH\n");
        return 2;
    }
    QTemporaryDir work;
    qputenv("TIDEWELL_OUTLOOK_PROFILE", work.filePath(QStringLiteral("profile")).toUtf8());
    TInitOle oleInit;
    OutlookPst::RegisterOutlookApplication();
    SetDialogsAutomatic(true);

    auto form = StartMainWindow(ProgramServices({QString::fromLocal8Bit(argv[1])}));
    QElapsedTimer timer;
    timer.start();
    SelectFolder(*form, QString::fromLocal8Bit(argv[2]));
    const qint64 ms = timer.elapsed();
    const auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    const QString status = form->statusBar()->currentMessage();
    std::printf("%lld ms\t%d rows\t%s\n", static_cast<long long>(ms), list ? list->topLevelItemCount() : -1,
                qPrintable(status));
    return status == QStringLiteral("メールの一覧を読み込みました。") ? 0 : 1;
}
