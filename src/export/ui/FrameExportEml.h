// The export conditions: naming rule and format, digit count, save folder, the
// option boxes and the attachment folder, with three sample file names.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class TExportEmlConf;

class TFrameExportEml : public QWidget {
    Q_OBJECT
public:
    explicit TFrameExportEml(QWidget* parent = nullptr);

    void SetExtension(const QString& extension) { Extension = extension; }
    const QString& GetExtension() const { return Extension; }
    void SetCaption(const QString& caption);

    void LoadFromConf(const TExportEmlConf& conf);
    void SaveToConf(TExportEmlConf& conf) const;
    // Checks the entries; a problem is shown and the focus moved to the entry in
    // question. May offer to create the save folder.
    bool Validate();

    // The naming-rule change: the format edit, its label, hint and companions.
    void ComboBoxEmlNameTypeChange();
    void CheckBoxEmlAttachedFileDirClick();
    // The three sample names, now; and one refresh once the event queue is idle,
    // however often it is asked for before then.
    void RefreshSamples();
    void ScheduleRefreshSamples();

    QCheckBox* MakeDirCheckBox() const { return CheckBoxEmlMakeDir; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LabeledEditEmlDigitChange();
    void LabeledEditEmlDigitExit();
    void BtnEmlSelectDirClick();
    void BtnEmlAttachedFileDirClick();
    int DigitValue(int fallback) const;

    QString Extension = QStringLiteral(".eml");
    bool FRefreshPending = false;

    QGroupBox* GroupBoxEml = nullptr;
    QComboBox* ComboBoxEmlNameType = nullptr;
    QLabel* LabelEmlFormat = nullptr;
    QLineEdit* LabeledEditEmlFormat = nullptr;
    QLabel* LabelEmlFormatHint = nullptr;
    QCheckBox* CheckBoxUseParamRegexp = nullptr;
    QLineEdit* LabeledEditEmlDigit = nullptr;
    QTreeWidget* ListViewEml = nullptr;
    QLineEdit* LabeledEditEmlDir = nullptr;
    QPushButton* BtnEmlSelectDir = nullptr;
    QCheckBox* CheckBoxEmlMakeDir = nullptr;
    QCheckBox* CheckBoxEmlTimeStamp = nullptr;
    QCheckBox* CheckBoxEmlSkipSameMail = nullptr;
    QCheckBox* CheckBoxEmlAttachedFileDir = nullptr;
    QLabel* LabelEmlAttachedFileDir = nullptr;
    QLineEdit* EditEmlAttachedFileDir = nullptr;
    QPushButton* BtnEmlAttachedFileDir = nullptr;
};
