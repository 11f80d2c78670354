#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "LibraryGenerator.h"
#include "TestUtils.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookGenre.h"
#include "catalogue/CatalogueLock.h"
#include "catalogue/ListBuilders.h"
#include "catalogue/ListObjects.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/MessageTable.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "shell/BookSelection.h"
#include "shell/Dialogs.h"
#include "shell/DockableForm.h"
#include "shell/LibrarySession.h"
#include "shell/MainWindow.h"
#include "shell/Options.h"
#include "shell/Program.h"
#include "shell/SettingsForm.h"

// Runs the event loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

// Grid rows of count genres named g<first>, g<first + 1>, ...
inline void NumberedGenreRows(TSVD& svd, int count, int first, TObjList& rows) {
    for (int i = 0; i < count; ++i)
        TBookGenre::AddGenre(&svd.Genres, -1, "g" + std::to_string(first + i), true);
    BuildGenreRows(svd, {}, rows);
}

// Takes books out of the catalogue as a resynchronisation does, all under one lock, so that
// their removal notices arrive as one burst; the records are freed once the notices are out.
inline void RemoveInOneBurst(TSVD& svd, const std::vector<TBookInfo*>& books) {
    {
        TCatalogueGuard guard;
        for (TBookInfo* book : books) {
            svd.ForgetBook(book);
            book->Folder->DeleteBook(book);
        }
    }
    svd.FreeRetired();
}

// A main window whose tabs select every book of the library (the book list shows them all),
// with all of them selected in the list and every panel open.
inline void ShowEveryBookSelected(TSVWinForm& window, TSVD& svd) {
    window.Selection().SetSource([&svd](TBookCollection& books) {
        for (const auto& mount : svd.MountPoints)
            mount->CollectBooks(books, true);
    });
    for (int i = 0; i < TSVWinForm::kPanelCount; ++i)
        window.OpenPanel(i);
    window.Selection().SourceChanged();
}

// Runs the event loop until the panel has no refresh waiting (the window's first ones, as it
// shows, come late on a busy machine).
inline bool WaitForIdle(const TDockableForm& panel) {
    return WaitFor([&] { return !panel.RefreshPending(); }, 10000);
}

inline void Flush() {
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// A program on a generated library, with its settings and language files in a temporary folder.
struct Program : ::testing::Test {
    TempDir dir;
    std::string library = (dir / "books.sv2").string();
    std::unique_ptr<TSettingsStore> store;
    std::unique_ptr<TLanguageModule> languages;
    std::unique_ptr<TProgram> program;
    TLibrarySession* session = nullptr;
    TOptions* options = nullptr;

    void SetUp() override {
        Dialogs::Script() = {};
        Dialogs::Script().Active = true;
        TSVD svd;
        GenerateLibrary(svd, 500);
        svd.SaveToFile(Utf8ToAnsi(library));
        Start();
    }

    void Start() {
        store = std::make_unique<TSettingsStore>(dir / "config" / "settings.ini");
        languages = std::make_unique<TLanguageModule>(std::vector<std::filesystem::path>{dir / "lang"});
        languages->Start(*store);
        program = std::make_unique<TProgram>(*store, *languages);
        session = &program->Session();
        options = &program->Options();
        program->Start(QString::fromStdString(library));
    }

    void Stop() {
        while (!program->Windows().empty())
            delete program->Windows().front();
        program.reset();
        Flush();
    }

    void TearDown() override {
        Stop();
        ResetMessageTexts();
    }

    TSVWinForm& Window(size_t i = 0) { return *program->Windows().at(i); }
    TSVD& Svd() { return session->Library(); }
};

// The size of the library a measured test builds: SHELVARA_MEASURE_BOOKS, else 20,000, at
// least minimum.
inline int MeasureBooks(int minimum) {
    const char* env = std::getenv("SHELVARA_MEASURE_BOOKS");
    return std::max(env ? std::atoi(env) : 20000, minimum);
}

inline double MillisBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A program on a library of generated books saved to a file, for the measured tests; prepare
// may change the catalogue (its books' files go under the given folder) before it is saved.
// The program is made but not started.
struct TBigLibrary {
    TempDir Dir;
    std::string File = (Dir / "big.sv2").string();
    TSettingsStore Store{Dir / "settings.ini"};
    TLanguageModule Languages{std::vector<std::filesystem::path>{Dir.Path()}};
    bool Scripted = (Dialogs::Script() = {}, Dialogs::Script().Active = true);  // before the program
    TProgram Hub{Store, Languages};

    explicit TBigLibrary(int books, const std::function<void(TSVD&, const std::filesystem::path&)>& prepare = {}) {
        {
            TSVD svd;
            GenerateLibrary(svd, books);
            if (prepare) prepare(svd, Dir.Path());
            svd.SaveToFile(Utf8ToAnsi(File));
        }
        Dialogs::Script() = {};
        Dialogs::Script().Active = true;
    }
};
