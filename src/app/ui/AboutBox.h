// The version dialog: the program's name, its file version and copyright from
// its own version table, and the project's web address.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TFormAboutBox : public QDialog {
    Q_OBJECT
public:
    // Raises Exception("バージョン情報を取得できません") when the program's
    // version table cannot be read; the dialog is then not built.
    explicit TFormAboutBox(QWidget* owner);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* URL = nullptr;
    QPushButton* OKButton = nullptr;

    // Opens the URL label's address with the desktop's handler; the result is
    // ignored, as a missing browser is nothing the user asked to hear about.
    void URLClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
