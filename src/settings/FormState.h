#pragma once

#include <optional>
#include <string>
#include <vector>

class TSettingsStore;

// A window's rectangle as stored: left, top, right, bottom.
struct TFormRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// One window class's section of the settings ("Software\shelvara\TSVWinForm"): every value a
// string, integers as decimal text, string lists as a sub-section with Count and Item0, Item1...
class TFormState final {
public:
    TFormState(TSettingsStore& store, const std::string& section);

    TSettingsStore& Store() const { return store_; }
    const std::string& Key() const { return key_; }
    std::string Read(const std::string& name, const std::string& fallback = {}) const;
    void Write(const std::string& name, const std::string& value);
    // Decimal integers; text that is not a number reads as 0.
    int ReadInt(const std::string& name, int fallback) const;
    void WriteInt(const std::string& name, int value) { Write(name, std::to_string(value)); }
    // "True" / "False", compared without regard to case; anything else gives the fallback.
    bool ReadBool(const std::string& name, bool fallback) const;
    void WriteBool(const std::string& name, bool value) { Write(name, value ? "True" : "False"); }
    // A list replaces the current one only when its Count is above 0; an empty list writes nothing.
    std::optional<std::vector<std::string>> ReadList(const std::string& name) const;
    void WriteList(const std::string& name, const std::vector<std::string>& items);

    // "FormPosition": "left,top,right,bottom"; none when absent or when right is not beyond left.
    std::optional<TFormRect> ReadPosition() const;
    void WritePosition(const TFormRect& rect);

private:
    TSettingsStore& store_;
    std::string key_;
};
