#include "shell/Program.h"

#include <QApplication>
#include <QSessionManager>

#include "catalogue/SVD.h"
#include "common/Error.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorManageForm.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"
#include "shell/SettingsForm.h"

TProgram::TProgram(TSettingsStore& store, TLanguageModule& languages)
    : options_(std::make_unique<TOptions>(store, languages)), session_(std::make_unique<TLibrarySession>(*options_)) {
    // Logging out asks as closing the last window does; without a person to ask, the logout
    // is cancelled while the library holds changes.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!session_->Library().IsModified()) return;
        if (!manager.allowsInteraction()) return manager.cancel();
        if (!session_->ConfirmDiscard(nullptr)) manager.cancel();
        manager.release();
    });
}

TProgram::~TProgram() {
    session_->WaitForResync();
    // The windows hold rows that point into the catalogue: they go first.
    while (!windows_.empty())
        delete windows_.front();
    settings_.reset();
}

TSVMainForm& TProgram::Settings() {
    if (!settings_) settings_ = std::make_unique<TSVMainForm>(*options_, *session_);
    return *settings_;
}

void TProgram::Start(const QString& library) {
    QString path = library;
    if (path.isEmpty()) path = ToQ(options_->LastLibrary());
    while (!path.isEmpty() && !TLibrarySession::FileExists(path))
        path = session_->AskLibraryFile(nullptr);
    session_->OpenAtStart(path);
    if (TSVWinForm* window = NewWindow()) window->show();
}

TSVWinForm* TProgram::NewWindow() {
    if (shuttingDown_) return nullptr;
    auto* window = new TSVWinForm(*this, *session_);
    windows_.push_back(window);
    window->Renumber();
    return window;
}

int TProgram::FreeWindowNumber(const TSVWinForm* window) const {
    for (int n = 1;; ++n) {
        bool used = false;
        for (const TSVWinForm* other : windows_)
            used = used || (other != window && other->Number() == n);
        if (!used) return n;
    }
}

void TProgram::WindowClosing(TSVWinForm* window) {
    ForgetWindow(window);
    if (windows_.empty()) Shutdown();
}

void TProgram::ForgetWindow(TSVWinForm* window) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void TProgram::ShowSettings(QWidget*) {
    Settings().exec();
}

void TProgram::Shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    session_->Close();
    try {
        if (session_->HasFile()) options_->SetLastLibrary(session_->Library().FileName);
        options_->Languages().SaveChoice(options_->Store());
        options_->Save();
    } catch (const EShelvaraError& e) {
        session_->AddLog(ToQ(e.what()));
    }
    QApplication::quit();
}
