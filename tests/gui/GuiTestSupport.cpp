#include "GuiTestSupport.h"

#include "OutlookPst.h"
#include "app/ui/FolderTreeModel.h"
#include "automation/ComObj.h"
#include "outlook/Outlook.h"
#include "support/Nkf.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTreeView>
#include <QTreeWidget>

namespace GuiTest {

QString SamplePath() { return QStringLiteral(TIDEWELL_SOURCE_DIR "/data/enron.pst"); }
QString OstPath()
{
    return QStringLiteral(TIDEWELL_SOURCE_DIR "/data/pstextractortest@outlook.com.ost");
}

TMainServices ProgramServices(const QStringList& dataFiles)
{
    TMainServices services;
    services.InitConverter = [] { return TNkfSingleton::GetInstance()->GetNkf()->Init(); };
    services.CheckDataFile = &OutlookPst::CheckDataFile;
    services.SetSessionFiles = &OutlookPst::SetSessionStores;
    services.DataFiles = dataFiles;
    return services;
}

void ResetSession(const QStringList& stores)
{
    TOutlookSingleton::ReleaseInstance();
    Automation::ClearRunningObjects();
    OutlookPst::SetSessionStores(stores);
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::unique_ptr<TFormMain> StartMainWindow(TMainServices services)
{
    auto form = std::make_unique<TFormMain>(std::move(services));
    form->show();
    QApplication::setActiveWindow(form.get());
    WaitFor([&] { return form->IsStarted() && !form->IsBusy(); });
    return form;
}

void SelectFolder(TFormMain& form, const QString& path)
{
    auto* tree = Find<QTreeView>(&form, "TreeViewFolder");
    auto* model = static_cast<TFolderTreeModel*>(tree->model());
    std::function<QModelIndex(const QModelIndex&)> search = [&](const QModelIndex& parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (GetFolderPath(model->NodeAt(index)) == path)
                return index;
            if (const QModelIndex found = search(index); found.isValid())
                return found;
        }
        return QModelIndex();
    };
    const QModelIndex index = search(QModelIndex());
    if (!index.isValid())
        throw std::runtime_error("no folder " + path.toStdString());
    tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    WaitFor([&] { return !form.IsBusy(); });
}

void ClickRow(QTreeWidget* list, int row)
{
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->setCurrentItem(item);
    const QPoint at = list->visualItemRect(item).center();
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
}

QStringList Texts(const QTreeWidget* list, int column)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(column);
    return texts;
}

} // namespace GuiTest
