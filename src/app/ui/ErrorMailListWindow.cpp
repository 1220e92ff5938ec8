#include "ErrorMailListWindow.h"

#include "Dialogs.h"
#include "UiScope.h"
#include "runtime/Exception.h"

#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

TFormErrorMailList::TFormErrorMailList(QWidget* owner, std::vector<TErrorMail> records,
                                       TOutlook* session)
    : QMainWindow(owner), FRecords(std::move(records)), FSession(session)
{
    setObjectName(QStringLiteral("FormErrorMailList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("エラーメール"));

    ActionFileSaveToCsv = new QAction(QStringLiteral("CSVファイルに保存(&C)"), this);
    ActionFileSaveToCsv->setObjectName(QStringLiteral("ActionFileSaveToCsv"));
    ActionFileSaveToCsv->setStatusTip(QStringLiteral("エラーメールの一覧をCSVファイルに保存します。"));
    connect(ActionFileSaveToCsv, &QAction::triggered, this, [this] {
        try {
            ActionFileSaveToCsvExecute();
        } catch (const Exception& e) {
            TMessageBox::Error(this, e.Message());
        }
    });
    menuBar()->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    menuBar()->addAction(ActionFileSaveToCsv);

    ListViewMail = new QTreeWidget(this);
    ListViewMail->setObjectName(QStringLiteral("ListViewMail"));
    ListViewMail->setColumnCount(static_cast<int>(ErrorListColumns().size()));
    ListViewMail->setHeaderLabels(ErrorListColumns());
    ListViewMail->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    ListViewMail->setRootIsDecorated(false);
    ListViewMail->setUniformRowHeights(true);
    ListViewMail->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewMail->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewMail->header()->setSectionsClickable(false);
    ListViewMail->header()->setStretchLastSection(false);
    const double scale = std::max(1.0, fontMetrics().height() / 13.0);
    const int widths[] = {260, 50, 130, 160, 140, 360};
    for (int column = 0; column < 6; ++column)
        ListViewMail->setColumnWidth(column, static_cast<int>(widths[column] * scale));
    setCentralWidget(ListViewMail);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    // Wide enough for every column.
    resize(static_cast<int>(960 * scale), static_cast<int>(306 * scale));
    if (owner)
        move(owner->geometry().center() - rect().center());
}

void TFormErrorMailList::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FFillQueued) {
        FFillQueued = true;
        QTimer::singleShot(0, this, &TFormErrorMailList::FillList);
    }
}

void TFormErrorMailList::FillList()
{
    TCursorHourGlass cursor;
    ListViewMail->setUpdatesEnabled(false);
    const std::vector<QStringList> rows =
        FSession ? FillErrorRows(*FSession, FRecords) : std::vector<QStringList>();
    for (std::size_t i = 0; i < FRecords.size(); ++i) {
        QStringList cells = i < rows.size() ? rows[i] : QStringList{FRecords[i].FolderPath};
        if (i >= rows.size() && FRecords[i].Index >= 0)
            cells << QString::number(FRecords[i].Index + 1) << QString() << QString() << QString()
                  << FRecords[i].Message;
        auto* row = new QTreeWidgetItem(ListViewMail, cells);
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    FRecords.clear();
    ListViewMail->setUpdatesEnabled(true);
    FFilled = true;
}

void TFormErrorMailList::ActionFileSaveToCsvExecute()
{
    const QString fileName = TFileDialog::GetSaveFileName(
        this, QStringLiteral("CSVファイルに保存"),
        QStringLiteral("CSVファイル(*.CSV)|*.CSV|すべてのファイル(*.*)|*.*"), QStringLiteral(".CSV"));
    if (fileName.isEmpty())
        return;
    TCursorHourGlass cursor;
    QStringList header;
    for (int column = 0; column < ListViewMail->columnCount(); ++column)
        header << ListViewMail->headerItem()->text(column);
    std::vector<QStringList> rows;
    for (int i = 0; i < ListViewMail->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListViewMail->topLevelItem(i);
        QStringList cells;
        for (int column = 0; column < ListViewMail->columnCount(); ++column)
            cells << item->text(column);
        rows.push_back(cells);
    }
    WriteCsvFile(fileName, header, rows);
    statusBar()->showMessage(QStringLiteral("CSVファイルに保存しました。"));
}
