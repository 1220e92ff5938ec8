#include "ExportSelectType.h"

#include "app/ui/Help.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

TFormExportSelectType::TFormExportSelectType(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FormExportSelectType"));
    setWindowTitle(QStringLiteral("エクスポート形式選択"));

    const QString eml = QStringLiteral(
        "eml形式 (.eml)\r\n\r\nRFC822に準拠した汎用的なデータ形式です。\r\n"
        "主要な情報のみエクスポートします。\r\n\r\n以下の情報をエクスポートします。\r\n"
        "* From(差出人)\r\n* To(宛先)\r\n* CC\r\n* Date(送信日)\r\n* Subject(件名)\r\n"
        "* Importance(重要度)\r\n* Sensitivity(秘密度)\r\n* X-ReceivedTime(受信日)…独自拡張\r\n"
        "* 本文");
    Descriptions = {
        QStringLiteral("Outlook メッセージ形式 (.msg)\r\n\r\n"
                       "Outlookのエクスポート機能を使用して「Outlook メッセージ形式 (.msg)」形式で保存します。\r\n"
                       "Outlookを使って「Outlook メッセージ形式 (.msg)」形式で保存したときと同じです。"),
        QStringLiteral("テキスト形式 (.txt)\r\n\r\n"
                       "Outlookのエクスポート機能を使用して「テキスト形式 (.txt))」形式で保存します。\r\n"
                       "Outlookを使って「テキスト形式 (.txt)」形式で保存したときと同じです。"),
        eml,
        eml + QStringLiteral("\r\n* 添付ファイル"),
    };

    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("エクスポート形式"), this);
    group->setObjectName(QStringLiteral("RadioGroupExportType"));
    auto* groupLayout = new QVBoxLayout(group);
    RadioGroupType = new QButtonGroup(this);
    const QString captions[] = {
        QStringLiteral("&1.Outlook メッセージ形式 (.msg)"),
        QStringLiteral("&2.テキスト形式 (.txt)"),
        QStringLiteral("&3.eml形式 (.eml) 添付ファイルなし"),
        QStringLiteral("&4.eml形式 (.eml) 添付ファイルあり"),
    };
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(captions[i], group);
        radio->setObjectName(QStringLiteral("RadioType%1").arg(i));
        RadioGroupType->addButton(radio, i);
        groupLayout->addWidget(radio);
    }
    RadioGroupType->button(0)->setChecked(true);
    connect(RadioGroupType, &QButtonGroup::idClicked, this, &TFormExportSelectType::ShowDescription);
    layout->addWidget(group);

    MemoDescription = new QPlainTextEdit(this);
    MemoDescription->setObjectName(QStringLiteral("MemoDescription"));
    MemoDescription->setReadOnly(true);
    MemoDescription->setFocusPolicy(Qt::NoFocus);
    MemoDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(MemoDescription, 1);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Help | QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("ButtonPanel"));
    buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("BtnHelp"));
    buttons->button(QDialogButtonBox::Help)->setText(QStringLiteral("ヘルプ(&H)"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("BtnOk"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("BtnCancel"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { ShowHelpContext(this, hcExportSelectType); });
    layout->addWidget(buttons);

    const double scale = std::max(1.0, fontMetrics().height() / 13.0);
    resize(static_cast<int>(426 * scale), static_cast<int>(413 * scale));
    ShowDescription();
}

int TFormExportSelectType::GetSelectedType() const { return RadioGroupType->checkedId(); }

void TFormExportSelectType::SetSelectedType(int type)
{
    if (QAbstractButton* button = RadioGroupType->button(type)) {
        button->setChecked(true);
        ShowDescription();
    }
}

void TFormExportSelectType::ShowDescription()
{
    const QString text = Descriptions.value(RadioGroupType->checkedId());
    MemoDescription->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}
