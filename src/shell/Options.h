#pragma once

#include <QObject>
#include <string>

class TLanguageModule;
class TSettingsStore;

// The program's options as typed values over the settings store (the "TSVMainForm" section, one
// value per name). Every change emits changed(); the settings window edits them and nothing more.
// GUI thread only.
class TOptions final : public QObject {
    Q_OBJECT

public:
    TOptions(TSettingsStore& store, TLanguageModule& languages);

    TSettingsStore& Store() const { return store_; }
    TLanguageModule& Languages() const { return languages_; }

    bool TimerDelay() const { return timerDelay_; }
    // Milliseconds a panel waits for a burst of selection changes to end (20 to 10,000).
    int TimerDelayValue() const { return timerDelayValue_; }
    bool StripedGrids() const { return stripedGrids_; }
    bool SaveHuffman() const { return saveHuffman_; }
    bool SweepBeforeSave() const { return sweepData_; }
    bool SaveDuplicates() const { return saveDuplicates_; }
    bool CanEdit() const { return canEdit_; }
    // A drop that moves book files or folders on the disk asks first.
    bool AskBeforeMoving() const { return askBeforeMoving_; }
    bool AutosaveOnExit() const { return autosaveOnExit_; }
    bool AutosaveEvery() const { return autosaveEvery_; }
    // Minutes between autosaves (1 to 10,000).
    int AutosavePeriod() const { return autosavePeriod_; }

    void SetTimerDelay(bool on);
    void SetTimerDelayValue(int ms);
    void SetStripedGrids(bool on);
    void SetSaveHuffman(bool on);
    void SetSweepBeforeSave(bool on);
    void SetSaveDuplicates(bool on);
    void SetCanEdit(bool on);
    void SetAskBeforeMoving(bool on);
    void SetAutosaveOnExit(bool on);
    void SetAutosaveEvery(bool on);
    void SetAutosavePeriod(int minutes);

    // The library opened last (engine text), kept beside the options.
    std::string LastLibrary() const;
    void SetLastLibrary(const std::string& file);

    // Switches the language (index of the language list) and keeps the choice; languageChanged
    // tells every window to caption itself again. False when nothing changed.
    bool ChooseLanguage(int index);

    // Writes the options into the store and the store to its file (raises its error).
    void Save();

signals:
    void changed();
    void languageChanged();

private:
    // Calls visit(key, field) for each flag and visit(key, field, low, high) for each number,
    // with the settings store's names: one list for reading and writing.
    template <typename Visit>
    void Values(const Visit& visit);
    template <typename T>
    void Set(T& field, T value);

    TSettingsStore& store_;
    TLanguageModule& languages_;
    bool timerDelay_ = true;
    int timerDelayValue_ = 50;
    bool stripedGrids_ = true;
    bool saveHuffman_ = false;
    bool sweepData_ = false;
    bool saveDuplicates_ = false;
    bool canEdit_ = false;
    bool askBeforeMoving_ = true;
    bool autosaveOnExit_ = false;
    bool autosaveEvery_ = false;
    int autosavePeriod_ = 30;
};
