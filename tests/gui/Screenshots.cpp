// Takes pictures of the windows on the sample data file for tools/screenshots.sh:
// the main window with a folder listed and a mail previewed, both export dialogs,
// the folder-browse dialog, the error window, the version dialog and the help window.
#include "GuiTestSupport.h"

#include "OutlookPst.h"
#include "app/ui/Application.h"
#include "app/ui/Dialogs.h"
#include "app/ui/AboutBox.h"
#include "app/ui/ErrorMailListWindow.h"
#include "app/HelpFile.h"
#include "app/ui/HelpWindow.h"
#include "automation/InitOle.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

using namespace GuiTest;

namespace {

QString gOut;

void Save(QWidget* widget, const char* name)
{
    QApplication::processEvents();
    const QString path = gOut + QLatin1Char('/') + QLatin1String(name);
    if (!widget->grab().save(path))
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SetUpApplication("");
    if (argc < 2) {
        std::fprintf(stderr, "usage: tidewell-screenshots OUTDIR\n");
        return 2;
    }
    gOut = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(gOut);
    QTemporaryDir work;
    qputenv("TIDEWELL_OUTLOOK_PROFILE", work.filePath(QStringLiteral("profile")).toUtf8());
    TInitOle oleInit;
    OutlookPst::RegisterOutlookApplication();

    auto form = StartMainWindow(ProgramServices({SamplePath()}));
    SelectFolder(*form, QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)\\Personal"));
    auto* list = Find<QTreeWidget>(form.get(), "ListViewMail");
    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    ClickRow(list, 3);
    Save(form.get(), "main-window.png");

    // An export of the listed folder where two mails fail: folders stand in the
    // way of their files.
    const QString out = work.filePath(QStringLiteral("export"));
    QDir().mkpath(out + QStringLiteral("/2.eml"));
    QDir().mkpath(out + QStringLiteral("/5.eml"));
    TModal::PushHandler([](QDialog& dialog) {
        Find<QRadioButton>(&dialog, "RadioType3")->click();
        Save(&dialog, "export-type.png");
        Find<QPushButton>(&dialog, "BtnOk")->click();
    });
    TModal::PushHandler([&](QDialog& dialog) {
        QApplication::processEvents();
        Find<QLineEdit>(&dialog, "LabeledEditEmlDir")->setText(out);
        TModal::PushHandler([](QDialog& browse) {
            browse.resize(640, 420);
            Save(&browse, "folder-browse.png");
        });
        Find<QPushButton>(&dialog, "BtnEmlSelectDir")->click();
        Save(&dialog, "export-conditions.png");
        Find<QPushButton>(&dialog, "BtnOk")->click();
    });
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    Find<QAction>(form.get(), "ActionFolderExportSelected")->trigger();
    WaitFor([&] { return !form->IsBusy(); });
    TFormErrorMailList* window = nullptr;
    WaitFor([&] {
        window = form->findChild<TFormErrorMailList*>();
        return window && window->IsFilled();
    });
    if (!window) {
        std::fprintf(stderr, "no error window\n");
        return 1;
    }
    Save(window, "error-window.png");
    window->close();

    {
        TFormAboutBox about(form.get());
        about.show();
        Save(&about, "about.png");
    }
    {
        THelpWindow help(HelpFilePath());
        help.show();
        help.ShowContext(5);
        WaitFor([&] { return false; }, 500); // the contents tree is built in the background
        Save(&help, "help-window.png");
    }
    form->close();
    return 0;
}
