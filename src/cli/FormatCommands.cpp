#include <algorithm>
#include <ostream>

#include "cli/Cli.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "editor/TextFile.h"
#include "format/FormatterSet.h"
#include "settings/SettingsStore.h"

namespace {

struct StoredProfiles {
    TSettingsStore store{TSettingsStore::DefaultFile(kProgramFolder)};
    TFormatterSet set{store, kProgramKey + "\\" + kFormatRulesKey};

    // The stored profile of that name (without regard to case), loaded.
    void Load(const std::string& utf8Name) {
        const std::string name = Utf8ToAnsi(utf8Name);
        for (const TProfileEntry& entry : set.ListProfiles()) {
            if (AnsiSameText(entry.Name, name) && set.LoadProfile(entry.Number)) return;
        }
        RaiseFixedError(Utf8ToAnsi("no stored formatting profile named \"" + utf8Name + "\""));
    }
};

std::string Quoted(const std::string& ansi) {
    return "\"" + Utf8(ansi) + "\"";
}

std::string Character(uint8_t c) {
    return c == 0               ? "none"
           : c < 32 || c == 127 ? "#" + std::to_string(c)
                                : Quoted(std::string(1, static_cast<char>(c)));
}

// The rule's options in a line of text.
std::string Options(const TAbstractFormatterRule& rule) {
    const char* const caseModes[] = {
        "none",           "invert Latin",   "Latin lower", "Latin upper", "invert Cyrillic",
        "Cyrillic lower", "Cyrillic upper", "invert all",  "all lower",   "all upper"};
    const char* const trimModes[] = {"none", "full", "left", "right"};
    const char* const compares[] = {"at most", "at least", "exactly"};
    auto pick = [](const char* const* names, size_t size, uint8_t value) {
        return value < size ? std::string(names[value]) : std::to_string(value);
    };
    switch (rule.TypeId()) {
        case rtParagraph: {
            const auto& r = static_cast<const TParagraphRule&>(rule);
            const char* const modes[] = {"left", "right", "centre", "full"};
            return r.Mode == TParagraphRule::pmSingleLine
                       ? "paragraph to one line"
                       : "width " + std::to_string(r.Width) + ", " + pick(modes, 4, r.Mode);
        }
        case rtChangeChar: {
            const auto& r = static_cast<const TChangeCharRule&>(rule);
            return Character(r.FromChar) + " to " + Character(r.ToChar);
        }
        case rtReplaceText: {
            const auto& r = static_cast<const TReplaceTextRule&>(rule);
            return Quoted(r.FindText) + " to " + Quoted(r.ReplaceText) + (r.CaseSensitive ? ", case-sensitive" : "");
        }
        case rtRemoveEmptyString:
            return "keep " + std::to_string(static_cast<const TRemoveEmptyStringRule&>(rule).MaxEmpty);
        case rtLeftIdent:
        case rtParagraphIdent: {
            const auto& r = static_cast<const TLeftIdentRule&>(rule);
            return pick(compares, 3, r.Compare) + " " + std::to_string(r.Count);
        }
        case rtCRLF: {
            const char* const targets[] = {"CR", "LF", "CR LF"};
            return "to " + pick(targets, 3, static_cast<const TCRLFRule&>(rule).Target);
        }
        case rtTabToSpaces:
            return std::to_string(static_cast<const TTabToSpacesRule&>(rule).Spaces) + " spaces";
        case rtRegisterManage: {
            const auto& r = static_cast<const TRegisterManageRule&>(rule);
            return "text " + pick(caseModes, 10, r.TextMode) + ", sentence start " +
                   pick(caseModes, 10, r.FirstLetterMode);
        }
        case rtNoMoreSymb: {
            const auto& r = static_cast<const TNoMoreSymbRule&>(rule);
            return "at most " + std::to_string(r.MaxRun) + " of " + Character(r.Symbol);
        }
        case rtTextShift: {
            const auto& r = static_cast<const TTextShiftRule&>(rule);
            return std::string(r.ToRight ? "right " : "left ") + std::to_string(r.Count);
        }
        case rtTextTrim: {
            const auto& r = static_cast<const TTextTrimRule&>(rule);
            return "text " + pick(trimModes, 4, r.TextTrim) + ", lines " + pick(trimModes, 4, r.LineTrim);
        }
        case rtRemoveHTMLTags:
            return "tags up to " + std::to_string(static_cast<const TRemoveHTMLTagsRule&>(rule).MaxTagLength);
        case rtRemoveLines: {
            std::string list;
            for (const std::string& line : static_cast<const TRemoveLinesRule&>(rule).Lines)
                list += (list.empty() ? "" : ", ") + Quoted(line);
            return "containing " + (list.empty() ? "nothing" : list);
        }
        default:
            return {};
    }
}

int RunFormat(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {}, {"--profile", "--rules"});
    a.ExpectPositionals(1, 2);
    if (a.Has("--profile") && a.Has("--rules")) throw CliUsageError{"--profile and --rules exclude each other"};
    StoredProfiles profiles;
    if (a.Has("--rules")) {
        const std::vector<uint8_t> value = ReadWholeFile(a.Value("--rules"));
        TRuleReader in(value);
        profiles.set.ReadRules(in);
    } else if (a.Has("--profile")) {
        profiles.Load(a.Value("--profile"));
    } else {
        profiles.set.LoadDefaultProfile();
    }
    if (profiles.set.Count() == 0) RaiseFixedError(Utf8ToAnsi("the formatting profile has no rules"));

    std::vector<uint8_t> bytes = ReadWholeFile(a.Positionals()[0]);
    if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end())
        RaiseFixedError(Utf8ToAnsi(a.Positionals()[0] +
                                   " holds NUL bytes (UTF-16 or not a text?); save it as UTF-8 or a single-byte code "
                                   "page to format it"));
    // Read as the editor reads a text, and written back in the encoding it came in.
    const TDecodedText decoded = DecodeTextFile(bytes);
    std::string text = decoded.Text;
    const bool changed = profiles.set.Apply(text);
    if (!decoded.Lossless)
        err << "shelvara-cli format: warning: the text holds characters Windows-1251 lacks; they are replaced in "
               "the result\n";
    if (a.Positionals().size() > 1) {
        const std::vector<uint8_t> encoded = EncodeTextFile(text, decoded.Encoding, decoded.Bom);
        ReplaceFile(a.Positionals()[1], encoded.data(), encoded.size());
    } else {
        out << Utf8(text);
    }
    err << "shelvara-cli format: " << profiles.set.Count() << " rules, text " << (changed ? "changed" : "unchanged")
        << "\n";
    return 0;
}

int RunProfiles(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    CliArgs a(args, {}, {"--export"});
    a.ExpectPositionals(0, 1);
    StoredProfiles profiles;
    if (a.Has("--export")) {
        if (a.Positionals().size() != 1) throw CliUsageError{"--export NAME needs the FILE to write"};
        profiles.Load(a.Value("--export"));
        const std::vector<uint8_t> value = profiles.set.WriteRules();
        ReplaceFile(a.Positionals()[0], value.data(), value.size());
        return 0;
    }
    a.ExpectPositionals(0, 0);
    const std::string defaultSet =
        profiles.store.ReadString(kProgramKey + "\\" + kFormatRulesKey, "DefaultSet").value_or("");
    for (const TProfileEntry& entry : profiles.set.ListProfiles()) {
        const bool isDefault = AnsiSameText(defaultSet, TFormatterSet::Prefix(entry.Number));
        out << entry.Number << "\t" << Utf8(entry.Name) << (isDefault ? "\t(default)" : "") << "\n";
        profiles.set.LoadProfile(entry.Number);
        for (int32_t i = 0; i < profiles.set.Count(); ++i) {
            const TAbstractFormatterRule& rule = profiles.set.Rule(i);
            out << "  " << i + 1 << ". " << Utf8(TAbstractFormatterRule::Caption(rule.TypeId()));
            if (!rule.Name.empty()) out << " " << Quoted(rule.Name);
            const std::string options = Options(rule);
            if (!options.empty()) out << ": " << options;
            out << "\n";
        }
    }
    return 0;
}

}  // namespace

std::vector<CliCommand> FormatCommands() {
    return {
        {"format", "format [--profile NAME | --rules FILE] IN [OUT]",
         "Apply a stored formatting profile (the default one unless named), or the rules of a file written by "
         "profiles --export, to a text file; the result is Windows-1251 in OUT, or UTF-8 on standard output.",
         RunFormat},
        {"profiles", "profiles [--export NAME FILE]",
         "List the stored formatting profiles with their rules, or write one profile's rules to FILE.", RunProfiles},
    };
}
