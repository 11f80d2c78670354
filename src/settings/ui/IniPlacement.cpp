#include "settings/ui/IniPlacement.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QSpinBox>
#include <QWidget>

#include "common/TextUtils.h"
#include "settings/SettingsStore.h"

TIniPlacement::TIniPlacement(QWidget* window, TSettingsStore& store, const std::string& section, bool placement)
    : QObject(window), window_(window), state_(store, section), placement_(placement) {}

void TIniPlacement::AddValue(const std::string& name, std::function<std::string()> get,
                             std::function<void(const std::string&)> set) {
    values_.push_back({name, std::move(get), std::move(set)});
}

void TIniPlacement::AddCheck(const std::string& name, QAbstractButton* box) {
    AddValue(
        name, [box] { return std::string(box->isChecked() ? "True" : "False"); },
        [box](const std::string& text) {
            if (AnsiSameText(text, "True")) box->setChecked(true);
            if (AnsiSameText(text, "False")) box->setChecked(false);
        });
}

void TIniPlacement::AddCheckState(const std::string& name, QCheckBox* box) {
    AddValue(
        name,
        [box] {
            const Qt::CheckState s = box->checkState();
            return std::string(s == Qt::Checked ? "cbChecked" : s == Qt::PartiallyChecked ? "cbGrayed" : "cbUnchecked");
        },
        [box](const std::string& text) {
            if (AnsiSameText(text, "cbChecked")) box->setCheckState(Qt::Checked);
            if (AnsiSameText(text, "cbGrayed")) box->setCheckState(Qt::PartiallyChecked);
            if (AnsiSameText(text, "cbUnchecked")) box->setCheckState(Qt::Unchecked);
        });
}

void TIniPlacement::AddSpin(const std::string& name, QSpinBox* spin) {
    AddValue(
        name, [spin] { return std::to_string(spin->value()); },
        [spin](const std::string& text) {
            int32_t value = 0;  // text that is not a number reads as 0
            TextToInt(text, value);
            spin->setValue(value);
        });
}

void TIniPlacement::AddLink(std::function<void(TFormState&)> save, std::function<void(TFormState&)> load) {
    links_.push_back({std::move(save), std::move(load)});
}

void TIniPlacement::Restore() {
    restored_ = saved_ = false;
    if (placement_) {
        if (const auto rect = state_.ReadPosition())
            window_->setGeometry(rect->Left, rect->Top, rect->Right - rect->Left, rect->Bottom - rect->Top);
        const int show = state_.ReadInt("ShowCmd", 0);
        if (show == 3)
            window_->setWindowState(Qt::WindowMaximized);
        else if (show == 2 || show == 6)
            window_->setWindowState(Qt::WindowMinimized);
    }
    for (const TLink& link : links_)
        link.Load(state_);
    restored_ = true;
    for (const TValue& value : values_) {
        if (const auto text = state_.Store().ReadString(state_.Key(), value.Name)) value.Set(TrimBlanks(*text));
    }
    if (AfterRestore) AfterRestore(state_);
}

void TIniPlacement::Save() {
    if (!restored_) return;  // a window that never restored must not overwrite the stored state
    if (BeforeSave) BeforeSave(state_);
    if (placement_) {
        const QRect r = window_->normalGeometry().isValid() ? window_->normalGeometry() : window_->geometry();
        state_.WritePosition({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
        const Qt::WindowStates s = window_->windowState();
        state_.WriteInt("ShowCmd", s & Qt::WindowMaximized ? 3 : s & Qt::WindowMinimized ? 2 : 1);
    }
    for (const TLink& link : links_)
        link.Save(state_);
    for (const TValue& value : values_)
        state_.Write(value.Name, value.Get());
    saved_ = true;
    state_.Store().Save();
}

void TIniPlacement::SaveIfNotSaved() {
    if (!saved_) Save();
}

void TIniPlacement::SaveQuietly() noexcept {
    try {
        SaveIfNotSaved();
    } catch (...) {
        // the settings file could not be written
    }
}
