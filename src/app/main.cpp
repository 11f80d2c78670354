#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>
#include <cstring>
#include <filesystem>

#include "app/ProgramOptions.h"
#include "catalogue/CellValue.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"
#include "shell/BookViewerWindow.h"
#include "shell/EditorWindow.h"
#include "shell/EndSignals.h"
#include "shell/LibrarySession.h"
#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "shell/RenderCommand.h"
#include "shell/Screenshots.h"

#ifndef SHELVARA_DATA_DIR
#define SHELVARA_DATA_DIR "/usr/local/share/shelvara"
#endif

int main(int argc, char** argv) {
    // Pictures of pages need no display.
    const bool render = IsRenderCommand(argc, argv);
    // Neither pictures of pages nor the help text need a display.
    bool help = false;
    for (int i = 1; i < argc; ++i)
        help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
               std::strcmp(argv[i], "--help-all") == 0 || std::strcmp(argv[i], "-v") == 0 ||
               std::strcmp(argv[i], "--version") == 0;
    if ((render || help) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (render) return RunRenderCommand(QApplication::arguments());
    QApplication::setApplicationName("shelvara");
    QApplication::setApplicationDisplayName("Shelvara");
    QApplication::setDesktopFileName("io.github.shelvara.Shelvara");
    // The program ends when its last main window has closed.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(kProgramDescription);
    parser.addHelpOption();
    parser.addPositionalArgument(kProgramArgumentName, kProgramArgumentDescription);
    // --render is handled before the others; it is listed so that the help tells of it.
    for (const TProgramOption& option : kProgramOptions)
        parser.addOption(QCommandLineOption(option.Name, option.Description, option.ValueName));
    const QCommandLineOption screenshots("screenshots");
    const QCommandLineOption edit("edit");
    parser.process(app);

    // Language files next to the executable and in the program's data folder, never the
    // current directory.
    const std::filesystem::path exe = QApplication::applicationDirPath().toStdString();
    TLanguageModule languages({exe, exe / "lang", exe.parent_path() / "share" / "shelvara", SHELVARA_DATA_DIR});
    TSettingsStore store(TSettingsStore::DefaultFile(kProgramFolder));
    // Grids write dates as the user's locale does, where it writes them in numbers.
    SetShortDateFormat(QLocale::system().dateFormat(QLocale::ShortFormat).toStdString());
    languages.Start(store, QLocale::system().name().left(2).toStdString());

    if (parser.isSet(edit)) {
        auto* editor = new TEditorWindow(store);
        editor->show();
        if (!editor->OpenFile(QDir::current().absoluteFilePath(parser.value(edit)))) return 1;
        QApplication::setQuitOnLastWindowClosed(true);
        return QApplication::exec();
    }

    TProgram program(store, languages);
    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty() && TBookViewerWindow::IsBookFile(args.front())) {
        auto* viewer = new TBookViewerWindow(program.Session());
        if (!viewer->OpenBook(QDir::current().absoluteFilePath(args.front()))) return 1;
        QApplication::setQuitOnLastWindowClosed(true);
        const int status = QApplication::exec();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return status;
    }
    // A logout or kill ends the program as a close does: asking nothing, the library saved if
    // autosave on exit would save it, its lock released.
    const TEndSignals endSignals([&program] { program.Shutdown(); });
    program.Start(args.isEmpty() ? QString() : QDir::current().absoluteFilePath(args.front()),
                  !parser.isSet(screenshots));
    if (parser.isSet(screenshots)) {
        const QDir dir(parser.value(screenshots));
        QTimer::singleShot(300, &app, [&program, dir] { TakeScreenshots(program, dir.path()); });
    }
    const int status = QApplication::exec();
    // Closed windows waiting for deletion go while the session they tell still exists.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
