// What an export run needs from whoever drives it: the main window, or the
// command-line exporter.
#pragma once

#include <QString>

class IExportHost {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~IExportHost() = default;

    // The status line.
    virtual void ShowStatus(const QString& text) = 0;
    // The progress display of the folder level being exported.
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressRange(int minimum, int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Lets the window repaint and handle input, such as the cancel command.
    virtual void ProcessPendingEvents() = 0;
    // The cancel flag, set by the cancel command, polled by the run.
    virtual bool GetCancelRequested() const = 0;
    virtual void SetCancelRequested(bool value) = 0;
    // A warning with an OK button.
    virtual void ShowWarning(const QString& message) = 0;
    // The question after a failed mail, with Yes, No and Cancel; only Yes goes on.
    virtual Answer AskYesNoCancel(const QString& message) = 0;
};
