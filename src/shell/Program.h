#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "shell/FirstStartForm.h"
#include "shell/MainWindow.h"

class QTranslator;
class TLanguageModule;
class TLibrarySession;
class TOptions;
class TSettingsStore;
class TSVMainForm;

// The desktop program: its options, its one library session, the settings window and the main
// windows. Ends the program when the last main window has closed.
class TProgram final : public QObject, public IMainWindowHost {
    Q_OBJECT

public:
    TProgram(TSettingsStore& store, TLanguageModule& languages);
    ~TProgram() override;

    TOptions& Options() { return *options_; }
    TLibrarySession& Session() { return *session_; }
    TSVMainForm& Settings();

    // The library (the given path, else the last one; the open dialog while it does not
    // exist), then the first main window. With neither (a first start) the reader chooses how
    // to begin, unless asked not to (pictures taken without a person).
    void Start(const QString& library, bool askFirstStart = true);
    // A first start the way the reader chose it: an open dialog, a new library on a folder of
    // books (folder, else a folder dialog) scanned in the background, a demo library, or an
    // empty library. The first main window shows in each case.
    void FirstStart(TFirstStartForm::TChoice choice, const QString& folder = {});
    // The end: options kept, the worker stopped, autosave on exit, the language choice kept;
    // then the event loop ends.
    void Shutdown();
    // The start found no library to open and the program is ending.
    bool Ended() const { return ended_; }

    TSVWinForm* NewWindow() override;
    const std::vector<TSVWinForm*>& Windows() const override { return windows_; }
    int FreeWindowNumber(const TSVWinForm* window) const override;
    void WindowClosing(TSVWinForm* window) override;
    void ForgetWindow(TSVWinForm* window) override;
    void ShowSettings(QWidget* parent) override;

private:
    void OpenFirstWindow(const QString& library);
    void LoadQtTranslation();

    std::unique_ptr<TOptions> options_;
    std::unique_ptr<QTranslator> qtTranslator_;
    std::unique_ptr<TLibrarySession> session_;
    std::unique_ptr<TSVMainForm> settings_;
    std::vector<TSVWinForm*> windows_;
    bool shuttingDown_ = false;
    bool ended_ = false;
};
