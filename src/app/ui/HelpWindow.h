// The help window: the compiled help file's contents beside its pages, and
// the help host that opens it for the windows' help requests.
#pragma once

#include "Help.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

class QHelpEngine;
class QTextBrowser;
class QUrl;

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(const QString& helpFile, QWidget* parent = nullptr);

    // False when the help file is missing or cannot be read; the window then
    // says so in its page area.
    bool IsLoaded() const { return FLoaded; }
    // Shows the page of a help context (4, 5, 178), or the contents page.
    void ShowContext(int context);
    void ShowContents();
    QTextBrowser* Browser() const { return FBrowser; }

private:
    void ShowUrl(const QUrl& url);
    void SelectInContents();
    void ShowMissing(const QString& reason);

    QTemporaryDir FCollectionDir;
    QHelpEngine* FEngine = nullptr;
    QTextBrowser* FBrowser = nullptr;
    QString FNamespace;
    bool FLoaded = false;
};

// Opens the help window (one for the program) and the version dialog.
class THelpWindowHost : public IHelpHost {
public:
    void ShowContext(QWidget* parent, int context) override;
    void ShowContents(QWidget* parent) override;
    void ShowAboutBox(QWidget* parent) override;
    THelpWindow* Window() const { return FWindow; }

private:
    THelpWindow* OpenWindow();
    QPointer<THelpWindow> FWindow;
};
