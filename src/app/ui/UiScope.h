// Scope helpers of the windows: each restores what it changed on every way out of
// its scope, an exception included.
#pragma once

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QWidget>

// Disables a control (or an action) and gives it back its enabled state.
template <typename T>
class TUnenableControl {
public:
    explicit TUnenableControl(T* control) : FControl(control), FEnabled(control->isEnabled())
    {
        control->setEnabled(false);
    }
    ~TUnenableControl()
    {
        if (FControl)
            FControl->setEnabled(FEnabled);
    }
    TUnenableControl(const TUnenableControl&) = delete;
    TUnenableControl& operator=(const TUnenableControl&) = delete;

private:
    QPointer<T> FControl;
    bool FEnabled;
};

// Shows a control and gives it back its visibility.
class TVisibleControl {
public:
    explicit TVisibleControl(QWidget* control) : FControl(control), FVisible(control->isVisible())
    {
        control->setVisible(true);
    }
    ~TVisibleControl()
    {
        if (FControl)
            FControl->setVisible(FVisible);
    }
    TVisibleControl(const TVisibleControl&) = delete;
    TVisibleControl& operator=(const TVisibleControl&) = delete;

private:
    QPointer<QWidget> FControl;
    bool FVisible;
};

// The hourglass cursor for the scope; the window repaints once when it appears.
class TCursorHourGlass {
public:
    TCursorHourGlass()
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::processEvents();
    }
    ~TCursorHourGlass() { QApplication::restoreOverrideCursor(); }
    TCursorHourGlass(const TCursorHourGlass&) = delete;
    TCursorHourGlass& operator=(const TCursorHourGlass&) = delete;
};
