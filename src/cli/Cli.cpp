#include "cli/Cli.h"

#include <signal.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <ostream>

#include "catalogue/LibraryLock.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/MessageTable.h"
#include "common/Progress.h"
#include "common/TextUtils.h"
#include "scan/PackerArchiveAccess.h"
#include "settings/LanguageFiles.h"

std::vector<CliCommand> CliCommandTable() {
    std::vector<CliCommand> commands = CatalogueCommands();
    for (CliCommand& c : Fb2Commands())
        commands.push_back(std::move(c));
    for (CliCommand& c : ScanCommands())
        commands.push_back(std::move(c));
    for (CliCommand& c : DupCommands())
        commands.push_back(std::move(c));
    for (CliCommand& c : FormatCommands())
        commands.push_back(std::move(c));
    for (CliCommand& c : ServeCommands())
        commands.push_back(std::move(c));
    return commands;
}

namespace {

void PrintOverview(std::ostream& os, const std::vector<CliCommand>& commands) {
    os << "Usage: shelvara-cli COMMAND [ARGS]\n" << kCliDescription << "\n\nCommands:\n";
    for (const CliCommand& c : commands)
        os << "  " << c.usage << "\n      " << c.summary << "\n";
    os << "\nRun shelvara-cli COMMAND --help for one command.\n" << kCliNotes << "\n";
}

bool WantsHelp(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--help") != args.end() ||
           std::find(args.begin(), args.end(), "-h") != args.end();
}

}  // namespace

CliArgs::CliArgs(const std::vector<std::string>& args, const std::vector<std::string>& flagOptions,
                 const std::vector<std::string>& valueOptions) {
    auto contains = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            if (contains(flagOptions, a)) {
                options_.emplace_back(a, std::string());
            } else if (contains(valueOptions, a)) {
                if (i + 1 >= args.size()) throw CliUsageError{"option " + a + " needs a value"};
                options_.emplace_back(a, args[++i]);
            } else {
                throw CliUsageError{"unknown option " + a};
            }
        } else {
            positionals_.push_back(a);
        }
    }
}

std::vector<std::string> CliArgs::Values(const std::string& option) const {
    std::vector<std::string> values;
    for (const auto& [name, value] : options_)
        if (name == option) values.push_back(value);
    return values;
}

bool CliArgs::Has(const std::string& option) const {
    return std::any_of(options_.begin(), options_.end(), [&](const auto& o) { return o.first == option; });
}

std::string CliArgs::Value(const std::string& option, const std::string& fallback) const {
    // The last occurrence wins, as in most command-line tools.
    for (auto it = options_.rbegin(); it != options_.rend(); ++it)
        if (it->first == option) return it->second;
    return fallback;
}

int CliArgs::Number(const std::string& option, int fallback, int low, int high) const {
    const std::string text = Value(option);
    if (text.empty()) return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || value < low || value > high)
        throw CliUsageError{option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high)};
    return static_cast<int>(value);
}

std::string Utf8(const std::string& ansi) {
    return AnsiToUtf8(ansi);
}

void AttachArchiveReader(TSVD& svd) {
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
}

namespace {

std::vector<std::filesystem::path>& LanguageFolders() {
    static std::vector<std::filesystem::path> folders;
    return folders;
}

}  // namespace

bool UseLanguageOf(const std::string& locale, const std::vector<std::filesystem::path>& folders) {
    LanguageFolders() = folders;
    const std::string code = locale.substr(0, std::min(locale.find_first_of("_.@"), locale.size()));
    if (AnsiSameText(code, "C") || AnsiSameText(code, "POSIX")) return false;
    TLanguageModule languages(folders);
    languages.Rescan();
    const std::filesystem::path file = languages.FileOf(code);
    return !file.empty() && languages.LoadFile(file);
}

std::string TypedPath(const std::string& typed) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(typed), error);
    if (error) path = typed;
    std::string text = PathToAnsi(path.lexically_normal());
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool UseLanguageCode(const std::string& code) {
    if (AnsiSameText(code, "ru")) {
        ResetMessageTexts();
        return true;
    }
    TLanguageModule languages(LanguageFolders());
    languages.Rescan();
    const std::filesystem::path file = languages.FileOf(code);
    if (file.empty()) return false;
    ResetMessageTexts();
    return languages.LoadFile(file);
}

void LoadLibrary(TSVD& svd, const std::string& ansiPath, std::ostream& err) {
    svd.LoadFromFile(ansiPath);
    for (const std::string& warning : svd.LoadWarnings)
        err << "shelvara-cli: warning: " << PrintableText(Utf8(warning)) << "\n";
}

TCancelFlag& StopRequest() {
    static TCancelFlag flag;
    return flag;
}

namespace {

extern "C" void OnStopSignal(int signal) {
    StopRequest().Cancel();
    // The next one is not caught: a user who presses Ctrl+C twice wants out now.
    std::signal(signal, SIG_DFL);
}

}  // namespace

void InstallStopSignals() {
    StopRequest();  // constructed before any signal can arrive
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

std::unique_ptr<TLibraryLock> LockLibrary(const std::string& ansiPath, const char* command) {
    return std::make_unique<TLibraryLock>(ansiPath, std::string("shelvara-cli ") + command);
}

void CliArgs::ExpectPositionals(size_t min, size_t max) const {
    if (positionals_.size() < min) throw CliUsageError{"missing argument"};
    if (positionals_.size() > max) throw CliUsageError{"unexpected argument " + positionals_[max]};
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::vector<CliCommand> commands = CliCommandTable();
    if (args.empty()) {
        PrintOverview(err, commands);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintOverview(out, commands);
        return 0;
    }
    auto command =
        std::find_if(commands.begin(), commands.end(), [&](const CliCommand& c) { return args[0] == c.name; });
    if (command == commands.end()) {
        err << "shelvara-cli: unknown command '" << args[0] << "'\n\n";
        PrintOverview(err, commands);
        return 2;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (WantsHelp(rest)) {
        out << "Usage: shelvara-cli " << command->usage << "\n" << command->summary << "\n";
        return 0;
    }
    try {
        return command->run(rest, out, err);
    } catch (const CliUsageError& e) {
        err << "shelvara-cli " << command->name << ": " << e.message << "\nUsage: shelvara-cli " << command->usage
            << "\n";
        return 2;
    } catch (const EShelvaraError& e) {
        err << "shelvara-cli " << command->name << ": " << AnsiToUtf8(e.what()) << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "shelvara-cli " << command->name << ": " << e.what() << "\n";
        return 1;
    }
}
