// Message boxes, file dialogs and modal windows of the program, each behind one
// function, so that tests can give the answers and never block on a modal window.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

// When automatic, no message box, file dialog or modal window is shown: each takes
// the next answer given by a test, or is cancelled when none was given.
void SetDialogsAutomatic(bool automatic);
bool DialogsAutomatic();

class TMessageBox {
public:
    enum class Kind { Warning, Information, Confirmation, Error };
    using Button = QMessageBox::StandardButton;
    using Buttons = QMessageBox::StandardButtons;

    struct Shown {
        Kind BoxKind;
        QString Text;
        Buttons BoxButtons;
        int HelpContext;
    };

    // Shows the box and returns the button chosen; closing the box gives its Cancel
    // or No button. With a help context the box has a Help button that shows that
    // help and leaves the box open.
    static Button Show(QWidget* parent, Kind kind, const QString& text, Buttons buttons,
                       int helpContext = 0);

    static void Warning(QWidget* parent, const QString& text, int helpContext = 0)
    {
        Show(parent, Kind::Warning, text, QMessageBox::Ok, helpContext);
    }
    static void Information(QWidget* parent, const QString& text)
    {
        Show(parent, Kind::Information, text, QMessageBox::Ok);
    }
    static void Error(QWidget* parent, const QString& text)
    {
        Show(parent, Kind::Error, text, QMessageBox::Ok);
    }
    // Yes, No and Cancel.
    static Button Ask(QWidget* parent, Kind kind, const QString& text)
    {
        return Show(parent, kind, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    }

    // Tests: the answer of the next box, in order; and every box shown so far.
    static void SetNextAnswer(Button answer);
    static const std::vector<Shown>& History();
    static void ClearHistory();
};

class TFileDialog {
public:
    // Filters are written as description|pattern pairs joined by "|", for example
    // "テキスト形式(.txt)|*.txt".
    // The name to save to, or empty when cancelled; asks before replacing a file.
    static QString GetSaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& defaultSuffix);
    // The files to open, or none when cancelled.
    static QStringList GetOpenFileNames(QWidget* parent, const QString& title,
                                        const QString& filter);
    // A folder, or empty when cancelled; starts in dir when it is not empty.
    static QString GetExistingDirectory(QWidget* parent, const QString& title, const QString& dir);

    // A filter in the description|pattern form as Qt writes it.
    static QString QtFilter(const QString& filter);

    struct Request {
        QString Title;
        QString Filter;
        QString DefaultSuffix;
        QString Dir;
    };
    // Tests: the answer of the next dialog (a list for an open dialog), and the
    // dialogs asked for so far.
    static void SetNextFileName(const QString& name);
    static void SetNextFileNames(const QStringList& names);
    static const std::vector<Request>& Requests();
    static void ClearRequests();
};

class TModal {
public:
    using Handler = std::function<void(QDialog&)>;
    // Runs the dialog modally and returns its result. When a test has given a
    // handler, the dialog is shown and the handler drives it instead (a dialog it
    // leaves open counts as cancelled).
    static int Exec(QDialog& dialog);
    static void PushHandler(Handler handler);
    static bool HasHandler();
    static void ClearHandlers();
};
