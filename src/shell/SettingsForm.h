#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTabWidget;
class TLibrarySession;
class TOptions;

// The settings window: edits the options (each control follows its option both ways), the
// language, and sweeps the library on request. Hiding it writes the options to the settings.
class TSVMainForm final : public QDialog {
    Q_OBJECT

public:
    TSVMainForm(TOptions& options, TLibrarySession& session, QWidget* parent = nullptr);

    void Recaption();

    // Controls, named as the settings store names their values.
    QCheckBox* TimerDelayCheck;
    QSpinBox* TimerDelaySpin;
    QCheckBox* StripedGridsCheck;
    QCheckBox* HuffmanCheck;
    QCheckBox* SaveDupCheck;
    QCheckBox* CanEditCheck;
    QCheckBox* AutosaveCheck;
    QCheckBox* AutosaveEveryCheck;
    QSpinBox* AutosaveSpin;
    QCheckBox* SweepCheckBox;
    QComboBox* LangsCombo;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    void FillLanguages();
    // The controls from the options (a change made elsewhere shows here).
    void ShowOptions();
    void ShowSweepMenu();

    TOptions& options_;
    TLibrarySession& session_;
    bool filling_ = false;
    QTabWidget* pages_;
    QGroupBox* autosaveGroup_;
    QLabel* delayUnit_;
    QLabel* minutes_;
    QLabel* langLabel_;
    QPushButton* sweepButton_;
    QPushButton* closeButton_;
};
