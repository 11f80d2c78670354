#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The bytes of stored rules. Reading never passes the end: a short read fails.
class TRuleWriter final {
public:
    std::vector<uint8_t> Bytes;
    void Byte(uint8_t value) { Bytes.push_back(value); }
    void Int(int32_t value);
    void Str(const std::string& text);  // length, then the bytes
};

class TRuleReader final {
public:
    TRuleReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit TRuleReader(const std::vector<uint8_t>& bytes) : TRuleReader(bytes.data(), bytes.size()) {}

    bool Byte(uint8_t& value);
    bool Int(int32_t& value);
    bool Str(std::string& text);  // fails on a negative length or one beyond the end
    size_t Position() const { return pos_; }
    void Seek(size_t pos) { pos_ = pos < size_ ? pos : size_; }
    size_t Left() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Type ids as stored in rule records.
enum TRuleType : uint8_t {
    rtParagraph = 1,
    rtChangeChar = 2,
    rtReplaceText = 3,
    rtRemoveEmptyString = 4,
    rtLeftIdent = 5,
    rtParagraphIdent = 6,
    rtCRLF = 7,
    rtTabToSpaces = 8,
    rtRegisterManage = 9,
    rtNoMoreSymb = 10,
    rtTextShift = 11,
    rtTextTrim = 12,
    rtRemoveHTMLTags = 13,
    rtParseHTML = 14,
    rtRemoveLines = 15,
    rtRegEXPR = 16,
};
constexpr int kRuleTypeCount = 16;
constexpr uint32_t kRuleSignature = 0x9AB6C5E3;

// No rule makes a text larger than this; one that would raises instead.
inline constexpr size_t kMaxFormattedSize = size_t{256} << 20;
// Raises the error of a result over kMaxFormattedSize.
void CheckFormattedSize(size_t size);

// One formatting rule over Windows-1251 text. Rules are plain objects: the rule editor reads
// and writes their option fields directly.
class TAbstractFormatterRule {
public:
    virtual ~TAbstractFormatterRule() = default;

    uint8_t TypeId() const { return typeId_; }
    std::string Name;

    // Transforms the text; true when it was changed. A text is cut at its first NUL by the
    // caller. Raises "Not implemented yet... Sorry." where the transformation does not exist.
    bool Apply(std::string& text) const;

    void SaveToStream(TRuleWriter& out) const;
    // Reads a record written by SaveToStream into this object; options out of their range are
    // brought into it. False on a wrong signature, type id or a record cut short.
    bool LoadFromStream(TRuleReader& in);

    // Reads the next record and creates the rule of its type; none on a wrong signature (the
    // stream goes back to where it was) or type id.
    static std::unique_ptr<TAbstractFormatterRule> ReadRule(TRuleReader& in);
    static std::unique_ptr<TAbstractFormatterRule> Create(uint8_t typeId, std::string name = {});
    // The caption of a type in the rule editor, and the editor's order of types.
    static const char* Caption(uint8_t typeId);
    static uint8_t TypeAtEditorIndex(int index);
    static int EditorIndex(uint8_t typeId);

protected:
    explicit TAbstractFormatterRule(uint8_t typeId) : typeId_(typeId) {}
    virtual bool DoApply(std::string& text) const;
    virtual void SaveOptions(TRuleWriter&) const {}
    virtual bool LoadOptions(TRuleReader&) { return true; }

private:
    uint8_t typeId_;
};

class TParagraphRule final : public TAbstractFormatterRule {
public:
    enum : uint8_t { pmLeft = 0, pmRight = 1, pmCenter = 2, pmFull = 3, pmSingleLine = 4 };
    TParagraphRule() : TAbstractFormatterRule(rtParagraph) {}
    uint8_t Mode = pmSingleLine;
    int32_t Width = 0;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TChangeCharRule final : public TAbstractFormatterRule {
public:
    TChangeCharRule() : TAbstractFormatterRule(rtChangeChar) {}
    uint8_t FromChar = 0;
    uint8_t ToChar = 0;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

// The case option is not part of the record; a profile keeps it after its records.
class TReplaceTextRule final : public TAbstractFormatterRule {
public:
    TReplaceTextRule() : TAbstractFormatterRule(rtReplaceText) {}
    std::string FindText;
    std::string ReplaceText;
    bool CaseSensitive = false;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TRemoveEmptyStringRule final : public TAbstractFormatterRule {
public:
    TRemoveEmptyStringRule() : TAbstractFormatterRule(rtRemoveEmptyString) {}
    int32_t MaxEmpty = 1;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

enum : uint8_t { icNotMore = 0, icNotLess = 1, icExactly = 2 };

class TLeftIdentRule : public TAbstractFormatterRule {
public:
    TLeftIdentRule() : TLeftIdentRule(rtLeftIdent) {}
    uint8_t Compare = icExactly;
    int32_t Count = 6;

protected:
    explicit TLeftIdentRule(uint8_t typeId) : TAbstractFormatterRule(typeId) {}
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

// Left indent of the first line of each paragraph only.
class TParagraphIdentRule final : public TLeftIdentRule {
public:
    TParagraphIdentRule() : TLeftIdentRule(rtParagraphIdent) {}
    uint8_t Reserved = 0;  // stored, no effect

protected:
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TCRLFRule final : public TAbstractFormatterRule {
public:
    enum : uint8_t { ltCR = 0, ltLF = 1, ltCRLF = 2 };
    TCRLFRule() : TAbstractFormatterRule(rtCRLF) {}
    uint8_t Target = ltCRLF;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TTabToSpacesRule final : public TAbstractFormatterRule {
public:
    TTabToSpacesRule() : TAbstractFormatterRule(rtTabToSpaces) {}
    int32_t Spaces = 8;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

// Case modes: 0 no change; 1/2/3 invert/lower/upper Latin; 4/5/6 the same for Cyrillic;
// 7/8/9 the same for all letters.
class TRegisterManageRule final : public TAbstractFormatterRule {
public:
    TRegisterManageRule() : TAbstractFormatterRule(rtRegisterManage) {}
    uint8_t TextMode = 0;
    uint8_t FirstLetterMode = 9;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TNoMoreSymbRule final : public TAbstractFormatterRule {
public:
    TNoMoreSymbRule() : TAbstractFormatterRule(rtNoMoreSymb) {}
    int32_t MaxRun = 1;
    uint8_t Symbol = ' ';

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TTextShiftRule final : public TAbstractFormatterRule {
public:
    TTextShiftRule() : TAbstractFormatterRule(rtTextShift) {}
    bool ToRight = true;
    int32_t Count = 1;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

// Trim modes: 0 none, 1 both sides, 2 left, 3 right.
class TTextTrimRule final : public TAbstractFormatterRule {
public:
    enum : uint8_t { tmNone = 0, tmFull = 1, tmLeft = 2, tmRight = 3 };
    TTextTrimRule() : TAbstractFormatterRule(rtTextTrim) {}
    uint8_t TextTrim = tmFull;
    uint8_t LineTrim = tmRight;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TRemoveHTMLTagsRule final : public TAbstractFormatterRule {
public:
    TRemoveHTMLTagsRule() : TAbstractFormatterRule(rtRemoveHTMLTags) {}
    int32_t MaxTagLength = 1000;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TParseHTMLRule final : public TAbstractFormatterRule {
public:
    TParseHTMLRule() : TAbstractFormatterRule(rtParseHTML) {}
};

// Removes every line that contains one of the texts.
class TRemoveLinesRule final : public TAbstractFormatterRule {
public:
    TRemoveLinesRule() : TAbstractFormatterRule(rtRemoveLines) {}
    std::vector<std::string> Lines;

protected:
    bool DoApply(std::string& text) const override;
    void SaveOptions(TRuleWriter& out) const override;
    bool LoadOptions(TRuleReader& in) override;
};

class TRegEXPRRule final : public TAbstractFormatterRule {
public:
    TRegEXPRRule() : TAbstractFormatterRule(rtRegEXPR) {}
};

// Finds pattern in text from `from` on; the case-insensitive comparison folds both sides with
// the program's Windows-1251 case map. Returns npos when not found; an empty pattern is never
// found. Linear in the text for a short pattern. With anyLineEnd, a line break in the pattern
// (CR LF, CR or LF) matches any line break of the text, so a match may be longer or shorter
// than the pattern: MatchLength tells.
class TTextMatcher final {
public:
    TTextMatcher(std::string pattern, bool caseSensitive, bool anyLineEnd = false);
    // Prepares a text for several searches (folds it once).
    void SetText(const std::string& text);
    size_t Find(size_t from) const;
    size_t PatternSize() const { return pattern_.size(); }
    // The length of the text that the last found match covers.
    size_t MatchLength() const { return matchLength_; }

private:
    size_t MatchAt(const std::string& hay, size_t at) const;

    std::string pattern_;
    bool caseSensitive_;
    std::vector<std::string> pieces_;  // the pattern between its line breaks (anyLineEnd)
    std::string folded_;
    const std::string* text_ = nullptr;
    mutable size_t matchLength_ = 0;
};
