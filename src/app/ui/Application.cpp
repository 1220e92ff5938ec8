#include "Application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

void SetUpApplication(const char* version)
{
    QApplication::setApplicationName(QStringLiteral("Tidewell"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tidewell"));
    QApplication::setApplicationVersion(QString::fromLatin1(version));
    QApplication::setDesktopFileName(QStringLiteral("tidewell"));
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    else
        delete translator;
}
