#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

#ifndef SHELVARA_DATA_DIR
#define SHELVARA_DATA_DIR "/usr/local/share/shelvara"
#endif

namespace {

// The locale's language for messages, as the environment names it for them.
std::string MessagesLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Language files next to the program, in a build tree beside the desktop program, and in the
    // program's data folder; never the current directory.
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    UseLanguageOf(MessagesLocale(), {exe, exe / "lang", exe.parent_path() / "app" / "lang",
                                     exe.parent_path() / "share" / "shelvara", SHELVARA_DATA_DIR});
    InstallStopSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = RunCli(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
