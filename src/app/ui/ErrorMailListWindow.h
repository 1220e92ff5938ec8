// The window that lists the mails an export could not write, with a CSV save.
#pragma once

#include "app/ErrorMail.h"

#include <QMainWindow>
#include <vector>

class QAction;
class QTreeWidget;
class TOutlook;

class TFormErrorMailList : public QMainWindow {
    Q_OBJECT
public:
    // Not modal; destroys itself when closed. The list is filled right after the
    // window first appears.
    TFormErrorMailList(QWidget* owner, std::vector<TErrorMail> records, TOutlook* session);

    // Whether the list has been filled.
    bool IsFilled() const { return FFilled; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillList();
    void ActionFileSaveToCsvExecute();

    std::vector<TErrorMail> FRecords;
    TOutlook* FSession;
    QTreeWidget* ListViewMail = nullptr;
    QAction* ActionFileSaveToCsv = nullptr;
    bool FFillQueued = false;
    bool FFilled = false;
};
