// The dialog of the export conditions, over one export configuration.
#pragma once

#include <QDialog>

class QStatusBar;
class TExportConf;
class TFrameExportEml;

class TFormExportSelectTarget : public QDialog {
    Q_OBJECT
public:
    explicit TFormExportSelectTarget(QWidget* owner);

    // Binds the dialog to the configuration that OK writes back into.
    void SetConf(TExportConf* conf);
    TFrameExportEml* Frame() const { return FrameExportEml; }

    void BtnOkClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    TExportConf* FConf = nullptr;
    TFrameExportEml* FrameExportEml = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    bool FShown = false;
};
