#include "ExportSelectTarget.h"

#include "FrameExportEml.h"
#include "app/ui/Help.h"
#include "export/ExportConf.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QVBoxLayout>

TFormExportSelectTarget::TFormExportSelectTarget(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FormExportSelectTarget"));
    setWindowTitle(QStringLiteral("エクスポート条件設定"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    FrameExportEml = new TFrameExportEml(this);
    layout->addWidget(FrameExportEml, 1);

    auto* panel = new QHBoxLayout;
    auto* help = new QPushButton(QStringLiteral("ヘルプ(&H)"), this);
    help->setObjectName(QStringLiteral("BitBtn1"));
    help->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BtnOk"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("BitBtn3"));
    cancel->setAutoDefault(false);
    panel->addWidget(help);
    panel->addStretch(1);
    panel->addWidget(ok);
    panel->addWidget(cancel);
    layout->addLayout(panel);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelpContext(this, hcExportSelectTarget); });
    connect(ok, &QPushButton::clicked, this, &TFormExportSelectTarget::BtnOkClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);

    const double scale = std::max(1.0, fontMetrics().height() / 13.0);
    resize(static_cast<int>(458 * scale), static_cast<int>(394 * scale));
}

void TFormExportSelectTarget::SetConf(TExportConf* conf)
{
    FConf = conf;
    FrameExportEml->SetCaption(conf->GetTypeName());
    FrameExportEml->LoadFromConf(*conf);
    FrameExportEml->SetExtension(conf->GetExtension());
}

void TFormExportSelectTarget::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    FrameExportEml->ComboBoxEmlNameTypeChange();
    FrameExportEml->MakeDirCheckBox()->setVisible(false);
}

bool TFormExportSelectTarget::event(QEvent* event)
{
    // The controls' long hints go to the dialog's status line.
    if (event->type() == QEvent::StatusTip) {
        StatusBar1->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

void TFormExportSelectTarget::BtnOkClick()
{
    if (!FrameExportEml->Validate())
        return;
    if (FConf)
        FrameExportEml->SaveToConf(*FConf);
    accept();
}
