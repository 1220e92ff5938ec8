// The export host of the command line: statuses and failures on stderr, a
// progress bar when stderr is a terminal, answers to the question after a failed
// mail given by an option, and cancel by Ctrl+C or a termination signal.
#pragma once

#include "app/ExportHost.h"

#include <QTextStream>

class TConsoleHost : public IExportHost {
public:
    TConsoleHost(QTextStream& err, bool terminal, Answer answerAfterError);

    void ShowStatus(const QString& text) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void ProcessPendingEvents() override {}
    bool GetCancelRequested() const override;
    void SetCancelRequested(bool value) override;
    void ShowWarning(const QString& message) override;
    Answer AskYesNoCancel(const QString& message) override;

    // Makes Ctrl+C, SIGTERM and SIGHUP cancel the export: the current mail is
    // finished or rolled back and the run ends as cancelled. A second such signal
    // ends the process at once, removing the temporary files of the mail in hand.
    static void InstallInterruptHandler();

    // A line of its own on stderr, clearing the progress bar first.
    void PrintLine(const QString& text);

private:
    void DrawBar();
    void ClearBar();

    QTextStream& FErr;
    bool FTerminal;
    Answer FAnswer;
    bool FBarShown = false;
    bool FBarVisible = false;
    int FMaximum = 0;
    int FPosition = 0;
    QString FFolder;
};
