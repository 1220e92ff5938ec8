#include "HelpWindow.h"

#include "AboutBox.h"
#include "Dialogs.h"
#include "Icons.h"
#include "app/HelpFile.h"
#include "runtime/Exception.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpLink>
#include <QSplitter>
#include <QTextBrowser>

#include <memory>

namespace {

// A browser that reads qthelp:// pages and their images from the help file,
// and hands web addresses to the desktop.
class THelpBrowser : public QTextBrowser {
public:
    THelpBrowser(QHelpEngine* engine, QWidget* parent) : QTextBrowser(parent), FEngine(engine)
    {
        setOpenExternalLinks(true);
    }

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (name.scheme() == QLatin1String("qthelp"))
            return FEngine->fileData(name);
        return QTextBrowser::loadResource(type, name);
    }

private:
    QHelpEngine* FEngine;
};

} // namespace

THelpWindow::THelpWindow(const QString& helpFile, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tidewell ヘルプ"));
    setWindowIcon(ProgramIcon());
    resize(fontMetrics().averageCharWidth() * 150, fontMetrics().height() * 44);

    // The engine keeps its index in a collection file of its own, made fresh
    // for this window, so that nothing stale from another version is shown.
    FEngine = new QHelpEngine(FCollectionDir.filePath(QStringLiteral("tidewell.qhc")), this);
    FEngine->setReadOnly(false); // the collection file is created and written here
    FBrowser = new THelpBrowser(FEngine, this);
    FBrowser->setObjectName(QStringLiteral("HelpBrowser"));

    auto* splitter = new QSplitter(this);
    auto* contents = FEngine->contentWidget();
    contents->setObjectName(QStringLiteral("HelpContents"));
    contents->setHeaderHidden(true);
    splitter->addWidget(contents);
    splitter->addWidget(FBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({width() * 3 / 10, width() * 7 / 10});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(contents, &QHelpContentWidget::linkActivated, this, &THelpWindow::ShowUrl);
    connect(FEngine->contentModel(), &QHelpContentModel::contentsCreated, contents,
            [this, contents] {
                contents->expandToDepth(0);
                SelectInContents();
            });

    if (!QFileInfo(helpFile).isFile()) {
        ShowMissing(QStringLiteral("ヘルプファイル %1 が見つかりません。").arg(helpFile));
        return;
    }
    if (!FCollectionDir.isValid() || !FEngine->setupData()
        || !FEngine->registerDocumentation(helpFile)) {
        ShowMissing(QStringLiteral("ヘルプファイル %1 を読めません。%2").arg(helpFile, FEngine->error()));
        return;
    }
    FNamespace = QHelpEngineCore::namespaceName(helpFile);
    FLoaded = !FNamespace.isEmpty();
    if (!FLoaded)
        ShowMissing(QStringLiteral("ヘルプファイル %1 を読めません。").arg(helpFile));
}

void THelpWindow::ShowMissing(const QString& reason)
{
    FBrowser->setHtml(QStringLiteral("<h2>ヘルプを表示できません</h2><p>%1</p>"
                                     "<p>Tidewell をインストールし直すと、ヘルプファイルも入ります。</p>")
                          .arg(reason.toHtmlEscaped()));
}

void THelpWindow::ShowContext(int context)
{
    if (!FLoaded)
        return;
    const QList<QHelpLink> links = FEngine->documentsForIdentifier(QStringLiteral("context-%1").arg(context));
    if (!links.isEmpty()) {
        ShowUrl(links.first().url);
        return;
    }
    ShowUrl(QUrl(QStringLiteral("qthelp://%1/doc/%2").arg(FNamespace, HelpPageForContext(context))));
}

void THelpWindow::ShowContents()
{
    if (FLoaded)
        ShowUrl(QUrl(QStringLiteral("qthelp://%1/doc/index.html").arg(FNamespace)));
}

void THelpWindow::ShowUrl(const QUrl& url)
{
    FBrowser->setSource(url);
    SelectInContents();
}

void THelpWindow::SelectInContents()
{
    // The contents tree is built in the background: until it is there, the
    // page is selected when it arrives.
    QUrl page = FBrowser->source();
    page.setFragment(QString());
    const QModelIndex index = FEngine->contentWidget()->indexOf(page);
    if (index.isValid())
        FEngine->contentWidget()->setCurrentIndex(index);
}

THelpWindow* THelpWindowHost::OpenWindow()
{
    if (!FWindow) {
        FWindow = new THelpWindow(HelpFilePath());
        FWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
    return FWindow;
}

void THelpWindowHost::ShowContext(QWidget*, int context)
{
    OpenWindow()->ShowContext(context);
}

void THelpWindowHost::ShowContents(QWidget*)
{
    OpenWindow()->ShowContents();
}

void THelpWindowHost::ShowAboutBox(QWidget* parent)
{
    // A new dialog for every use, destroyed on every way out; a table that
    // cannot be read is reported and the program goes on.
    std::unique_ptr<TFormAboutBox> box;
    try {
        box = std::make_unique<TFormAboutBox>(parent);
    } catch (const Exception& e) {
        TMessageBox::Error(parent, e.Message());
        return;
    }
    TModal::Exec(*box);
}
