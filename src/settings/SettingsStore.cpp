#include "settings/SettingsStore.h"

#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"

namespace {

const char kHeader[] = "; Shelvara settings\n";

// A key path with single "\" between its parts and none at either end.
std::string CleanPath(std::string_view path) {
    std::string clean;
    for (char c : path) {
        if (c == '\\' && (clean.empty() || clean.back() == '\\')) continue;
        clean += c;
    }
    while (!clean.empty() && clean.back() == '\\')
        clean.pop_back();
    return clean;
}

// Key paths compare by their lower-cased clean form.
std::string KeyOf(std::string_view path) {
    return AnsiLowerCase(CleanPath(path));
}

// True when key lies below the key parent (both compare forms; "" is the root).
bool IsBelow(const std::string& key, const std::string& parent) {
    if (parent.empty()) return !key.empty();
    return key.size() > parent.size() + 1 && key.compare(0, parent.size(), parent) == 0 && key[parent.size()] == '\\';
}

bool SameName(const std::string& a, const std::string& b) {
    return AnsiSameText(a, b);
}

bool EscapeLetter(char c) {
    return c == 'n' || c == 'r' || c == 'x' || c == '\\' || c == '"' || c == ']';
}

// UTF-8 with backslash escapes for what would break a line or the syntax. A backslash stays
// single where it cannot be read as an escape, so key paths read naturally.
std::string Escape(const std::string& ansi) {
    std::string out;
    const std::string utf8 = AnsiToUtf8(ansi);
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' && i + 1 < utf8.size() && !EscapeLetter(utf8[i + 1])) {
            out += c;
        } else if (c == '\\' || c == '"' || c == ']') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads an escaped text up to an unescaped stop character; at is left after the stop (or at
// the end). False when the stop never comes or an escape is broken.
bool Unescape(std::string_view line, size_t& at, char stop, std::string& ansi) {
    std::string utf8;
    while (at < line.size()) {
        const char c = line[at++];
        if (c == stop) {
            ansi = Utf8ToAnsi(utf8);
            return true;
        }
        if (c != '\\') {
            utf8 += c;
            continue;
        }
        if (at >= line.size() || !EscapeLetter(line[at])) {
            utf8 += c;  // a plain backslash
            continue;
        }
        const char e = line[at++];
        if (e == 'n') {
            utf8 += '\n';
        } else if (e == 'r') {
            utf8 += '\r';
        } else if (e == 'x') {
            if (at + 2 > line.size() || HexDigit(line[at]) < 0 || HexDigit(line[at + 1]) < 0) return false;
            utf8 += static_cast<char>(HexDigit(line[at]) << 4 | HexDigit(line[at + 1]));
            at += 2;
        } else {
            utf8 += e;
        }
    }
    if (stop != '\0') return false;
    ansi = Utf8ToAnsi(utf8);
    return true;
}

}  // namespace

std::filesystem::path TSettingsStore::DefaultFile(const std::string& program) {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / program / "settings.ini";
}

TSettingsStore::TSettingsStore(std::filesystem::path file) : file_(std::move(file)) {
    Load();
}

TSettingsStore::TKey* TSettingsStore::Find(const std::string& key) {
    const std::string k = KeyOf(key);
    for (TKey& entry : keys_)
        if (entry.Key == k) return &entry;
    return nullptr;
}

const TSettingsStore::TKey* TSettingsStore::Find(const std::string& key) const {
    return const_cast<TSettingsStore*>(this)->Find(key);
}

TSettingsStore::TKey& TSettingsStore::Ensure(const std::string& key) {
    if (TKey* found = Find(key)) return *found;
    keys_.push_back({key, KeyOf(key), {}, {}});
    return keys_.back();
}

bool TSettingsStore::KeyExists(const std::string& key) const {
    const std::string k = KeyOf(key);
    for (const TKey& entry : keys_)
        if (entry.Key == k || (!k.empty() && IsBelow(entry.Key, k))) return true;
    return false;
}

std::vector<std::string> TSettingsStore::SubKeys(const std::string& key) const {
    const std::string k = KeyOf(key);
    std::vector<std::string> names;
    for (const TKey& entry : keys_) {
        if (!IsBelow(entry.Key, k)) continue;
        // The part right below key, as first written.
        const std::string path = CleanPath(entry.Path);
        const size_t start = k.empty() ? 0 : k.size() + 1;
        const size_t end = path.find('\\', start);
        const std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bool listed = false;
        for (const std::string& n : names)
            listed |= SameName(n, name);
        if (!listed) names.push_back(name);
    }
    return names;
}

std::vector<std::string> TSettingsStore::ValueNames(const std::string& key) const {
    std::vector<std::string> names;
    if (const TKey* k = Find(key))
        for (const TValue& v : k->Values)
            names.push_back(v.Name);
    return names;
}

TSettingsStore::TValue& TSettingsStore::Put(const std::string& key, const std::string& name, TKind kind) {
    TKey& k = Ensure(key);
    modified_ = true;
    for (TValue& v : k.Values)
        if (SameName(v.Name, name)) {
            v = TValue{v.Name, kind, {}, 0, {}, std::move(v.Before)};
            return v;
        }
    k.Values.push_back({name, kind, {}, 0, {}, {}});
    return k.Values.back();
}

const TSettingsStore::TValue* TSettingsStore::Get(const std::string& key, const std::string& name, TKind kind) const {
    const TKey* k = Find(key);
    if (!k) return nullptr;
    for (const TValue& v : k->Values)
        if (SameName(v.Name, name)) return v.Kind == kind ? &v : nullptr;
    return nullptr;
}

std::optional<std::string> TSettingsStore::ReadString(const std::string& key, const std::string& name) const {
    const TValue* v = Get(key, name, TKind::String);
    return v ? std::optional<std::string>(v->Text) : std::nullopt;
}

std::optional<int64_t> TSettingsStore::ReadInteger(const std::string& key, const std::string& name) const {
    const TValue* v = Get(key, name, TKind::Integer);
    return v ? std::optional<int64_t>(v->Number) : std::nullopt;
}

std::optional<std::vector<uint8_t>> TSettingsStore::ReadBinary(const std::string& key, const std::string& name) const {
    const TValue* v = Get(key, name, TKind::Binary);
    return v ? std::optional<std::vector<uint8_t>>(v->Bytes) : std::nullopt;
}

void TSettingsStore::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    Put(key, name, TKind::String).Text = value;
}

void TSettingsStore::WriteInteger(const std::string& key, const std::string& name, int64_t value) {
    Put(key, name, TKind::Integer).Number = value;
}

void TSettingsStore::WriteBinary(const std::string& key, const std::string& name, const std::vector<uint8_t>& value) {
    Put(key, name, TKind::Binary).Bytes = value;
}

bool TSettingsStore::DeleteValue(const std::string& key, const std::string& name) {
    TKey* k = Find(key);
    if (!k) return false;
    for (auto it = k->Values.begin(); it != k->Values.end(); ++it)
        if (SameName(it->Name, name)) {
            k->Values.erase(it);
            modified_ = true;
            return true;
        }
    return false;
}

bool TSettingsStore::DeleteKey(const std::string& key) {
    const std::string k = KeyOf(key);
    const size_t before = keys_.size();
    std::erase_if(keys_, [&](const TKey& entry) { return entry.Key == k || (!k.empty() && IsBelow(entry.Key, k)); });
    modified_ |= keys_.size() != before;
    return keys_.size() != before;
}

void TSettingsStore::Save() const {
    std::string text = kHeader;
    const char hex[] = "0123456789ABCDEF";
    auto keep = [&text](const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            text += line + '\n';
    };
    keep(preamble_);
    for (const TKey& k : keys_) {
        text += "\n[" + Escape(k.Path) + "]\n";
        for (const TValue& v : k.Values) {
            keep(v.Before);
            text += "\"" + Escape(v.Name) + "\"=";
            switch (v.Kind) {
                case TKind::String:
                    text += "str:" + Escape(v.Text);
                    break;
                case TKind::Integer:
                    text += "int:" + std::to_string(v.Number);
                    break;
                case TKind::Binary:
                    text += "hex:";
                    for (uint8_t b : v.Bytes) {
                        text += hex[b >> 4];
                        text += hex[b & 15];
                    }
                    break;
            }
            text += '\n';
        }
        keep(k.Trailing);
    }
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (error) RaiseOsError("Cannot create folder", PathToAnsi(file_.parent_path()), error.value());
    ReplaceFile(file_, text.data(), text.size());
    modified_ = false;
}

void TSettingsStore::Load() {
    std::error_code error;
    if (!std::filesystem::exists(file_, error)) return;
    const std::vector<uint8_t> bytes = ReadWholeFile(file_);
    const std::string text(bytes.begin(), bytes.end());
    TKey* current = nullptr;
    // Lines this store does not understand (comments, a newer program's values) are kept in
    // their place: before the value or key that follows them.
    std::vector<std::string> pending;
    // The last key read: its pointer stays good, as keys are added only right after a flush.
    TKey* last = nullptr;
    auto flush = [&] {
        if (pending.empty()) return;
        std::vector<std::string>& into = last ? last->Trailing : preamble_;
        into.insert(into.end(), pending.begin(), pending.end());
        pending.clear();
    };
    size_t start = 0;
    bool firstLine = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const bool header = firstLine && std::string(line) + '\n' == kHeader;
        firstLine = false;
        if (line.empty() || header) continue;
        auto unknown = [&] { pending.emplace_back(line); };
        size_t at = 1;
        std::string first;
        if (line[0] == '[') {
            if (Unescape(line, at, ']', first) && at == line.size()) {
                flush();
                current = last = &Ensure(first);
            } else {
                current = nullptr;
                unknown();
            }
            continue;
        }
        if (line[0] != '"' || !current || !Unescape(line, at, '"', first)) {
            unknown();
            continue;
        }
        const std::string_view rest = line.substr(at);
        TValue value{first, TKind::String, {}, 0, {}, {}};
        if (rest.starts_with("=str:")) {
            size_t from = 5;
            if (!Unescape(rest, from, '\0', value.Text)) {
                unknown();
                continue;
            }
        } else if (rest.starts_with("=int:")) {
            const std::string digits(rest.substr(5));
            char* stop = nullptr;
            errno = 0;
            value.Number = std::strtoll(digits.c_str(), &stop, 10);
            if (errno || digits.empty() || *stop) {
                unknown();
                continue;
            }
            value.Kind = TKind::Integer;
        } else if (rest.starts_with("=hex:")) {
            const std::string_view digits = rest.substr(5);
            if (digits.size() % 2) {
                unknown();
                continue;
            }
            bool good = true;
            for (size_t i = 0; i < digits.size() && good; i += 2) {
                const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
                good = hi >= 0 && lo >= 0;
                value.Bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
            }
            if (!good) {
                unknown();
                continue;
            }
            value.Kind = TKind::Binary;
        } else {
            unknown();
            continue;
        }
        value.Before = std::move(pending);
        pending.clear();
        bool replaced = false;
        for (TValue& v : current->Values)
            if (SameName(v.Name, value.Name)) v = value, replaced = true;
        if (!replaced) current->Values.push_back(std::move(value));
    }
    flush();
}
