// Helpers of the window tests: starting the main window on data files, finding
// controls by name, waiting for the window's loops.
#pragma once

#include "app/ui/MainWindow.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAbstractButton;
class QTreeView;
class QTreeWidget;

namespace GuiTest {

QString SamplePath();
QString OstPath();

// Services as the program wires them, with the data files given.
TMainServices ProgramServices(const QStringList& dataFiles = {});

// A fresh session over these data files (none: the profile's), as a new start of
// the program would have.
void ResetSession(const QStringList& stores);

// Processes events until the condition holds or the time runs out.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000);

// Shows a main window and waits until its start-up has run.
std::unique_ptr<TFormMain> StartMainWindow(TMainServices services = ProgramServices());

template <typename T>
T* Find(const QObject* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

// Selects the tree's folder at the path, as a click does, and waits for its list.
void SelectFolder(TFormMain& form, const QString& path);
// Clicks a row of a list.
void ClickRow(QTreeWidget* list, int row);
QStringList Texts(const QTreeWidget* list, int column);

} // namespace GuiTest
