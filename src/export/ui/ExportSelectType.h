// The dialog that asks for the export format.
#pragma once

#include <QDialog>
#include <QStringList>

class QButtonGroup;
class QPlainTextEdit;

class TFormExportSelectType : public QDialog {
    Q_OBJECT
public:
    explicit TFormExportSelectType(QWidget* owner);

    // The chosen format, 0 to 3 (read after OK).
    int GetSelectedType() const;
    void SetSelectedType(int type);
    // One description per format, lines separated by CR LF.
    const QStringList& GetDescriptions() const { return Descriptions; }

private:
    void ShowDescription();

    QStringList Descriptions;
    QButtonGroup* RadioGroupType = nullptr;
    QPlainTextEdit* MemoDescription = nullptr;
};
