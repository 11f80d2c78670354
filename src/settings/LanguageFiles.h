#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/MessageTable.h"

class TSettingsStore;

// Reads one line of a language file: blanks, a key of letters and digits, blanks, "=", blanks,
// a text in single quotes ('' for a quote, ^M for CR LF). False for a line of any other shape.
bool ParseLanguageLine(std::string_view line, std::string& key, std::string& text);

// A complete language file of the message table's current texts: the LangName and LangCode
// lines, then one line per message, in id order. Windows-1251, CR LF line ends.
std::string LanguageFileText(const std::string& name, const std::string& code);

// The language files (*.lng, Windows-1251) of the program: found in the given folders (next to
// the executable and the program's data folder; never the current directory), one loaded into
// the message table, the choice kept as `LangFile` under the program's key.
class TLanguageModule final {
public:
    struct TLanguage {
        std::string Name;  // engine text
        std::filesystem::path Path;
        std::string Code;  // the file's LangCode ("ru", "en"), lower case; may be empty
    };

    explicit TLanguageModule(std::vector<std::filesystem::path> folders);

    // Rebuilds the list from the folders; files whose first line is no LangName line are left out.
    void Rescan();
    int Count() const { return static_cast<int>(languages_.size()); }
    std::string Name(int index) const;
    const std::vector<TLanguage>& Languages() const { return languages_; }
    // The file of a language by its two-letter code (any case), or empty.
    std::filesystem::path FileOf(const std::string& code) const;
    // The index of the current file in the list, or -1.
    int CurrentIndex() const;
    const std::filesystem::path& CurrentFile() const { return current_; }

    // True without reading when index is the current file's.
    bool LoadLanguage(int index);
    // Applies the file's lines to the message table; true when it was read to its end. An empty
    // or missing path falls back to the only language file when there is exactly one.
    bool LoadFile(std::filesystem::path path);

    // At start: rescan, take the stored choice and load it. Without one, the file of the
    // user's language (a two-letter code), else English, else the only file.
    void Start(const TSettingsStore& store, const std::string& userLanguage = {});
    // At the end: the current choice back into the store (not saved to disk here).
    void SaveChoice(TSettingsStore& store) const;

private:
    std::vector<std::filesystem::path> folders_;
    std::vector<TLanguage> languages_;
    std::filesystem::path current_;
};
