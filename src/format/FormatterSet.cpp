#include "format/FormatterSet.h"

#include <cstdio>

#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"
#include "editor/MemoText.h"
#include "settings/SettingsStore.h"

namespace {

const char kDefaultSet[] = "DefaultSet";
const char kPrefix[] = "FormatSet";
constexpr size_t kPrefixLength = 9;
// Marks the options kept after the rule records; never the start of a rule record.
constexpr uint32_t kExtraSignature = 0x9AB6C5E4;
constexpr uint8_t kExtraCaseSensitive = 1;

bool StartsWithText(const std::string& text, std::string_view start) {
    return text.size() >= start.size() && AnsiSameText(std::string_view(text).substr(0, start.size()), start);
}

bool EndsWithText(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && AnsiSameText(std::string_view(text).substr(text.size() - end.size()), end);
}

// The rule count of a stored value; 0 for a value too short to hold one.
int32_t StoredRuleCount(const std::vector<uint8_t>& value) {
    TRuleReader in(value);
    int32_t count = 0;
    return in.Int(count) ? count : 0;
}

}  // namespace

TFormatterSet::TFormatterSet(TSettingsStore& store, std::string key) : store_(store), key_(std::move(key)) {}

TAbstractFormatterRule& TFormatterSet::Rule(int32_t index) const {
    if (index < 0 || index >= Count()) RaiseListError("index", index);
    return *rules_[static_cast<size_t>(index)];
}

std::string TFormatterSet::Prefix(int32_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", number);
    return kPrefix + std::string(digits);
}

void TFormatterSet::BeginUpdate() {
    ++updates_;
}

void TFormatterSet::EndUpdate() {
    if (updates_ == 0 || --updates_ > 0 || !pending_) return;
    pending_ = false;
    Changed();
}

void TFormatterSet::Changed() {
    if (updates_ > 0) {
        pending_ = true;
        return;
    }
    if (Window) Window->RulesChanged();
    if (updates_ == 0) SaveProfile();
}

void TFormatterSet::Clear() {
    BeginUpdate();
    name_.clear();
    number_ = -1;
    rules_.clear();
    Changed();
    EndUpdate();
}

void TFormatterSet::SetName(const std::string& text) {
    if (text == name_) return;
    name_ = text;
    if (updates_ == 0) SaveProfile();
}

void TFormatterSet::AddRule(std::unique_ptr<TAbstractFormatterRule> rule) {
    if (!rule) return;
    rules_.push_back(std::move(rule));
    Changed();
}

void TFormatterSet::DeleteRule(int32_t index) {
    Rule(index);
    rules_.erase(rules_.begin() + index);
    Changed();
}

void TFormatterSet::ExchangeRules(int32_t a, int32_t b) {
    Rule(a);
    Rule(b);
    std::swap(rules_[static_cast<size_t>(a)], rules_[static_cast<size_t>(b)]);
    Changed();
}

void TFormatterSet::ReadRules(TRuleReader& in) {
    rules_.clear();
    int32_t count = 0;
    if (!in.Int(count)) return;
    // A damaged record ends the reading: the records after it cannot be found again, and a
    // damaged count must not keep the reader going past the end of the value.
    for (int32_t i = 0; i < count; ++i) {
        auto rule = TAbstractFormatterRule::ReadRule(in);
        if (!rule) return;
        rules_.push_back(std::move(rule));
    }
    int32_t signature = 0, extras = 0;
    if (!in.Int(signature) || static_cast<uint32_t>(signature) != kExtraSignature || !in.Int(extras)) return;
    for (int32_t i = 0; i < extras && i < Count(); ++i) {
        uint8_t flags = 0;
        if (!in.Byte(flags)) return;
        if (auto* replace = dynamic_cast<TReplaceTextRule*>(rules_[static_cast<size_t>(i)].get()))
            replace->CaseSensitive = (flags & kExtraCaseSensitive) != 0;
    }
}

std::vector<uint8_t> TFormatterSet::WriteRules() const {
    TRuleWriter out;
    out.Int(Count());
    bool extras = false;
    for (const auto& rule : rules_) {
        rule->SaveToStream(out);
        if (const auto* replace = dynamic_cast<const TReplaceTextRule*>(rule.get()))
            extras = extras || replace->CaseSensitive;
    }
    // Only profiles that need them carry the extra options, so the others stay as they were.
    if (extras) {
        out.Int(static_cast<int32_t>(kExtraSignature));
        out.Int(Count());
        for (const auto& rule : rules_) {
            const auto* replace = dynamic_cast<const TReplaceTextRule*>(rule.get());
            out.Byte(replace && replace->CaseSensitive ? kExtraCaseSensitive : 0);
        }
    }
    return out.Bytes;
}

std::vector<TProfileEntry> TFormatterSet::ListProfiles() {
    std::vector<TProfileEntry> list;
    for (const std::string& valueName : store_.ValueNames(key_)) {
        if (valueName.size() <= kPrefixLength + 4 || !StartsWithText(valueName, kPrefix) ||
            !EndsWithText(valueName, "name"))
            continue;
        int32_t number = 0;
        if (!TextToInt(std::string_view(valueName).substr(kPrefixLength, valueName.size() - kPrefixLength - 4), number))
            continue;  // not one of ours: left alone
        const std::string prefix = valueName.substr(0, valueName.size() - 4);
        std::string name = store_.ReadString(key_, valueName).value_or("");
        if (name.empty()) {
            const auto value = store_.ReadBinary(key_, prefix + "value");
            if (!value || StoredRuleCount(*value) <= 0) {
                store_.DeleteValue(key_, valueName);
                store_.DeleteValue(key_, prefix + "value");
                continue;
            }
        }
        list.push_back({std::move(name), number});
    }
    // Housekeeping only: the empty entries go with the next save; listing never writes.
    return list;
}

int32_t TFormatterSet::FreeNumber() const {
    const std::vector<std::string> names = store_.ValueNames(key_);
    for (int32_t n = 1;; ++n) {
        const std::string prefix = Prefix(n);
        bool used = false;
        for (const std::string& name : names)
            used = used || AnsiSameText(name, prefix + "name") || AnsiSameText(name, prefix + "value");
        if (!used) return n;
    }
}

// Loading shows the profile but never writes it back.
void TFormatterSet::Reset() {
    rules_.clear();
    name_.clear();
    number_ = -1;
}

void TFormatterSet::Shown() {
    if (updates_ == 0 && Window) Window->RulesChanged();
}

bool TFormatterSet::LoadProfile(int32_t number) {
    if (number <= 0) return false;
    Reset();
    const std::string prefix = Prefix(number);
    const auto name = store_.ReadString(key_, prefix + "name");
    const auto value = store_.ReadBinary(key_, prefix + "value");
    bool loaded = false;
    if (name && value) {
        TRuleReader in(*value);
        ReadRules(in);
        name_ = *name;
        number_ = number;
        loaded = true;
    }
    Shown();
    return loaded;
}

void TFormatterSet::SelectProfile(int32_t number) {
    LoadProfile(number);
    SaveDefault();
}

void TFormatterSet::LoadDefaultProfile() {
    const std::string stored = store_.ReadString(key_, kDefaultSet).value_or("");
    int32_t number = 0;
    if (stored.size() > kPrefixLength && TextToInt(std::string_view(stored).substr(kPrefixLength), number) &&
        LoadProfile(number))
        return;
    Reset();
    Shown();
}

void TFormatterSet::SaveProfile() {
    // A profile that was never stored and holds nothing is not worth a stored entry.
    if (number_ < 1 && name_.empty() && rules_.empty()) return;
    if (number_ < 1) number_ = FreeNumber();
    const std::string prefix = Prefix(number_);
    store_.WriteString(key_, prefix + "name", name_);
    store_.WriteBinary(key_, prefix + "value", WriteRules());
    SaveDefault();
}

void TFormatterSet::SaveDefault() {
    if (number_ <= 0) number_ = FreeNumber();
    store_.WriteString(key_, kDefaultSet, Prefix(number_));
    Store();
}

void TFormatterSet::NewProfile() {
    const std::vector<TProfileEntry> stored = ListProfiles();
    BeginUpdate();
    rules_.clear();
    number_ = FreeNumber();
    name_.clear();
    for (int counter = 1; counter <= 100000; ++counter) {
        char candidate[40];
        std::snprintf(candidate, sizeof candidate, "New formatting set %03d", counter);
        bool taken = false;
        for (const TProfileEntry& entry : stored)
            taken = taken || AnsiSameText(entry.Name, candidate);
        if (!taken) {
            name_ = candidate;
            break;
        }
    }
    Changed();
    EndUpdate();
}

void TFormatterSet::DeleteStoredProfile(int32_t number) {
    const std::string prefix = Prefix(number);
    const bool a = store_.DeleteValue(key_, prefix + "name");
    const bool b = store_.DeleteValue(key_, prefix + "value");
    if (a || b) Store();
}

void TFormatterSet::Store() {
    store_.Save();
}

bool TFormatterSet::Apply(std::string& text) const {
    // A NUL means a UTF-16 or binary text: formatting it as bytes would ruin it, cutting it
    // would lose the rest.
    if (text.find('\0') != std::string::npos) RaiseError(rsErrTextHasNul);
    if (text.empty()) return false;
    std::string work = text;
    bool changed = false;
    for (const auto& rule : rules_)
        changed = rule->Apply(work) || changed;
    if (changed) text = std::move(work);
    return changed;
}

bool FormatEditorText(const TFormatterSet& profile, TMemoText& editor, bool selectionOnly) {
    if (selectionOnly && !editor.HasSelection()) return false;
    std::string text = selectionOnly ? editor.SelText() : editor.Text();
    if (!profile.Apply(text)) return false;
    if (selectionOnly) {
        const int64_t start = editor.SelStart();
        editor.SetSelText(text);
        editor.SetSelection(editor.PointOfOffset(start),
                            editor.PointOfOffset(start + static_cast<int64_t>(text.size())));
    } else {
        // The whole text replaced as one edit, so that one undo brings it back (the result is
        // engine text already: no code page is guessed again).
        editor.SetSelection(editor.PointOfOffset(0), editor.PointOfOffset(INT64_MAX));
        editor.SetSelText(text);
        editor.SetSelection(editor.PointOfOffset(0), editor.PointOfOffset(0));
    }
    return true;
}
