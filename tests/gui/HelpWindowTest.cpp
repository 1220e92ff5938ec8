// The version dialog and the help window, as the help menu and the dialogs'
// help buttons open them.
#include "GuiTestSupport.h"
#include "app/ui/AboutBox.h"
#include "app/ui/Dialogs.h"
#include "app/ui/HelpWindow.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <gtest/gtest.h>

using namespace GuiTest;

namespace {

class HelpWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto host = std::make_unique<THelpWindowHost>();
        FHost = host.get();
        SetHelpHost(std::move(host));
    }
    void TearDown() override
    {
        if (FHost->Window())
            delete FHost->Window();
        SetHelpHost(nullptr);
        TModal::ClearHandlers();
    }
    THelpWindowHost* FHost = nullptr;
};

} // namespace

TEST_F(HelpWindowTest, VersionCommandShowsANewDialogFromTheProgramsVersionTableEachTime)
{
    auto form = StartMainWindow();
    QList<QPointer<QDialog>> shown;
    for (int use = 0; use < 2; ++use) {
        TModal::PushHandler([&](QDialog& dialog) {
            shown << &dialog;
            auto* box = qobject_cast<TFormAboutBox*>(&dialog);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("バージョン情報"));
            EXPECT_EQ(Find<QLabel>(box, "ProductName")->text(), QStringLiteral("Tidewell"));
            EXPECT_EQ(Find<QLabel>(box, "Version")->text(), QStringLiteral("0.2.7.0"));
            EXPECT_EQ(Find<QLabel>(box, "Copyright")->text(),
                      QStringLiteral("Copyright © 2026 The Tidewell developers"));
            EXPECT_TRUE(Find<QLabel>(box, "URL")->text().startsWith(QStringLiteral("https://")));
            EXPECT_FALSE(Find<QLabel>(box, "ProgramIcon")->pixmap().isNull());
            auto* ok = Find<QPushButton>(box, "OKButton");
            EXPECT_TRUE(ok->isDefault());
            ok->click();
        });
        Find<QAction>(form.get(), "ActionHelpVersion")->trigger();
    }
    ASSERT_EQ(shown.size(), 2);
    // Each use built its own dialog, and each was destroyed when it closed.
    EXPECT_TRUE(shown[0].isNull());
    EXPECT_TRUE(shown[1].isNull());
}

TEST_F(HelpWindowTest, ContextsAndTheContentsOpenTheirPages)
{
    auto form = StartMainWindow();
    Find<QAction>(form.get(), "ActionHelpHelp")->trigger();
    THelpWindow* window = FHost->Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->IsLoaded()) << window->Browser()->toPlainText().toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Browser()->source().toString().endsWith(QStringLiteral("/index.html")));

    const struct {
        int context;
        const char* page;
    } cases[] = {{4, "/export-format.html"}, {5, "/export-conditions.html"}, {178, "/mail-list-error.html"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        ShowHelpContext(form.get(), c.context);
        EXPECT_EQ(FHost->Window(), window); // one help window for the program
        EXPECT_TRUE(window->Browser()->source().toString().endsWith(QLatin1String(c.page)));
        // The page was read from the help file, not left blank.
        EXPECT_GT(window->Browser()->toPlainText().size(), 200);
    }
}

TEST(HelpWindowMissing, AMissingHelpFileIsSaidInTheWindowAndNothingFails)
{
    THelpWindow window(QStringLiteral("/nonexistent/tidewell.qch"));
    EXPECT_FALSE(window.IsLoaded());
    window.ShowContext(4);
    window.ShowContents();
    EXPECT_TRUE(window.Browser()->toPlainText().contains(
        QStringLiteral("ヘルプファイル /nonexistent/tidewell.qch が見つかりません。")));
}
