#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The program's key in the store, and the folder of its settings file.
inline const std::string kProgramKey = "Software\\shelvara";
inline const std::string kProgramFolder = "shelvara";

// The per-user settings: keys ("Software\Shelvara\FormatRules") holding sub-keys and named
// string, integer and binary values, like a registry key of the current user. Kept in one
// text file a person can read; key and value names compare without regard to letter case;
// values keep the order they were first written in. Texts are engine text.
class TSettingsStore final {
public:
    // The file under $XDG_CONFIG_HOME (default ~/.config) in a folder named after the program.
    static std::filesystem::path DefaultFile(const std::string& program);

    // Reads the file when it exists; lines it does not understand are kept and written back.
    explicit TSettingsStore(std::filesystem::path file);

    const std::filesystem::path& File() const { return file_; }
    bool KeyExists(const std::string& key) const;
    // Direct sub-key names and value names of a key, in order.
    std::vector<std::string> SubKeys(const std::string& key) const;
    std::vector<std::string> ValueNames(const std::string& key) const;

    std::optional<std::string> ReadString(const std::string& key, const std::string& name) const;
    std::optional<int64_t> ReadInteger(const std::string& key, const std::string& name) const;
    std::optional<std::vector<uint8_t>> ReadBinary(const std::string& key, const std::string& name) const;

    void WriteString(const std::string& key, const std::string& name, const std::string& value);
    void WriteInteger(const std::string& key, const std::string& name, int64_t value);
    void WriteBinary(const std::string& key, const std::string& name, const std::vector<uint8_t>& value);
    bool DeleteValue(const std::string& key, const std::string& name);
    // Deletes the key with its values and all its sub-keys.
    bool DeleteKey(const std::string& key);

    // Writes the file: a temporary file next to it, flushed, then renamed into place.
    void Save() const;
    bool IsModified() const { return modified_; }

private:
    enum class TKind : uint8_t { String, Integer, Binary };
    struct TValue {
        std::string Name;
        TKind Kind = TKind::String;
        std::string Text;  // string values
        int64_t Number = 0;
        std::vector<uint8_t> Bytes;
        std::vector<std::string> Before;  // lines not understood that stood just before it
    };
    struct TKey {
        std::string Path;  // as first written, "\" between parts
        std::string Key;   // its compare form
        std::vector<TValue> Values;
        std::vector<std::string> Trailing;  // lines not understood at the end of its section
    };

    TKey* Find(const std::string& key);
    const TKey* Find(const std::string& key) const;
    TKey& Ensure(const std::string& key);
    TValue& Put(const std::string& key, const std::string& name, TKind kind);
    const TValue* Get(const std::string& key, const std::string& name, TKind kind) const;
    void Load();

    std::filesystem::path file_;
    std::vector<TKey> keys_;             // in order of creation
    std::vector<std::string> preamble_;  // lines not understood before the first key
    mutable bool modified_ = false;
};
