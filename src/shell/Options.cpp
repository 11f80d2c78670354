#include "shell/Options.h"

#include <algorithm>

#include "settings/FormState.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"

namespace {

const char kSection[] = "TSVMainForm";
constexpr int kDelayMin = 20, kDelayMax = 10000, kPeriodMin = 1, kPeriodMax = 10000;

// Reads or writes each value of TOptions::Values by its kind.
struct TReader {
    const TFormState& State;
    void operator()(const char* key, bool& value) const { value = State.ReadBool(key, value); }
    void operator()(const char* key, int& value, int low, int high) const {
        value = std::clamp(State.ReadInt(key, value), low, high);
    }
};
struct TWriter {
    TFormState& State;
    void operator()(const char* key, bool value) const { State.WriteBool(key, value); }
    void operator()(const char* key, int value, int, int) const { State.WriteInt(key, value); }
};

}  // namespace

TOptions::TOptions(TSettingsStore& store, TLanguageModule& languages) : store_(store), languages_(languages) {
    const TFormState state(store_, kSection);
    Values(TReader{state});
}

template <typename Visit>
void TOptions::Values(const Visit& visit) {
    visit("TimerDelay", timerDelay_);
    visit("TimerDelayValue", timerDelayValue_, kDelayMin, kDelayMax);
    visit("StripedGrids", stripedGrids_);
    visit("SaveHuffman", saveHuffman_);
    visit("SweepData", sweepData_);
    visit("CanEdit", canEdit_);
    visit("AskBeforeMoving", askBeforeMoving_);
    visit("AutosaveCheck_Checked", autosaveOnExit_);
    visit("AutosaveEveryCheck_Checked", autosaveEvery_);
    visit("AutosaveSpin_Value", autosavePeriod_, kPeriodMin, kPeriodMax);
    visit("SaveDupCheck_Checked", saveDuplicates_);
}

void TOptions::Save() {
    TFormState state(store_, kSection);
    Values(TWriter{state});
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
    Set(timerDelayValue_, std::clamp(ms, kDelayMin, kDelayMax));
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
void TOptions::SetAskBeforeMoving(bool on) {
    Set(askBeforeMoving_, on);
}
void TOptions::SetAutosaveOnExit(bool on) {
    Set(autosaveOnExit_, on);
}
void TOptions::SetAutosaveEvery(bool on) {
    Set(autosaveEvery_, on);
}
void TOptions::SetAutosavePeriod(int minutes) {
    Set(autosavePeriod_, std::clamp(minutes, kPeriodMin, kPeriodMax));
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
