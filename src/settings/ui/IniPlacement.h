#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "settings/FormState.h"

class QAbstractButton;
class QCheckBox;
class QSpinBox;
class QWidget;
class TSettingsStore;

// Keeps a window's placement and its stored values in its class's section of the settings:
// restored once (on creation), saved when the window is hidden or closed. Values that the
// window adds are read after the placement and written with it.
class TIniPlacement final : public QObject {
    Q_OBJECT

public:
    TIniPlacement(QWidget* window, TSettingsStore& store, const std::string& section, bool placement = true);

    TFormState& State() { return state_; }
    bool Restored() const { return restored_; }

    // A stored value: read as text and set, written from its current text.
    void AddValue(const std::string& name, std::function<std::string()> get,
                  std::function<void(const std::string&)> set);
    void AddCheck(const std::string& name, QAbstractButton* box);  // True / False
    void AddCheckState(const std::string& name, QCheckBox* box);   // cbUnchecked / cbChecked / cbGrayed
    void AddSpin(const std::string& name, QSpinBox* spin);         // decimal
    // Children that keep values of their own (grid layouts).
    void AddLink(std::function<void(TFormState&)> save, std::function<void(TFormState&)> load);

    std::function<void(TFormState&)> AfterRestore;
    std::function<void(TFormState&)> BeforeSave;

    void Restore();
    // Writes the values and the settings file; raises the store's error when the file cannot be
    // written. Nothing happens before the first restore.
    void Save();
    // Save unless a save already happened since the last restore (the hide after a close).
    void SaveIfNotSaved();
    // SaveIfNotSaved for destructors: a settings file that cannot be written is let go.
    void SaveQuietly() noexcept;
    void ResetSaved() { saved_ = false; }

private:
    struct TValue {
        std::string Name;
        std::function<std::string()> Get;
        std::function<void(const std::string&)> Set;
    };
    struct TLink {
        std::function<void(TFormState&)> Save, Load;
    };

    QWidget* window_;
    TFormState state_;
    bool placement_;
    bool restored_ = false;
    bool saved_ = false;
    std::vector<TValue> values_;
    std::vector<TLink> links_;
};
