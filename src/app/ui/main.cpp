// tidewell: the desktop program. Wires the main window to the Outlook stand-in and
// the converter library; the data files named on the command line are opened for
// this run only.
#include "Application.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "MainWindow.h"
#include "OutlookPst.h"
#include "automation/InitOle.h"
#include "runtime/Exception.h"
#include "runtime/Memory.h"
#include "support/Nkf.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    KeepLargeBlocksInHeap();
    QApplication app(argc, argv);
    SetUpApplication(TIDEWELL_VERSION);
    QApplication::setWindowIcon(ProgramIcon());
    SetHelpHost(std::make_unique<THelpWindowHost>());
    TInitOle oleInit; // automation is initialised first, on the main thread
    OutlookPst::RegisterOutlookApplication();

    TMainServices services;
    services.InitConverter = [] { return TNkfSingleton::GetInstance()->GetNkf()->Init(); };
    services.CheckDataFile = &OutlookPst::CheckDataFile;
    services.SetSessionFiles = &OutlookPst::SetSessionStores;
    services.DataFiles = app.arguments().mid(1);

    TFormMain form(services);
    form.show();
    while (true) {
        try {
            return app.exec();
        } catch (const Exception& e) {
            TMessageBox::Error(&form, e.Message());
        } catch (const std::exception& e) {
            TMessageBox::Error(&form, QString::fromLocal8Bit(e.what()));
        }
        if (!form.isVisible())
            return 1;
    }
}
