#include "Help.h"

#include "Dialogs.h"

#include <QCoreApplication>

namespace {

// Until help pages are installed, every request says so.
class TNoHelpHost : public IHelpHost {
public:
    void ShowContext(QWidget* parent, int context) override
    {
        TMessageBox::Information(
            parent, QStringLiteral("ヘルプがインストールされていません。\n(ヘルプ番号 %1)").arg(context));
    }
    void ShowContents(QWidget* parent) override
    {
        TMessageBox::Information(parent, QStringLiteral("ヘルプがインストールされていません。"));
    }
    void ShowAboutBox(QWidget* parent) override
    {
        TMessageBox::Information(parent, QStringLiteral("%1\nバージョン %2")
                                             .arg(QCoreApplication::applicationName(),
                                                  QCoreApplication::applicationVersion()));
    }
};

std::unique_ptr<IHelpHost>& Host()
{
    static std::unique_ptr<IHelpHost> host = std::make_unique<TNoHelpHost>();
    return host;
}

} // namespace

void SetHelpHost(std::unique_ptr<IHelpHost> host)
{
    Host() = host ? std::move(host) : std::make_unique<TNoHelpHost>();
}

IHelpHost& GetHelpHost() { return *Host(); }
