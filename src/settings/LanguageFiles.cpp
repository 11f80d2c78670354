#include "settings/LanguageFiles.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "common/Encoding.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "settings/SettingsStore.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The first line of a file: at most 8191 bytes, cut at NUL, CR or LF.
// The first lines of a file, read from its first 8 KiB.
std::vector<std::string> HeadLines(const std::filesystem::path& path, size_t count) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string head(8191, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    head = head.substr(0, head.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    while (lines.size() < count && start < head.size()) {
        size_t end = head.find_first_of("\r\n", start);
        if (end == std::string::npos) end = head.size();
        lines.push_back(head.substr(start, end - start));
        start = head.find_first_not_of("\r\n", end);
        if (start == std::string::npos) break;
    }
    return lines;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\'') {
            out += "''";
        } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "^M";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out + "'";
}

bool IsLanguageFile(const std::filesystem::directory_entry& entry) {
    std::error_code error;
    if (!entry.is_regular_file(error)) return false;
    return AnsiSameText(entry.path().extension().string(), ".lng");
}

}  // namespace

bool ParseLanguageLine(std::string_view line, std::string& key, std::string& text) {
    size_t at = 0;
    auto blanks = [&] {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
    };
    blanks();
    const size_t keyStart = at;
    while (at < line.size() && IsKeyChar(line[at]))
        ++at;
    if (at == keyStart) return false;
    const std::string_view k = line.substr(keyStart, at - keyStart);
    blanks();
    if (at >= line.size() || line[at] != '=') return false;
    ++at;
    blanks();
    if (at >= line.size() || line[at] != '\'') return false;
    ++at;
    std::string t;
    for (;; ++at) {
        if (at >= line.size()) return false;  // no closing quote
        if (line[at] == '\'') {
            if (at + 1 < line.size() && line[at + 1] == '\'') {
                t += '\'';
                ++at;
                continue;
            }
            break;
        }
        t += line[at];
    }
    std::string expanded;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '^' && i + 1 < t.size() && t[i + 1] == 'M') {
            expanded += "\r\n";
            ++i;
        } else {
            expanded += t[i];
        }
    }
    key.assign(k);
    text = std::move(expanded);
    return true;
}

TLanguageModule::TLanguageModule(std::vector<std::filesystem::path> folders) : folders_(std::move(folders)) {}

void TLanguageModule::Rescan() {
    languages_.clear();
    for (const std::filesystem::path& folder : folders_) {
        std::error_code error;
        std::vector<std::filesystem::path> files;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            if (IsLanguageFile(*it)) files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files) {
            const std::vector<std::string> lines = HeadLines(file, 8);
            std::string key, name;
            if (lines.empty() || !ParseLanguageLine(lines.front(), key, name) || !AnsiSameText(key, "LangName"))
                continue;
            std::string code;
            for (const std::string& line : lines)
                if (std::string k, text; ParseLanguageLine(line, k, text) && AnsiSameText(k, "LangCode"))
                    code = AnsiLowerCase(TrimBlanks(text));
            languages_.push_back({name, file, code});
        }
    }
}

std::string TLanguageModule::Name(int index) const {
    return index >= 0 && index < Count() ? languages_[static_cast<size_t>(index)].Name : std::string();
}

int TLanguageModule::CurrentIndex() const {
    if (current_.empty()) return -1;
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(languages_[static_cast<size_t>(i)].Path.string(), current_.string())) return i;
    return -1;
}

bool TLanguageModule::LoadLanguage(int index) {
    if (index < 0 || index >= Count()) return false;
    if (index == CurrentIndex()) return true;
    return LoadFile(languages_[static_cast<size_t>(index)].Path);
}

bool TLanguageModule::LoadFile(std::filesystem::path path) {
    std::error_code error;
    if ((path.empty() || !std::filesystem::is_regular_file(path, error)) && Count() == 1)
        path = languages_.front().Path;
    if (path.empty()) return false;
    // A bare name is looked for in the program's own folders, never the current directory.
    if (!path.has_parent_path()) {
        for (const std::filesystem::path& folder : folders_) {
            if (std::filesystem::is_regular_file(folder / path, error)) {
                path = folder / path;
                break;
            }
        }
    }
    if (!path.has_parent_path() || !std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start <= content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) end = content.size();
        std::string key, text;
        if (ParseLanguageLine(std::string_view(content).substr(start, end - start), key, text)) {
            if (const int id = FindMessageByKey(key)) SetMessageText(id, text);
        }
        start = end + 1;
    }
    if (in.bad()) return false;
    current_ = path;
    return true;
}

std::filesystem::path TLanguageModule::FileOf(const std::string& code) const {
    const std::string wanted = AnsiLowerCase(code);
    for (const TLanguage& language : languages_)
        if (!wanted.empty() && language.Code == wanted) return language.Path;
    return {};
}

void TLanguageModule::Start(const TSettingsStore& store, const std::string& userLanguage) {
    Rescan();
    current_ = AnsiToUtf8(TrimBlanks(store.ReadString(kProgramKey, "LangFile").value_or("")));
    if (current_.empty()) {
        // No choice yet: the user's own language, else English for everyone else.
        current_ = FileOf(userLanguage);
        if (current_.empty()) current_ = FileOf("en");
    }
    LoadFile(current_);
}

std::string LanguageFileText(const std::string& name, const std::string& code) {
    std::string out = "LangName = " + Quoted(name) + "\r\nLangCode = " + Quoted(code) + "\r\n";
    for (const auto& [first, last] : {std::pair{kFirstInterfaceId, kLastInterfaceId}, {kFirstErrorId, kLastErrorId}})
        for (int id = first; id <= last; ++id)
            if (!MessageKey(id).empty()) out += MessageKey(id) + " = " + Quoted(MessageText(id)) + "\r\n";
    return out;
}

void TLanguageModule::SaveChoice(TSettingsStore& store) const {
    store.WriteString(kProgramKey, "LangFile", Utf8ToAnsi(current_.string()));
}
