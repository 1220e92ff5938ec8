// Entry point of the window tests: an offscreen application, the Outlook stand-in
// registered, a profile of the tests' own, and no dialog that waits for a person.
#include "OutlookPst.h"
#include "app/ui/Dialogs.h"
#include "automation/InitOle.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir profileDir;
    qputenv("TIDEWELL_OUTLOOK_PROFILE", profileDir.filePath(QStringLiteral("profile")).toUtf8());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewell"));
    TInitOle oleInit;
    OutlookPst::RegisterOutlookApplication();
    SetDialogsAutomatic(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
