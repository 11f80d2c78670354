#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "format/FormatRules.h"

class TSettingsStore;
class TMemoText;

// The formatter window's side of the profile: told when the rule list changed.
class IFormatterView {
public:
    virtual ~IFormatterView() = default;
    virtual void RulesChanged() = 0;
};

// The key of the stored profiles under the program's key.
inline const std::string kFormatRulesKey = "FormatRules";

// One stored profile as listed.
struct TProfileEntry {
    std::string Name;
    int32_t Number = 0;
};

// The current formatter profile: a named, ordered list of rules, kept in the settings store
// under `FormatRules` ("FormatSet0001name", "FormatSet0001value", "DefaultSet"). Every change
// is saved at once; loading never writes.
class TFormatterSet final {
public:
    // key: the settings key holding the profiles, for example "Software\shelvara\FormatRules".
    TFormatterSet(TSettingsStore& store, std::string key);

    IFormatterView* Window = nullptr;

    const std::string& Name() const { return name_; }
    int32_t Number() const { return number_; }
    int32_t Count() const { return static_cast<int32_t>(rules_.size()); }
    TAbstractFormatterRule& Rule(int32_t index) const;

    void Clear();
    void BeginUpdate();
    void EndUpdate();
    // After every change of the rules: refreshes the window and saves, unless an update is open.
    void Changed();
    void SetName(const std::string& text);
    void AddRule(std::unique_ptr<TAbstractFormatterRule> rule);
    void DeleteRule(int32_t index);
    // Exchanges two rules (the window's up and down buttons).
    void ExchangeRules(int32_t a, int32_t b);

    // The stored value: a rule count, the rule records, then (only when a rule needs it) the
    // options the records cannot hold, which older readers never reach.
    void ReadRules(TRuleReader& in);
    std::vector<uint8_t> WriteRules() const;

    // Stored profiles in store order; an empty, unnamed profile is removed on the way.
    std::vector<TProfileEntry> ListProfiles();
    int32_t FreeNumber() const;
    bool LoadProfile(int32_t number);
    void SelectProfile(int32_t number);
    void LoadDefaultProfile();
    void SaveProfile();
    void SaveDefault();
    // Creates and stores "New formatting set 001" (the first such name not taken).
    void NewProfile();
    // Removes a stored profile's values (the current profile object stays as it is).
    void DeleteStoredProfile(int32_t number);

    // Applies the rules in order to a text (cut at its first NUL); true when one changed it.
    // A rule's error ends the run and leaves the text as it was.
    bool Apply(std::string& text) const;

    // "FormatSet" and the number with at least four digits.
    static std::string Prefix(int32_t number);

private:
    void Store();
    void Reset();
    void Shown();

    TSettingsStore& store_;
    std::string key_;
    std::vector<std::unique_ptr<TAbstractFormatterRule>> rules_;
    std::string name_;
    int32_t number_ = -1;
    int32_t updates_ = 0;
    bool pending_ = false;
};

// Formats an editor's whole text or its selection with the profile. The selection is replaced
// as one edit and selected again; the whole text is split into the editor's lines anew.
// Returns false, leaving the editor alone, when no rule changed anything.
bool FormatEditorText(const TFormatterSet& profile, TMemoText& editor, bool selectionOnly);
