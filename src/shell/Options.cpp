#include "shell/Options.h"

#include <algorithm>

#include "settings/FormState.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"

namespace {

const char kSection[] = "TSVMainForm";

}  // namespace

TOptions::TOptions(TSettingsStore& store, TLanguageModule& languages) : store_(store), languages_(languages) {
    Load();
}

void TOptions::Load() {
    const TFormState state(store_, kSection);
    timerDelay_ = state.ReadBool("TimerDelay", timerDelay_);
    timerDelayValue_ = std::clamp(state.ReadInt("TimerDelayValue", timerDelayValue_), 20, 10000);
    stripedGrids_ = state.ReadBool("StripedGrids", stripedGrids_);
    saveHuffman_ = state.ReadBool("SaveHuffman", saveHuffman_);
    sweepData_ = state.ReadBool("SweepData", sweepData_);
    canEdit_ = state.ReadBool("CanEdit", canEdit_);
    autosaveOnExit_ = state.ReadBool("AutosaveCheck_Checked", autosaveOnExit_);
    autosaveEvery_ = state.ReadBool("AutosaveEveryCheck_Checked", autosaveEvery_);
    autosavePeriod_ = std::clamp(state.ReadInt("AutosaveSpin_Value", autosavePeriod_), 1, 10000);
    saveDuplicates_ = state.ReadBool("SaveDupCheck_Checked", saveDuplicates_);
}

void TOptions::Save() {
    TFormState state(store_, kSection);
    state.WriteBool("TimerDelay", timerDelay_);
    state.WriteInt("TimerDelayValue", timerDelayValue_);
    state.WriteBool("StripedGrids", stripedGrids_);
    state.WriteBool("SaveHuffman", saveHuffman_);
    state.WriteBool("SweepData", sweepData_);
    state.WriteBool("CanEdit", canEdit_);
    state.WriteBool("AutosaveCheck_Checked", autosaveOnExit_);
    state.WriteBool("AutosaveEveryCheck_Checked", autosaveEvery_);
    state.WriteInt("AutosaveSpin_Value", autosavePeriod_);
    state.WriteBool("SaveDupCheck_Checked", saveDuplicates_);
    store_.Save();
}

template <typename T>
void TOptions::Set(T& field, T value) {
    if (field == value) return;
    field = value;
    emit changed();
}

void TOptions::SetTimerDelay(bool on) {
    Set(timerDelay_, on);
}
void TOptions::SetTimerDelayValue(int ms) {
    Set(timerDelayValue_, std::clamp(ms, 20, 10000));
}
void TOptions::SetStripedGrids(bool on) {
    Set(stripedGrids_, on);
}
void TOptions::SetSaveHuffman(bool on) {
    Set(saveHuffman_, on);
}
void TOptions::SetSweepBeforeSave(bool on) {
    Set(sweepData_, on);
}
void TOptions::SetSaveDuplicates(bool on) {
    Set(saveDuplicates_, on);
}
void TOptions::SetCanEdit(bool on) {
    Set(canEdit_, on);
}
void TOptions::SetAutosaveOnExit(bool on) {
    Set(autosaveOnExit_, on);
}
void TOptions::SetAutosaveEvery(bool on) {
    Set(autosaveEvery_, on);
}
void TOptions::SetAutosavePeriod(int minutes) {
    Set(autosavePeriod_, std::clamp(minutes, 1, 10000));
}

std::string TOptions::LastLibrary() const {
    return TFormState(store_, kSection).Read("LastSVD");
}

void TOptions::SetLastLibrary(const std::string& file) {
    TFormState(store_, kSection).Write("LastSVD", file);
}

bool TOptions::ChooseLanguage(int index) {
    if (index < 0 || index == languages_.CurrentIndex()) return false;
    if (!languages_.LoadLanguage(index)) return false;
    languages_.SaveChoice(store_);
    emit languageChanged();
    store_.Save();
    return true;
}
