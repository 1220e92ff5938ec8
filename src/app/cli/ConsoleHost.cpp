#include "ConsoleHost.h"

#include "runtime/TempRegistry.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// The cancel flag as the export run sets and clears it, and the stop signals
// received, which no reset of the flag undoes.
std::atomic<bool> gCancel{false};
std::atomic<int> gStopSignals{0};

extern "C" void OnStopSignal(int signal)
{
    if (gStopSignals.fetch_add(1) > 0) {
        // Asked a second time: stop now, but leave no temporary files behind.
        TempRegistry::RemoveAll();
        _exit(128 + signal);
    }
}

constexpr int kBarWidth = 30;

} // namespace

TConsoleHost::TConsoleHost(QTextStream& err, bool terminal, Answer answerAfterError)
    : FErr(err), FTerminal(terminal), FAnswer(answerAfterError)
{
}

void TConsoleHost::InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool TConsoleHost::GetCancelRequested() const
{
    return gCancel.load() || gStopSignals.load() > 0;
}
void TConsoleHost::SetCancelRequested(bool value)
{
    gCancel.store(value);
}

void TConsoleHost::ClearBar()
{
    if (FBarShown) {
        FErr << "\r\x1b[K";
        FBarShown = false;
    }
}

void TConsoleHost::DrawBar()
{
    if (!FTerminal || !FBarVisible)
        return;
    const int filled = FMaximum > 0 ? FPosition * kBarWidth / FMaximum : kBarWidth;
    FErr << "\r\x1b[K[" << QString(filled, QLatin1Char('#'))
         << QString(kBarWidth - filled, QLatin1Char('.')) << "] " << FPosition << '/' << FMaximum;
    FErr.flush();
    FBarShown = true;
}

void TConsoleHost::PrintLine(const QString& text)
{
    ClearBar();
    FErr << text << '\n';
    FErr.flush();
    DrawBar();
}

void TConsoleHost::ShowStatus(const QString& text)
{
    PrintLine(text);
}

void TConsoleHost::SetProgressVisible(bool visible)
{
    FBarVisible = visible;
    if (!visible)
        ClearBar();
}

void TConsoleHost::SetProgressRange(int, int maximum)
{
    FMaximum = maximum;
    FPosition = 0;
    DrawBar();
}

void TConsoleHost::SetProgressPosition(int position)
{
    FPosition = position;
    DrawBar();
}

void TConsoleHost::ShowWarning(const QString& message)
{
    PrintLine(message);
}

IExportHost::Answer TConsoleHost::AskYesNoCancel(const QString& message)
{
    // The question's last line asks whether to go on; the option has answered it.
    QString text = message;
    const qsizetype lastBreak = text.lastIndexOf(QLatin1Char('\n'));
    if (lastBreak > 0)
        text.truncate(lastBreak);
    PrintLine(text.replace(QLatin1Char('\n'), QLatin1Char(' ')));
    return FAnswer;
}
