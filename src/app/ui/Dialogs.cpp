#include "Dialogs.h"

#include "Help.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <deque>

namespace {

bool gAutomatic = false;
std::deque<TMessageBox::Button> gAnswers;
std::vector<TMessageBox::Shown> gHistory;
std::deque<QStringList> gFileNames;
std::vector<TFileDialog::Request> gRequests;
std::deque<TModal::Handler> gHandlers;

// The answer a box gives when it is closed without a choice.
TMessageBox::Button EscapeAnswer(TMessageBox::Buttons buttons)
{
    if (buttons & QMessageBox::Cancel)
        return QMessageBox::Cancel;
    if (buttons & QMessageBox::No)
        return QMessageBox::No;
    return QMessageBox::Ok;
}

QString Caption(TMessageBox::Kind kind)
{
    switch (kind) {
    case TMessageBox::Kind::Warning:
        return QStringLiteral("警告");
    case TMessageBox::Kind::Information:
        return QStringLiteral("情報");
    case TMessageBox::Kind::Confirmation:
        return QStringLiteral("確認");
    case TMessageBox::Kind::Error:
        return QStringLiteral("エラー");
    }
    return QString();
}

QMessageBox::Icon BoxIcon(TMessageBox::Kind kind)
{
    switch (kind) {
    case TMessageBox::Kind::Warning:
        return QMessageBox::Warning;
    case TMessageBox::Kind::Information:
        return QMessageBox::Information;
    case TMessageBox::Kind::Confirmation:
        return QMessageBox::Question;
    case TMessageBox::Kind::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Takes the test's next answer for a file dialog, if there is one.
bool NextFileNames(QStringList& names)
{
    if (gFileNames.empty()) {
        names.clear();
        return gAutomatic;
    }
    names = gFileNames.front();
    gFileNames.pop_front();
    return true;
}

} // namespace

void SetDialogsAutomatic(bool automatic) { gAutomatic = automatic; }
bool DialogsAutomatic() { return gAutomatic; }

TMessageBox::Button TMessageBox::Show(QWidget* parent, Kind kind, const QString& text,
                                      Buttons buttons, int helpContext)
{
    gHistory.push_back({kind, text, buttons, helpContext});
    if (!gAnswers.empty()) {
        const Button answer = gAnswers.front();
        gAnswers.pop_front();
        if (answer == QMessageBox::Help)
            ShowHelpContext(parent, helpContext);
        return answer == QMessageBox::Help ? EscapeAnswer(buttons) : answer;
    }
    if (gAutomatic)
        return EscapeAnswer(buttons);

    QMessageBox box(BoxIcon(kind), Caption(kind), text, buttons, parent);
    if (helpContext != 0)
        box.addButton(QMessageBox::Help);
    if (buttons & QMessageBox::Yes)
        box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(box.button(EscapeAnswer(buttons)));
    while (true) {
        box.exec();
        QAbstractButton* clicked = box.clickedButton();
        const Button answer = clicked ? box.standardButton(clicked) : EscapeAnswer(buttons);
        if (answer != QMessageBox::Help)
            return answer == QMessageBox::NoButton ? EscapeAnswer(buttons) : answer;
        // Help shows its page and the question stays.
        ShowHelpContext(parent, helpContext);
    }
}

void TMessageBox::SetNextAnswer(Button answer) { gAnswers.push_back(answer); }
const std::vector<TMessageBox::Shown>& TMessageBox::History() { return gHistory; }
void TMessageBox::ClearHistory()
{
    gHistory.clear();
    gAnswers.clear();
}

QString TFileDialog::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt takes the patterns from the last parentheses of a description.
        out << (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))
                    ? description
                    : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

QString TFileDialog::GetSaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                     const QString& defaultSuffix)
{
    gRequests.push_back({title, filter, defaultSuffix, QString()});
    QStringList names;
    if (NextFileNames(names))
        return names.value(0);
    QFileDialog dialog(parent, title, QString(), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QString suffix = defaultSuffix;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (TModal::Exec(dialog) != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QStringList TFileDialog::GetOpenFileNames(QWidget* parent, const QString& title,
                                          const QString& filter)
{
    gRequests.push_back({title, filter, QString(), QString()});
    QStringList names;
    if (NextFileNames(names))
        return names;
    QFileDialog dialog(parent, title, QString(), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (TModal::Exec(dialog) != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString TFileDialog::GetExistingDirectory(QWidget* parent, const QString& title, const QString& dir)
{
    gRequests.push_back({title, QString(), QString(), dir});
    QStringList names;
    if (NextFileNames(names))
        return names.value(0);
    QFileDialog dialog(parent, title, dir);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (TModal::Exec(dialog) != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

void TFileDialog::SetNextFileName(const QString& name) { gFileNames.push_back({name}); }
void TFileDialog::SetNextFileNames(const QStringList& names) { gFileNames.push_back(names); }
const std::vector<TFileDialog::Request>& TFileDialog::Requests() { return gRequests; }
void TFileDialog::ClearRequests()
{
    gRequests.clear();
    gFileNames.clear();
}

int TModal::Exec(QDialog& dialog)
{
    if (!gHandlers.empty()) {
        Handler handler = std::move(gHandlers.front());
        gHandlers.pop_front();
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        QApplication::processEvents();
        handler(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
    if (gAutomatic)
        return QDialog::Rejected;
    return dialog.exec();
}

void TModal::PushHandler(Handler handler) { gHandlers.push_back(std::move(handler)); }
bool TModal::HasHandler() { return !gHandlers.empty(); }
void TModal::ClearHandlers() { gHandlers.clear(); }
