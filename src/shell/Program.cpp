#include "shell/Program.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>
#include <filesystem>

#include "catalogue/SVD.h"
#include "common/Error.h"
#include "common/MessageIds.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "settings/ui/QtText.h"
#include "shell/AuthorManageForm.h"
#include "shell/DemoLibrary.h"
#include "shell/Dialogs.h"
#include "shell/LibrarySession.h"
#include "shell/Options.h"
#include "shell/SettingsForm.h"

TProgram::TProgram(TSettingsStore& store, TLanguageModule& languages)
    : options_(std::make_unique<TOptions>(store, languages)), session_(std::make_unique<TLibrarySession>(*options_)) {
    LoadQtTranslation();
    connect(options_.get(), &TOptions::languageChanged, this, &TProgram::LoadQtTranslation);
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

void TProgram::Start(const QString& library, bool askFirstStart) {
    QString path = library;
    if (path.isEmpty()) path = ToQ(options_->LastLibrary());
    if (path.isEmpty()) {
        if (!askFirstStart || Dialogs::Script().Active) return FirstStart(TFirstStartForm::Empty);
        TFirstStartForm form;
        return FirstStart(form.exec() == QDialog::Accepted ? form.Choice() : TFirstStartForm::Empty);
    }
    while (!path.isEmpty() && !TLibrarySession::FileExists(path))
        path = session_->AskLibraryFile(nullptr);
    OpenFirstWindow(path);
}

void TProgram::OpenFirstWindow(const QString& library) {
    // A library another program holds: another one is chosen, or the program ends rather than
    // show an empty library the reader did not ask for.
    for (QString path = library; !session_->OpenAtStart(path);) {
        path = session_->AskLibraryFile(nullptr);
        if (path.isEmpty()) {
            ended_ = true;
            QTimer::singleShot(0, this, [this] { Shutdown(); });
            return;
        }
    }
    // Kept at once: the next start opens this library even if this one ends badly.
    if (session_->HasFile()) options_->SetLastLibrary(session_->Library().FileName);
    if (TSVWinForm* window = NewWindow()) window->show();
}

void TProgram::FirstStart(TFirstStartForm::TChoice choice, const QString& folder) {
    switch (choice) {
        case TFirstStartForm::Open:
            return OpenFirstWindow(session_->AskLibraryFile(nullptr));
        case TFirstStartForm::Demo: {
            QString library;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            try {
                library = MakeDemoLibrary(UserDataFolder() + "/demo");
            } catch (const std::exception& e) {
                Dialogs::Error(nullptr, QString::fromLocal8Bit(e.what()));
            }
            QApplication::restoreOverrideCursor();
            return OpenFirstWindow(library);
        }
        case TFirstStartForm::NewOnFolder: {
            const QString books = folder.isEmpty() ? Dialogs::DirectoryName(nullptr, Msg(rsFindMountPoint)) : folder;
            if (books.isEmpty()) return OpenFirstWindow({});
            // The library file goes to the user's data folder: nothing more to ask a newcomer.
            QString library;
            try {
                std::filesystem::create_directories(UserDataFolder().toStdString());
                library = UserDataFolder() + "/library.sv2";
                for (int n = 2; std::filesystem::exists(library.toStdString()); ++n)
                    library = UserDataFolder() + QString("/library-%1.sv2").arg(n);
                TSVD().SaveToFile(FromQ(library));
            } catch (const std::exception& e) {
                Dialogs::Error(nullptr, ToQ(e.what()));
                library.clear();
            }
            OpenFirstWindow(library);
            if (windows_.empty()) return;
            TSVWinForm* window = windows_.front();
            Dialogs::Guard(window, [&] { session_->AddFolder(window, books, window); });
            return;
        }
        case TFirstStartForm::Empty:
            return OpenFirstWindow({});
    }
}

void TProgram::LoadQtTranslation() {
    // Qt's own texts (the buttons of message boxes, the file dialogs) in the program's language.
    const int current = options_->Languages().CurrentIndex();
    const std::string code = current >= 0 ? options_->Languages().Languages()[static_cast<size_t>(current)].Code : "ru";
    if (qtTranslator_) QCoreApplication::removeTranslator(qtTranslator_.get());
    qtTranslator_ = std::make_unique<QTranslator>();
    if (qtTranslator_->load(QString::fromStdString("qtbase_" + (code.empty() ? std::string("en") : code)),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator_.get());
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
