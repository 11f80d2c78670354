#pragma once

#include <filesystem>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Runs shelvara-cli with its arguments (UTF-8, without the program name). Returns the exit
// status: 0 success, 1 an error (message on err), 2 bad usage (usage on err).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Bad usage of a command; RunCli prints the command's usage and returns 2.
struct CliUsageError {
    std::string message;
};

// Arguments of one command split into positionals and options.
class CliArgs final {
public:
    // valueOptions take the next argument as their value ("--sort COLUMN"); flagOptions stand
    // alone. Anything else that starts with "--" is a usage error.
    CliArgs(const std::vector<std::string>& args, const std::vector<std::string>& flagOptions,
            const std::vector<std::string>& valueOptions);

    const std::vector<std::string>& Positionals() const { return positionals_; }
    bool Has(const std::string& option) const;
    std::string Value(const std::string& option, const std::string& fallback = {}) const;
    // Every value given for an option, in order.
    std::vector<std::string> Values(const std::string& option) const;
    // The option's decimal value, fallback when absent; a usage error unless it lies in [low, high].
    int Number(const std::string& option, int fallback, int low, int high) const;
    // Fails with a usage error unless the number of positionals lies in [min, max].
    void ExpectPositionals(size_t min, size_t max) const;

private:
    std::vector<std::string> positionals_;
    std::vector<std::pair<std::string, std::string>> options_;
};

class TSVD;
class TLibraryLock;
class TCancelFlag;

// Set by SIGINT and SIGTERM once InstallStopSignals ran: long commands stop at the next file
// and save what they did. A second signal ends the program at once.
TCancelFlag& StopRequest();
void InstallStopSignals();

// Takes the writer's lock of a library for a command that loads, changes and saves it.
std::unique_ptr<TLibraryLock> LockLibrary(const std::string& ansiPath, const char* command);

// Engine text as UTF-8 for the terminal and JSON.
std::string Utf8(const std::string& ansi);
// Puts the messages in the language of a locale ("en_GB.UTF-8") when one of the folders holds a
// language file for it; the built-in texts stay for "C", "POSIX", an empty locale or a language
// without a file. True when a file was loaded.
bool UseLanguageOf(const std::string& locale, const std::vector<std::filesystem::path>& folders);
// A book or folder path as a person typed it (UTF-8, maybe relative, with "./", ".." or doubled
// slashes): absolute and lexically normal, without a trailing slash, as engine text.
std::string TypedPath(const std::string& typed);

// Puts the messages in a language by its code ("en"), from the folders the last UseLanguageOf
// searched; "ru" is built in. False when there is no file for it.
bool UseLanguageCode(const std::string& code);

// Loads a library file, telling err what the load had to leave out.
void LoadLibrary(TSVD& svd, const std::string& ansiPath, std::ostream& err);
// Gives a catalogue its reader of ZIP archives, for commands that read packed books.
void AttachArchiveReader(TSVD& svd);

struct CliCommand {
    const char* name;
    const char* usage;    // "info LIB [--json]"
    const char* summary;  // one line for the command list
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)> run;
};

// Every command, in the order the help lists them; the manual page is made from the same table.
std::vector<CliCommand> CliCommandTable();
inline constexpr const char* kCliDescription = "Batch work on Shelvara library files (.sv2, .svd).";
inline constexpr const char* kCliNotes =
    "Commands that change a library lock it while they run; a second one refuses. scan, resync, pack and\n"
    "dups stop cleanly on Ctrl+C or SIGTERM and save what they did; a second Ctrl+C ends at once.";

// The commands of each subsystem, in the order the help lists them.
std::vector<CliCommand> CatalogueCommands();
std::vector<CliCommand> Fb2Commands();
std::vector<CliCommand> ScanCommands();
std::vector<CliCommand> DupCommands();
std::vector<CliCommand> FormatCommands();
std::vector<CliCommand> ServeCommands();
