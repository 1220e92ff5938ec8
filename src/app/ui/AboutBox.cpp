#include "AboutBox.h"

#include "Icons.h"
#include "app/AppInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace {

// The project's web page, set by the build from the project's home page.
const QString kProjectUrl = QStringLiteral(TIDEWELL_HOMEPAGE_URL);

} // namespace

TFormAboutBox::TFormAboutBox(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FormAboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setModal(true);

    // The layout is the dialog's fixed design, grown with the font so that
    // Japanese text is never clipped by a font wider than the design's.
    const QFontMetrics fm(font());
    const double k = std::max(1.0, fm.height() / 14.0);
    auto s = [k](int v) { return int(v * k + 0.5); };
    setFixedSize(s(368), s(195));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setGeometry(s(8), s(8), s(352), s(129));

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(s(8), s(8), s(65), s(57));
    icon->setPixmap(ProgramIcon().pixmap(QSize(s(57), s(57))));
    icon->setAlignment(Qt::AlignCenter);

    ProductName = new QLabel(QStringLiteral("プロダクト名"), panel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setGeometry(s(88), s(16), s(250), fm.height() + 4);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);

    Version = new QLabel(QStringLiteral("バージョン番号"), panel);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(s(88), s(40), s(250), fm.height() + 4);

    Copyright = new QLabel(QStringLiteral("Copyright"), panel);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setWordWrap(true);
    Copyright->setGeometry(s(88), s(64), s(254), 2 * fm.height() + 4);

    URL = new QLabel(kProjectUrl, panel);
    URL->setObjectName(QStringLiteral("URL"));
    URL->setAlignment(Qt::AlignRight | Qt::AlignTop);
    URL->setWordWrap(true);
    URL->setGeometry(s(59), s(88) + fm.height() / 2, s(283), 2 * fm.height());
    URL->setCursor(Qt::PointingHandCursor);
    QFont underlined = URL->font();
    underlined.setUnderline(true);
    URL->setFont(underlined);
    QPalette link = URL->palette();
    link.setColor(QPalette::WindowText, palette().color(QPalette::Link));
    URL->setPalette(link);
    URL->installEventFilter(this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(s(263), s(154), s(75), s(25));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    // The version table is read for every dialog; an error ends the
    // construction and goes to the caller.
    const TkAppInfo info;
    ProductName->setText(QApplication::applicationDisplayName());
    Version->setText(info.GetValue(3));
    Copyright->setText(QStringLiteral("Copyright ") + info.GetValue(5));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormAboutBox::URLClick()
{
    (void)QDesktopServices::openUrl(QUrl(URL->text()));
}

bool TFormAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == URL && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        URLClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
