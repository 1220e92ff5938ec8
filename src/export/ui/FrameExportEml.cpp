#include "FrameExportEml.h"

#include "app/ui/Dialogs.h"
#include "export/ExportConf.h"
#include "export/FileUtils.h"
#include "export/RegexUtility.h"
#include "export/SequenceNumber.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A hint written "short|long": the short part as the tool tip, the long part on
// the status line.
void SetHint(QWidget* widget, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    widget->setToolTip(bar >= 0 ? hint.left(bar) : hint);
    widget->setStatusTip(bar >= 0 ? hint.mid(bar + 1) : hint);
}

QString Twice(const QString& text) { return text + QLatin1Char('|') + text; }

} // namespace

TFrameExportEml::TFrameExportEml(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameExportEml"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    GroupBoxEml = new QGroupBox(QStringLiteral("eml形式(1メール1ファイル)"), this);
    GroupBoxEml->setObjectName(QStringLiteral("GroupBoxEml"));
    outer->addWidget(GroupBoxEml);
    auto* grid = new QGridLayout(GroupBoxEml);

    auto* labelNameType = new QLabel(QStringLiteral("ファイル名の付け方(&N)"), GroupBoxEml);
    ComboBoxEmlNameType = new QComboBox(GroupBoxEml);
    ComboBoxEmlNameType->setObjectName(QStringLiteral("ComboBoxEmlNameType"));
    ComboBoxEmlNameType->addItems(
        {QStringLiteral("連番"), QStringLiteral("件名"), QStringLiteral("パラメータ")});
    ComboBoxEmlNameType->setAttribute(Qt::WA_InputMethodEnabled, false);
    SetHint(ComboBoxEmlNameType, Twice(QStringLiteral(
        "連番…ファイル名を連番に設定。件名…ファイル名をメールの件名に設定")));
    labelNameType->setBuddy(ComboBoxEmlNameType);
    grid->addWidget(labelNameType, 0, 0);
    grid->addWidget(ComboBoxEmlNameType, 0, 1);

    LabelEmlFormat = new QLabel(QStringLiteral("フォーマット(&F)"), GroupBoxEml);
    LabelEmlFormat->setObjectName(QStringLiteral("LabelEmlFormat"));
    LabeledEditEmlFormat = new QLineEdit(GroupBoxEml);
    LabeledEditEmlFormat->setObjectName(QStringLiteral("LabeledEditEmlFormat"));
    LabelEmlFormat->setBuddy(LabeledEditEmlFormat);
    LabelEmlFormatHint = new QLabel(GroupBoxEml);
    LabelEmlFormatHint->setObjectName(QStringLiteral("LabelEmlFormatHint"));
    CheckBoxUseParamRegexp = new QCheckBox(QStringLiteral("正規表現を使用する(&G)"), GroupBoxEml);
    CheckBoxUseParamRegexp->setObjectName(QStringLiteral("CheckBoxUseParamRegexp"));
    SetHint(CheckBoxUseParamRegexp, Twice(QStringLiteral("パラメータ文字に正規表現を使用するときはチェックします。")));
    auto* hintCell = new QHBoxLayout;
    hintCell->addWidget(LabelEmlFormatHint);
    hintCell->addWidget(CheckBoxUseParamRegexp);
    hintCell->addStretch(1);
    grid->addWidget(LabelEmlFormat, 1, 0);
    grid->addWidget(LabeledEditEmlFormat, 1, 1);
    grid->addLayout(hintCell, 1, 2, 1, 2);

    auto* labelDigit = new QLabel(QStringLiteral("桁数(&D)"), GroupBoxEml);
    LabeledEditEmlDigit = new QLineEdit(QStringLiteral("1"), GroupBoxEml);
    LabeledEditEmlDigit->setObjectName(QStringLiteral("LabeledEditEmlDigit"));
    LabeledEditEmlDigit->setMaxLength(1);
    LabeledEditEmlDigit->setAttribute(Qt::WA_InputMethodEnabled, false);
    LabeledEditEmlDigit->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    SetHint(LabeledEditEmlDigit, Twice(QStringLiteral("連番の桁数を指定します。1～9が指定できます。")));
    LabeledEditEmlDigit->installEventFilter(this);
    labelDigit->setBuddy(LabeledEditEmlDigit);
    auto* label3 = new QLabel(QStringLiteral("1～9"), GroupBoxEml);
    label3->setObjectName(QStringLiteral("Label3"));
    auto* digitCell = new QHBoxLayout;
    digitCell->addWidget(LabeledEditEmlDigit);
    digitCell->addWidget(label3);
    digitCell->addStretch(1);
    grid->addWidget(labelDigit, 2, 0);
    grid->addLayout(digitCell, 2, 1);

    ListViewEml = new QTreeWidget(GroupBoxEml);
    ListViewEml->setObjectName(QStringLiteral("ListViewEml"));
    ListViewEml->setHeaderLabels({QStringLiteral("サンプル")});
    ListViewEml->setRootIsDecorated(false);
    ListViewEml->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewEml->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewEml->setFocusPolicy(Qt::NoFocus);
    ListViewEml->header()->setSectionsClickable(false);
    ListViewEml->setMaximumHeight(fontMetrics().height() * 7);
    SetHint(ListViewEml, Twice(QStringLiteral(
        "指定したフォーマットと桁数で設定されるファイル名のサンプルを表示します。")));
    grid->addWidget(ListViewEml, 3, 1, 1, 3);

    auto* labelDir = new QLabel(QStringLiteral("保存先フォルダ(&S)"), GroupBoxEml);
    LabeledEditEmlDir = new QLineEdit(GroupBoxEml);
    LabeledEditEmlDir->setObjectName(QStringLiteral("LabeledEditEmlDir"));
    labelDir->setBuddy(LabeledEditEmlDir);
    BtnEmlSelectDir = new QPushButton(QStringLiteral("参照(&R)"), GroupBoxEml);
    BtnEmlSelectDir->setObjectName(QStringLiteral("BtnEmlSelectDir"));
    const QString dirHint = Twice(QStringLiteral("エクスポートしたメールを保存するフォルダを指定します。"));
    SetHint(LabeledEditEmlDir, dirHint);
    SetHint(BtnEmlSelectDir, dirHint);
    grid->addWidget(labelDir, 4, 0);
    grid->addWidget(LabeledEditEmlDir, 4, 1, 1, 2);
    grid->addWidget(BtnEmlSelectDir, 4, 3);

    CheckBoxEmlMakeDir = new QCheckBox(QStringLiteral("変換対象ごとにフォルダを作成する(&F)"), GroupBoxEml);
    CheckBoxEmlMakeDir->setObjectName(QStringLiteral("CheckBoxEmlMakeDir"));
    SetHint(CheckBoxEmlMakeDir, QStringLiteral("チェックを入れると、変換対象ごとにフォルダを作成し、エクスポートします。"));
    CheckBoxEmlTimeStamp = new QCheckBox(QStringLiteral("送信日時をタイムスタンプにする(&G)"), GroupBoxEml);
    CheckBoxEmlTimeStamp->setObjectName(QStringLiteral("CheckBoxEmlTimeStamp"));
    SetHint(CheckBoxEmlTimeStamp, Twice(QStringLiteral(
        "チェックを入れると、エクスポートしたファイルのタイムスタンプはメールの送信日時と同じになります。")));
    CheckBoxEmlSkipSameMail = new QCheckBox(QStringLiteral("同じメールがあるときは一方のメールだけ保存する(&Y)"), GroupBoxEml);
    CheckBoxEmlSkipSameMail->setObjectName(QStringLiteral("CheckBoxEmlSkipSameMail"));
    SetHint(CheckBoxEmlSkipSameMail, QStringLiteral(
        "チェックを入れると、同じMessage-Idのメールがあるときは一方のメールだけ保存します。"));
    CheckBoxEmlAttachedFileDir = new QCheckBox(QStringLiteral("添付ファイルを保存する"), GroupBoxEml);
    CheckBoxEmlAttachedFileDir->setObjectName(QStringLiteral("CheckBoxEmlAttachedFileDir"));
    grid->addWidget(CheckBoxEmlMakeDir, 5, 1, 1, 3);
    grid->addWidget(CheckBoxEmlTimeStamp, 6, 1, 1, 3);
    grid->addWidget(CheckBoxEmlSkipSameMail, 7, 1, 1, 3);
    grid->addWidget(CheckBoxEmlAttachedFileDir, 8, 1, 1, 3);

    LabelEmlAttachedFileDir = new QLabel(QStringLiteral("添付ファイルの保存先"), GroupBoxEml);
    LabelEmlAttachedFileDir->setObjectName(QStringLiteral("LabelEmlAttachedFileDir"));
    EditEmlAttachedFileDir = new QLineEdit(GroupBoxEml);
    EditEmlAttachedFileDir->setObjectName(QStringLiteral("EditEmlAttachedFileDir"));
    EditEmlAttachedFileDir->setPlaceholderText(QStringLiteral("添付ファイルを保存するフォルダー"));
    SetHint(EditEmlAttachedFileDir, QStringLiteral("添付ファイルを保存するフォルダー"));
    LabelEmlAttachedFileDir->setBuddy(EditEmlAttachedFileDir);
    BtnEmlAttachedFileDir = new QPushButton(QStringLiteral("参照"), GroupBoxEml);
    BtnEmlAttachedFileDir->setObjectName(QStringLiteral("BtnEmlAttachedFileDir"));
    SetHint(BtnEmlAttachedFileDir, QStringLiteral("添付ファイルを保存するフォルダーを指定します。"));
    grid->addWidget(LabelEmlAttachedFileDir, 9, 0);
    grid->addWidget(EditEmlAttachedFileDir, 9, 1, 1, 2);
    grid->addWidget(BtnEmlAttachedFileDir, 9, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(10, 1);

    connect(ComboBoxEmlNameType, &QComboBox::activated, this, &TFrameExportEml::ComboBoxEmlNameTypeChange);
    connect(LabeledEditEmlFormat, &QLineEdit::textChanged, this, &TFrameExportEml::ScheduleRefreshSamples);
    connect(LabeledEditEmlDigit, &QLineEdit::textChanged, this, &TFrameExportEml::LabeledEditEmlDigitChange);
    connect(BtnEmlSelectDir, &QPushButton::clicked, this, &TFrameExportEml::BtnEmlSelectDirClick);
    connect(BtnEmlAttachedFileDir, &QPushButton::clicked, this, &TFrameExportEml::BtnEmlAttachedFileDirClick);
    connect(CheckBoxEmlAttachedFileDir, &QCheckBox::clicked, this, &TFrameExportEml::CheckBoxEmlAttachedFileDirClick);

    ComboBoxEmlNameType->setCurrentIndex(0);
    ComboBoxEmlNameTypeChange();
    CheckBoxEmlAttachedFileDirClick();
}

void TFrameExportEml::SetCaption(const QString& caption) { GroupBoxEml->setTitle(caption); }

void TFrameExportEml::ComboBoxEmlNameTypeChange()
{
    switch (ComboBoxEmlNameType->currentIndex()) {
    case 0:
        LabeledEditEmlFormat->setText(QStringLiteral("<n>") + Extension);
        LabelEmlFormat->setText(QStringLiteral("フォーマット(&F)"));
        LabelEmlFormatHint->setText(QStringLiteral("番号 = <n>"));
        LabelEmlFormatHint->setVisible(true);
        CheckBoxUseParamRegexp->setVisible(false);
        SetHint(LabeledEditEmlFormat, Twice(QStringLiteral("ファイル名の命名規則を指定します。")));
        break;
    case 1:
        LabeledEditEmlFormat->setText(QStringLiteral("<s>(<n>)") + Extension);
        LabelEmlFormat->setText(QStringLiteral("フォーマット(&F)"));
        LabelEmlFormatHint->setText(QStringLiteral("番号 = <n> 件名 = <s>"));
        LabelEmlFormatHint->setVisible(true);
        CheckBoxUseParamRegexp->setVisible(false);
        SetHint(LabeledEditEmlFormat,
                Twice(QStringLiteral("同名のファイルがあるときのファイル名の命名規則を指定します。")));
        break;
    default:
        LabeledEditEmlFormat->clear();
        LabelEmlFormat->setText(QStringLiteral("パラメータ文字(&F)"));
        LabelEmlFormatHint->setVisible(false);
        CheckBoxUseParamRegexp->setVisible(true);
        SetHint(LabeledEditEmlFormat, Twice(QStringLiteral("パラメータ文字を指定します。")));
        break;
    }
    ScheduleRefreshSamples();
}

void TFrameExportEml::ScheduleRefreshSamples()
{
    if (FRefreshPending)
        return;
    FRefreshPending = true;
    QTimer::singleShot(0, this, [this] {
        FRefreshPending = false;
        RefreshSamples();
    });
}

int TFrameExportEml::DigitValue(int fallback) const
{
    bool ok = false;
    const int value = LabeledEditEmlDigit->text().toInt(&ok);
    return ok ? value : fallback;
}

void TFrameExportEml::RefreshSamples()
{
    ListViewEml->clear();
    const QString format = LabeledEditEmlFormat->text();
    const int digits = DigitValue(0);
    const QString subject = QStringLiteral("メールの件名");
    for (int i = 0; i < 3; ++i) {
        QString name;
        switch (ComboBoxEmlNameType->currentIndex()) {
        case 0:
            name = TSequenceNumber::Expand(format, i, digits, QString());
            break;
        case 1:
            name = i == 0 ? subject + Extension : TSequenceNumber::Expand(format, i, digits, subject);
            break;
        default:
            name = QStringLiteral("パラメータにマッチした文字") + Extension;
            break;
        }
        new QTreeWidgetItem(ListViewEml, {name});
    }
}

void TFrameExportEml::LabeledEditEmlDigitChange()
{
    // Typing a character replaces the digit.
    LabeledEditEmlDigit->selectAll();
    ScheduleRefreshSamples();
}

void TFrameExportEml::LabeledEditEmlDigitExit()
{
    LabeledEditEmlDigit->setText(QString::number(DigitValue(1)));
}

bool TFrameExportEml::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LabeledEditEmlDigit && event->type() == QEvent::FocusOut)
        LabeledEditEmlDigitExit();
    return QWidget::eventFilter(watched, event);
}

void TFrameExportEml::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ListViewEml->setColumnWidth(0, ListViewEml->viewport()->width());
}

void TFrameExportEml::CheckBoxEmlAttachedFileDirClick()
{
    const bool checked = CheckBoxEmlAttachedFileDir->isChecked();
    LabelEmlAttachedFileDir->setVisible(checked);
    EditEmlAttachedFileDir->setVisible(checked);
    BtnEmlAttachedFileDir->setVisible(checked);
}

void TFrameExportEml::BtnEmlSelectDirClick()
{
    const QString current = LabeledEditEmlDir->text();
    const QString dir = TFileDialog::GetExistingDirectory(
        this, QStringLiteral("emlファイルの保存先フォルダーを選択してください。"),
        !current.isEmpty() && QFileInfo(current).isDir() ? current : QString());
    if (!dir.isEmpty())
        LabeledEditEmlDir->setText(QDir::toNativeSeparators(dir));
}

void TFrameExportEml::BtnEmlAttachedFileDirClick()
{
    const QString current = EditEmlAttachedFileDir->text();
    const QString dir = TFileDialog::GetExistingDirectory(
        this, QStringLiteral("添付ファイルの保存先フォルダーを選択してください。"),
        !current.isEmpty() && QFileInfo(current).isDir() ? current : QString());
    if (!dir.isEmpty())
        EditEmlAttachedFileDir->setText(QDir::toNativeSeparators(dir));
}

void TFrameExportEml::LoadFromConf(const TExportEmlConf& conf)
{
    ComboBoxEmlNameType->setCurrentIndex(conf.GetEmlNameType());
    ComboBoxEmlNameTypeChange();
    LabeledEditEmlFormat->setText(conf.GetEmlFormat());
    LabeledEditEmlDigit->setText(QString::number(conf.GetEmlDigit()));
    LabeledEditEmlDir->setText(conf.GetEmlSaveDir());
    CheckBoxEmlTimeStamp->setChecked(conf.GetEmlTimeStamp());
    CheckBoxEmlMakeDir->setChecked(conf.GetEmlMakeDir());
    CheckBoxUseParamRegexp->setChecked(conf.GetEmlUseParamRegexp());
    CheckBoxEmlSkipSameMail->setChecked(conf.GetEmlSkipSameMail());
    CheckBoxEmlAttachedFileDir->setChecked(!conf.GetEmlAttachedFileDir().isEmpty());
    EditEmlAttachedFileDir->setText(conf.GetEmlAttachedFileDir());
    CheckBoxEmlAttachedFileDirClick();
    RefreshSamples();
}

void TFrameExportEml::SaveToConf(TExportEmlConf& conf) const
{
    conf.SetEmlNameType(ComboBoxEmlNameType->currentIndex());
    conf.SetEmlFormat(LabeledEditEmlFormat->text());
    conf.SetEmlDigit(DigitValue(1));
    conf.SetEmlSaveDir(LabeledEditEmlDir->text());
    conf.SetEmlMakeDir(CheckBoxEmlMakeDir->isChecked());
    conf.SetEmlTimeStamp(CheckBoxEmlTimeStamp->isChecked());
    conf.SetEmlUseParamRegexp(CheckBoxUseParamRegexp->isChecked());
    conf.SetEmlSkipSameMail(CheckBoxEmlSkipSameMail->isChecked());
    conf.SetEmlAttachedFileDir(CheckBoxEmlAttachedFileDir->isChecked() ? EditEmlAttachedFileDir->text()
                                                                       : QString());
}

bool TFrameExportEml::Validate()
{
    const int rule = ComboBoxEmlNameType->currentIndex();
    const QString format = LabeledEditEmlFormat->text();
    if (rule == 0 || rule == 1) {
        if (!format.contains(QStringLiteral("<n>"))) {
            TMessageBox::Warning(this, QStringLiteral("フォーマット形式に連番記号(<n>)がありません。"));
            LabeledEditEmlFormat->setFocus();
            return false;
        }
    } else {
        if (format.isEmpty()) {
            TMessageBox::Warning(this, QStringLiteral("パラメータ文字が入力されていません。"));
            LabeledEditEmlFormat->setFocus();
            return false;
        }
        if (CheckBoxUseParamRegexp->isChecked() && !TUtility::ValidateRegexp(format)) {
            TMessageBox::Warning(this, QStringLiteral("正規表現に間違いがあります。"));
            LabeledEditEmlFormat->setFocus();
            return false;
        }
    }
    const QString saveDir = LabeledEditEmlDir->text();
    const bool attachments =
        CheckBoxEmlAttachedFileDir->isChecked() && !EditEmlAttachedFileDir->text().isEmpty();
    if (saveDir.isEmpty() && !attachments) {
        TMessageBox::Warning(this, QStringLiteral("保存先フォルダが指定されていません。"));
        return false;
    }
    if (saveDir.isEmpty()) {
        return TMessageBox::Ask(this, TMessageBox::Kind::Confirmation,
                                QStringLiteral("添付ファイルだけをエクスポートします。\nよろしいですか？")) ==
               QMessageBox::Yes;
    }
    if (QFileInfo(saveDir).isDir())
        return true;
    if (TMessageBox::Ask(this, TMessageBox::Kind::Confirmation,
                         QStringLiteral("保存先フォルダが見つかりません。\n作成しますか？")) !=
        QMessageBox::Yes) {
        LabeledEditEmlDir->setFocus();
        return false;
    }
    if (const QString reason = TFileUtils::MakeDirectories(saveDir); !reason.isEmpty()) {
        TMessageBox::Warning(this, QStringLiteral("保存先フォルダの作成に失敗しました。\n") + reason);
        LabeledEditEmlDir->setFocus();
        return false;
    }
    return true;
}
