#include "settings/FormState.h"

#include <cstdio>

#include "common/TextUtils.h"
#include "settings/SettingsStore.h"

TFormState::TFormState(TSettingsStore& store, const std::string& section)
    : store_(store), key_(kProgramKey + "\\" + section) {}

std::string TFormState::Read(const std::string& name, const std::string& fallback) const {
    return store_.ReadString(key_, name).value_or(fallback);
}

void TFormState::Write(const std::string& name, const std::string& value) {
    store_.WriteString(key_, name, value);
}

int TFormState::ReadInt(const std::string& name, int fallback) const {
    const auto text = store_.ReadString(key_, name);
    if (!text) return fallback;
    int value = 0;
    return TextToInt(*text, value) ? value : 0;
}

bool TFormState::ReadBool(const std::string& name, bool fallback) const {
    const std::string text = TrimBlanks(Read(name));
    if (AnsiSameText(text, "True")) return true;
    if (AnsiSameText(text, "False")) return false;
    return fallback;
}

std::optional<std::vector<std::string>> TFormState::ReadList(const std::string& name) const {
    const std::string sub = key_ + "\\" + name;
    int count = 0;
    if (!TextToInt(store_.ReadString(sub, "Count").value_or("0"), count) || count <= 0) return std::nullopt;
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i)
        items.push_back(store_.ReadString(sub, "Item" + std::to_string(i)).value_or(""));
    return items;
}

void TFormState::WriteList(const std::string& name, const std::vector<std::string>& items) {
    const std::string sub = key_ + "\\" + name;
    store_.DeleteKey(sub);
    if (items.empty()) return;
    store_.WriteString(sub, "Count", std::to_string(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
        store_.WriteString(sub, "Item" + std::to_string(i), items[i]);
}

std::optional<TFormRect> TFormState::ReadPosition() const {
    const auto text = store_.ReadString(key_, "FormPosition");
    if (!text) return std::nullopt;
    TFormRect r;
    if (std::sscanf(text->c_str(), "%d,%d,%d,%d", &r.Left, &r.Top, &r.Right, &r.Bottom) != 4) return std::nullopt;
    if (r.Left >= r.Right || r.Top >= r.Bottom) return std::nullopt;
    return r;
}

void TFormState::WritePosition(const TFormRect& rect) {
    Write("FormPosition", std::to_string(rect.Left) + "," + std::to_string(rect.Top) + "," +
                              std::to_string(rect.Right) + "," + std::to_string(rect.Bottom));
}
