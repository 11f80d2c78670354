// Writes the manual pages of both programs and the shell completion of shelvara-cli from the
// tables --help prints, so that neither can drift from the programs.
//   shelvara-make-man DIR VERSION
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/ProgramOptions.h"
#include "cli/Cli.h"
#include "cli/Thumbnailer.h"

namespace {

// Text for roff: backslashes and minus signs escaped, no line opening with a control character.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        if (c == '\n') out += "\\&";
    }
    return (!out.empty() && (out[0] == '.' || out[0] == '\'')) ? "\\&" + out : out;
}

void WriteGuiPage(const std::filesystem::path& file, const std::string& version) {
    std::ofstream out(file);
    out << ".TH SHELVARA 1 \"\" \"Shelvara " << version << "\" \"User Commands\"\n"
        << ".SH NAME\nshelvara \\- " << Roff(kProgramDescription) << "\n"
        << ".SH SYNOPSIS\n.B shelvara\n[\\fIOPTIONS\\fR] [\\fI" << kProgramArgumentName << "\\fR]\n"
        << ".SH DESCRIPTION\n"
        << Roff(kProgramArgumentDescription) << "\n"
        << "Without an argument the library used last is opened.\n"
        << ".SH OPTIONS\n";
    for (const TProgramOption& option : kProgramOptions) {
        out << ".TP\n.B \\-\\-" << Roff(option.Name);
        if (*option.ValueName) out << " \\fI" << Roff(option.ValueName) << "\\fR";
        out << "\n" << Roff(option.Description) << "\n";
    }
    out << ".TP\n.B \\-h, \\-\\-help\nShow the options and end.\n"
        << ".SH SEE ALSO\n.BR shelvara\\-cli (1)\n";
}

void WriteCliPage(const std::filesystem::path& file, const std::string& version) {
    std::ofstream out(file);
    out << ".TH SHELVARA\\-CLI 1 \"\" \"Shelvara " << version << "\" \"User Commands\"\n"
        << ".SH NAME\nshelvara\\-cli \\- " << Roff(kCliDescription) << "\n"
        << ".SH SYNOPSIS\n.B shelvara\\-cli\n\\fICOMMAND\\fR [\\fIARGS\\fR]\n"
        << ".br\n.B shelvara\\-cli\n\\fICOMMAND\\fR \\-\\-help\n"
        << ".SH DESCRIPTION\n"
        << Roff(kCliDescription) << "\n"
        << "Messages follow the locale's language where a language file for it is installed.\n"
        << ".SH COMMANDS\n";
    for (const CliCommand& c : CliCommandTable())
        out << ".TP\n.B " << Roff(c.usage) << "\n" << Roff(c.summary) << "\n";
    out << ".SH NOTES\n"
        << Roff(kCliNotes) << "\n"
        << ".SH EXIT STATUS\n0 on success, 1 on an error (told on the standard error), 2 on bad usage.\n"
        << ".SH SEE ALSO\n.BR shelvara (1)\n";
}

void WriteThumbnailerPage(const std::filesystem::path& file, const std::string& version) {
    std::ofstream out(file);
    out << ".TH SHELVARA\\-THUMBNAILER 1 \"\" \"Shelvara " << version << "\" \"User Commands\"\n"
        << ".SH NAME\nshelvara\\-thumbnailer \\- cover thumbnails of FB2 books\n"
        << ".SH SYNOPSIS\n.B " << Roff(kThumbnailerUsage) << "\n"
        << ".SH DESCRIPTION\n"
        << Roff(kThumbnailerSummary) << "\n"
        << ".SH SEE ALSO\n.BR shelvara (1)\n";
}

void WriteCompletion(const std::filesystem::path& file) {
    std::ofstream out(file);
    const std::regex option("--[a-z][a-z-]*");
    std::string names;
    std::string cases;
    for (const CliCommand& c : CliCommandTable()) {
        names += (names.empty() ? "" : " ") + std::string(c.name);
        std::set<std::string> options;
        const std::string usage = c.usage;
        for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it)
            options.insert(it->str());
        std::string list = "--help";
        for (const std::string& o : options)
            list += " " + o;
        cases += "        " + std::string(c.name) + ") options=\"" + list + "\" ;;\n";
    }
    out << "# bash completion for shelvara-cli, made from its command table\n"
        << "_shelvara_cli() {\n"
        << "    local cur prev words cword options\n"
        << "    _init_completion || return\n"
        << "    if ((cword == 1)); then\n"
        << "        COMPREPLY=($(compgen -W \"" << names << " --help\" -- \"$cur\"))\n"
        << "        return\n"
        << "    fi\n"
        << "    case ${words[1]} in\n"
        << cases << "        *) options=\"--help\" ;;\n"
        << "    esac\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "    elif ((cword == 2)); then\n"
        << "        _filedir '@(sv2|svd)'\n"
        << "    else\n"
        << "        _filedir\n"
        << "    fi\n"
        << "}\n"
        << "complete -F _shelvara_cli shelvara-cli\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: shelvara-make-man DIR VERSION\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    WriteGuiPage(dir / "shelvara.1", argv[2]);
    WriteCliPage(dir / "shelvara-cli.1", argv[2]);
    WriteThumbnailerPage(dir / "shelvara-thumbnailer.1", argv[2]);
    WriteCompletion(dir / "shelvara-cli");
    return 0;
}
