#include "format/FormatRules.h"

#include <algorithm>
#include <cstring>

#include "common/Error.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "common/TextUtils.h"

void TRuleWriter::Int(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        Bytes.push_back(static_cast<uint8_t>(u >> shift));
}

void TRuleWriter::Str(const std::string& text) {
    Int(static_cast<int32_t>(text.size()));
    Bytes.insert(Bytes.end(), text.begin(), text.end());
}

bool TRuleReader::Byte(uint8_t& value) {
    if (Left() < 1) return false;
    value = data_[pos_++];
    return true;
}

bool TRuleReader::Int(int32_t& value) {
    if (Left() < 4) return false;
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = u << 8 | data_[pos_ + static_cast<size_t>(i)];
    pos_ += 4;
    value = static_cast<int32_t>(u);
    return true;
}

bool TRuleReader::Str(std::string& text) {
    int32_t length = 0;
    if (!Int(length) || length < 0 || static_cast<size_t>(length) > Left()) return false;
    text.assign(reinterpret_cast<const char*>(data_ + pos_), static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return true;
}

namespace {

const char kNotImplemented[] = "Not implemented yet... Sorry.";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

// The end of the line starting at pos: the first CR or LF, or the end of the text.
size_t LineEndAt(const std::string& text, size_t pos) {
    while (pos < text.size() && !IsBreak(text[pos]))
        ++pos;
    return pos;
}

// Past the line break at end: one CR, then one LF.
size_t AfterBreak(const std::string& text, size_t end) {
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    return end;
}

struct TLine {
    size_t Begin, End, Next;  // text, its end, the start of the next line
};

// Calls f for each line; a text ending with a line break has no empty line after it.
template <typename F>
void ForEachLine(const std::string& text, F&& f) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = LineEndAt(text, pos);
        const size_t next = AfterBreak(text, end);
        f(TLine{pos, end, next});
        pos = next;
    }
}

size_t FirstVisible(const std::string& text, const TLine& line) {
    size_t k = line.Begin;
    while (k < line.End && IsBlank(text[k]))
        ++k;
    return k;
}

// One past the last visible character, or the line's start when there is none.
size_t LastVisibleEnd(const std::string& text, const TLine& line) {
    size_t k = line.End;
    while (k > line.Begin && IsBlank(text[k - 1]))
        --k;
    return k;
}

uint8_t InRange(uint8_t value, uint8_t max, uint8_t fallback) {
    return value <= max ? value : fallback;
}

}  // namespace

namespace {

// The length of the line break at a place of a text: 2 for CR LF, 1 for CR or LF, else 0.
size_t BreakAt(const std::string& text, size_t at) {
    if (at >= text.size()) return 0;
    if (text[at] == '\r') return at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
    return text[at] == '\n' ? 1 : 0;
}

}  // namespace

TTextMatcher::TTextMatcher(std::string pattern, bool caseSensitive, bool anyLineEnd)
    : pattern_(caseSensitive ? std::move(pattern) : AnsiLowerCase(pattern)), caseSensitive_(caseSensitive) {
    matchLength_ = pattern_.size();
    if (!anyLineEnd || pattern_.find_first_of("\r\n") == std::string::npos) return;
    size_t start = 0;
    for (size_t i = 0; i <= pattern_.size();) {
        const size_t br = BreakAt(pattern_, i);
        if (br == 0 && i < pattern_.size()) {
            ++i;
            continue;
        }
        pieces_.push_back(pattern_.substr(start, i - start));
        if (i == pattern_.size()) break;
        i += br;
        start = i;
    }
}

void TTextMatcher::SetText(const std::string& text) {
    text_ = &text;
    if (!caseSensitive_) folded_ = AnsiLowerCase(text);
}

// The length of the match of the pieces starting at a place, or npos.
size_t TTextMatcher::MatchAt(const std::string& hay, size_t at) const {
    size_t p = at;
    for (size_t k = 0; k < pieces_.size(); ++k) {
        if (k > 0) {
            const size_t br = BreakAt(hay, p);
            if (br == 0) return std::string::npos;
            p += br;
        }
        const std::string& piece = pieces_[k];
        if (hay.compare(p, piece.size(), piece) != 0) return std::string::npos;
        p += piece.size();
    }
    return p - at;
}

size_t TTextMatcher::Find(size_t from) const {
    if (pattern_.empty() || !text_) return std::string::npos;
    const std::string& hay = caseSensitive_ ? *text_ : folded_;
    if (pieces_.empty()) return hay.find(pattern_, from);
    // Candidates: where the first piece occurs, or where a line break starts (never between
    // the CR and the LF of one break).
    const std::string& first = pieces_.front();
    for (size_t at = from; at < hay.size(); ++at) {
        at = first.empty() ? hay.find_first_of("\r\n", at) : hay.find(first, at);
        if (at == std::string::npos) break;
        if (first.empty() && at > 0 && hay[at] == '\n' && hay[at - 1] == '\r') continue;
        if (const size_t length = MatchAt(hay, at); length != std::string::npos) {
            matchLength_ = length;
            return at;
        }
    }
    return std::string::npos;
}

// --- the base ---

void CheckFormattedSize(size_t size) {
    if (size > kMaxFormattedSize) RaiseError(rsErrFormattedTooBig, {std::to_string(kMaxFormattedSize >> 20)});
}

bool TAbstractFormatterRule::Apply(std::string& text) const {
    if (text.empty()) return false;
    return DoApply(text);
}

bool TAbstractFormatterRule::DoApply(std::string&) const {
    RaiseFixedError(kNotImplemented);
}

void TAbstractFormatterRule::SaveToStream(TRuleWriter& out) const {
    out.Int(static_cast<int32_t>(kRuleSignature));
    out.Byte(typeId_);
    out.Str(Name);
    SaveOptions(out);
}

bool TAbstractFormatterRule::LoadFromStream(TRuleReader& in) {
    int32_t signature = 0;
    uint8_t type = 0;
    std::string name;
    if (!in.Int(signature) || static_cast<uint32_t>(signature) != kRuleSignature) return false;
    // A record of another type would be read with this type's fields: refuse it.
    if (!in.Byte(type) || type != typeId_ || !in.Str(name)) return false;
    Name = std::move(name);
    return LoadOptions(in);
}

std::unique_ptr<TAbstractFormatterRule> TAbstractFormatterRule::ReadRule(TRuleReader& in) {
    const size_t start = in.Position();
    int32_t signature = 0;
    if (!in.Int(signature) || static_cast<uint32_t>(signature) != kRuleSignature) {
        in.Seek(start);
        return nullptr;
    }
    uint8_t type = 0;
    if (!in.Byte(type) || type == 0 || type > kRuleTypeCount) return nullptr;
    auto rule = Create(type);
    in.Seek(start);
    if (!rule->LoadFromStream(in)) return nullptr;
    return rule;
}

std::unique_ptr<TAbstractFormatterRule> TAbstractFormatterRule::Create(uint8_t typeId, std::string name) {
    std::unique_ptr<TAbstractFormatterRule> rule;
    switch (typeId) {
        case rtParagraph:
            rule = std::make_unique<TParagraphRule>();
            break;
        case rtChangeChar:
            rule = std::make_unique<TChangeCharRule>();
            break;
        case rtReplaceText:
            rule = std::make_unique<TReplaceTextRule>();
            break;
        case rtRemoveEmptyString:
            rule = std::make_unique<TRemoveEmptyStringRule>();
            break;
        case rtLeftIdent:
            rule = std::make_unique<TLeftIdentRule>();
            break;
        case rtParagraphIdent:
            rule = std::make_unique<TParagraphIdentRule>();
            break;
        case rtCRLF:
            rule = std::make_unique<TCRLFRule>();
            break;
        case rtTabToSpaces:
            rule = std::make_unique<TTabToSpacesRule>();
            break;
        case rtRegisterManage:
            rule = std::make_unique<TRegisterManageRule>();
            break;
        case rtNoMoreSymb:
            rule = std::make_unique<TNoMoreSymbRule>();
            break;
        case rtTextShift:
            rule = std::make_unique<TTextShiftRule>();
            break;
        case rtTextTrim:
            rule = std::make_unique<TTextTrimRule>();
            break;
        case rtRemoveHTMLTags:
            rule = std::make_unique<TRemoveHTMLTagsRule>();
            break;
        case rtParseHTML:
            rule = std::make_unique<TParseHTMLRule>();
            break;
        case rtRemoveLines:
            rule = std::make_unique<TRemoveLinesRule>();
            break;
        case rtRegEXPR:
            rule = std::make_unique<TRegEXPRRule>();
            break;
        default:
            return nullptr;
    }
    rule->Name = std::move(name);
    return rule;
}

namespace {

// Captions in Windows-1251, by type id.
const char* const kCaptions[kRuleTypeCount + 1] = {
    "",
    "\xD4\xEE\xF0\xEC\xE0\xF2\xE8\xF0\xEE\xE2\xE0\xF2\xFC \xEF\xE0\xF0\xE0\xE3\xF0\xE0\xF4",  // Форматировать параграф
    "\xCC\xE5\xED\xFF\xF2\xFC \xF1\xE8\xEC\xE2\xEE\xEB\xFB",                           // Менять символы
    "\xCC\xE5\xED\xFF\xF2\xFC \xF2\xE5\xEA\xF1\xF2",                                   // Менять текст
    "\xD3\xE1\xE8\xF0\xE0\xF2\xFC \xEF\xF3\xF1\xF2\xFB\xE5 \xF1\xF2\xF0\xEE\xEA\xE8",  // Убирать пустые строки
    "\xCB\xE5\xE2\xFB\xE9 \xEE\xF2\xF1\xF2\xF3\xEF",                                   // Левый отступ
    "\xCE\xF2\xF1\xF2\xF3\xEF \xF1 \xEA\xF0\xE0\xF1\xED\xEE\xE9 \xF1\xF2\xF0\xEE\xEA\xE8",  // Отступ с красной строки
    "\xCF\xF0\xE5\xEE\xE1\xF0\xE0\xE7\xEE\xE2\xE0\xED\xE8\xE5 CRLF",           // Преобразование CRLF
    "\xD2\xE0\xE1\xF3\xEB\xFF\xF6\xE8\xFF \xE2 \xEF\xF0\xEE\xE1\xE5\xEB\xFB",  // Табуляция в пробелы
    "\xD3\xEF\xF0\xE0\xE2\xEB\xE5\xED\xE8\xE5 \xF0\xE5\xE3\xE8\xF1\xF2\xF0\xEE\xEC",  // Управление регистром
    "\xD1\xE8\xEC\xE2\xEE\xEB\xFB \xEF\xEE\xE4\xF0\xFF\xE4",                          // Символы подряд
    "\xD1\xE4\xE2\xE8\xE3 \xF2\xE5\xEA\xF1\xF2\xE0",                                  // Сдвиг текста
    "\xCE\xE1\xF0\xE5\xE7\xE0\xED\xE8\xE5 \xF2\xE5\xEA\xF1\xF2\xE0",                  // Обрезание текста
    "\xD3\xE1\xE8\xF0\xE0\xF2\xFC \xF2\xE5\xE3\xE8 HTML",                             // Убирать теги HTML
    "\xCF\xF0\xE5\xEE\xE1\xF0\xE0\xE7\xEE\xE2\xFB\xE2\xE0\xF2\xFC HTML",  // Преобразовывать HTML
    "\xD3\xE1\xE8\xF0\xE0\xF2\xFC \xF1\xF2\xF0\xEE\xEA\xE8",              // Убирать строки
    "\xD0\xE5\xE3\xF3\xEB\xFF\xF0\xED\xFB\xE5 \xE2\xFB\xF0\xE0\xE6\xE5\xED\xE8\xFF",  // Регулярные выражения
};

}  // namespace

const char* TAbstractFormatterRule::Caption(uint8_t typeId) {
    return typeId >= 1 && typeId <= kRuleTypeCount ? kCaptions[typeId] : "";
}

// The rule editor lists "replace text" before "change characters"; the rest follow their ids.
uint8_t TAbstractFormatterRule::TypeAtEditorIndex(int index) {
    if (index < 0 || index >= kRuleTypeCount) return 0;
    if (index == 1) return rtReplaceText;
    if (index == 2) return rtChangeChar;
    return static_cast<uint8_t>(index + 1);
}

int TAbstractFormatterRule::EditorIndex(uint8_t typeId) {
    if (typeId == rtReplaceText) return 1;
    if (typeId == rtChangeChar) return 2;
    return typeId >= 1 && typeId <= kRuleTypeCount ? typeId - 1 : -1;
}

// --- paragraph ---

namespace {

// Joins the lines of each paragraph into one line: an empty or indented line starts a new
// paragraph, a hyphenated word is rejoined. Writes the result to out; true when it differs.
bool JoinParagraphs(const std::string& text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    bool changed = false;
    const size_t n = text.size();
    for (size_t pos = 0; pos < n;) {
        const size_t end = LineEndAt(text, pos);
        const size_t next = AfterBreak(text, end);
        const size_t visibleEnd = LastVisibleEnd(text, TLine{pos, end, next});
        if (next >= n) {
            out.append(text, pos, n - pos);
            break;
        }
        // An empty line or an indented line starts a new paragraph; a blank line stays.
        const char c = text[next];
        if (IsBreak(c) || IsBlank(c) || visibleEnd == pos) {
            out.append(text, pos, next - pos);
            pos = next;
            continue;
        }
        const size_t last = visibleEnd - 1;
        if (text[last] == '-' && last > pos && !IsBlank(text[last - 1])) {
            out.append(text, pos, last - pos);  // a hyphenated word is rejoined
        } else {
            out.append(text, pos, visibleEnd - pos);
            out += ' ';
        }
        changed = true;
        pos = next;
    }
    return changed;
}

// One paragraph line laid out in rows of at most width characters (a longer word keeps a row
// of its own), words one space apart, aligned; the paragraph's indent stays on its first row.
void LayOutParagraph(const std::string& text, const TLine& line, size_t width, uint8_t mode, std::string& out) {
    const size_t first = FirstVisible(text, line);
    if (first == line.End) {
        out.append(text, line.Begin, line.Next - line.Begin);
        return;
    }
    const std::string_view indent(text.data() + line.Begin, first - line.Begin);
    const std::string_view lineBreak(text.data() + line.End, line.Next - line.End);
    std::vector<std::string_view> words;
    for (size_t at = first, stop = LastVisibleEnd(text, line); at < stop;) {
        size_t to = at;
        while (to < stop && !IsBlank(text[to]))
            ++to;
        words.emplace_back(text.data() + at, to - at);
        at = to;
        while (at < stop && IsBlank(text[at]))
            ++at;
    }
    size_t w = 0;
    bool firstRow = true;
    while (w < words.size()) {
        const size_t lead = firstRow ? indent.size() : 0;
        size_t length = lead + words[w].size(), last = w + 1;
        while (last < words.size() && length + 1 + words[last].size() <= width)
            length += 1 + words[last++].size();
        const bool finalRow = last == words.size();
        const size_t extra = length < width ? width - length : 0;
        const size_t gaps = last - w - 1;
        if (mode == TParagraphRule::pmRight) out.append(extra, ' ');
        if (mode == TParagraphRule::pmCenter) out.append(extra / 2, ' ');
        if (firstRow) out += indent;
        for (size_t k = w; k < last; ++k) {
            if (k > w) {
                size_t spaces = 1;
                if (mode == TParagraphRule::pmFull && !finalRow && gaps > 0)
                    spaces += extra / gaps + (k - w - 1 < extra % gaps ? 1 : 0);
                out.append(spaces, ' ');
            }
            out += words[k];
        }
        out += finalRow ? lineBreak : lineBreak.empty() ? std::string_view("\r\n") : lineBreak;
        CheckFormattedSize(out.size());
        w = last;
        firstRow = false;
    }
}

}  // namespace

bool TParagraphRule::DoApply(std::string& text) const {
    if (Mode > pmSingleLine) RaiseFixedError(kNotImplemented);
    std::string joined;
    const bool joinedChanged = JoinParagraphs(text, joined);
    if (Mode == pmSingleLine) {
        if (joinedChanged) text = std::move(joined);
        return joinedChanged;
    }
    if (Width < 1) return false;
    std::string out;
    out.reserve(joined.size() + joined.size() / 8);
    ForEachLine(joined,
                [&](const TLine& line) { LayOutParagraph(joined, line, static_cast<size_t>(Width), Mode, out); });
    if (out == text) return false;
    text = std::move(out);
    return true;
}

void TParagraphRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(Mode);
    out.Int(Width);
}

bool TParagraphRule::LoadOptions(TRuleReader& in) {
    if (!in.Byte(Mode) || !in.Int(Width)) return false;
    Mode = InRange(Mode, pmSingleLine, pmSingleLine);
    Width = std::clamp(Width, 0, 100000);
    return true;
}

// --- characters and texts ---

bool TChangeCharRule::DoApply(std::string& text) const {
    if (FromChar == ToChar || FromChar == 0 || ToChar == 0) return false;
    bool changed = false;
    for (char& c : text) {
        if (static_cast<uint8_t>(c) == FromChar) {
            c = static_cast<char>(ToChar);
            changed = true;
        }
    }
    return changed;
}

void TChangeCharRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(FromChar);
    out.Byte(ToChar);
}

bool TChangeCharRule::LoadOptions(TRuleReader& in) {
    return in.Byte(FromChar) && in.Byte(ToChar);
}

bool TReplaceTextRule::DoApply(std::string& text) const {
    if (FindText.empty() || FindText == ReplaceText) return false;
    TTextMatcher matcher(FindText, CaseSensitive);
    matcher.SetText(text);
    size_t at = matcher.Find(0);
    if (at == std::string::npos) return false;
    // One pass: the search goes on behind each match, so inserted text is never searched.
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    while (at != std::string::npos) {
        out.append(text, done, at - done);
        out += ReplaceText;
        CheckFormattedSize(out.size());
        done = at + FindText.size();
        at = matcher.Find(done);
    }
    out.append(text, done, std::string::npos);
    text = std::move(out);
    return true;
}

void TReplaceTextRule::SaveOptions(TRuleWriter& out) const {
    out.Str(FindText);
    out.Str(ReplaceText);
}

bool TReplaceTextRule::LoadOptions(TRuleReader& in) {
    CaseSensitive = false;
    return in.Str(FindText) && in.Str(ReplaceText);
}

// --- lines ---

bool TRemoveEmptyStringRule::DoApply(std::string& text) const {
    const int32_t keep = std::max(MaxEmpty, 0);
    std::string out;
    out.reserve(text.size());
    int32_t run = 0;
    bool changed = false;
    ForEachLine(text, [&](const TLine& line) {
        if (FirstVisible(text, line) == line.End) {
            if (++run > keep) {
                changed = true;
                return;
            }
        } else {
            run = 0;
        }
        out.append(text, line.Begin, line.Next - line.Begin);
    });
    if (changed) text = std::move(out);
    return changed;
}

void TRemoveEmptyStringRule::SaveOptions(TRuleWriter& out) const {
    out.Int(MaxEmpty);
}

bool TRemoveEmptyStringRule::LoadOptions(TRuleReader& in) {
    if (!in.Int(MaxEmpty)) return false;
    MaxEmpty = std::clamp(MaxEmpty, 0, 1000);
    return true;
}

bool TLeftIdentRule::DoApply(std::string& text) const {
    const bool firstLinesOnly = TypeId() == rtParagraphIdent;
    const size_t count = static_cast<size_t>(std::max(Count, 0));
    std::string out;
    out.reserve(text.size());
    bool changed = false;
    bool previousVisible = false;
    ForEachLine(text, [&](const TLine& line) {
        const size_t first = FirstVisible(text, line);
        const bool visible = first < line.End;
        const bool candidate = visible && (!firstLinesOnly || !previousVisible);
        previousVisible = visible;
        const size_t indent = first - line.Begin;
        const bool change = candidate && (Compare == icNotMore   ? indent > count
                                          : Compare == icNotLess ? indent < count
                                                                 : indent != count);
        if (!change) {
            out.append(text, line.Begin, line.Next - line.Begin);
            return;
        }
        changed = true;
        if (indent < count) {
            CheckFormattedSize(out.size() + count - indent);
            out.append(count - indent, ' ');
            out.append(text, line.Begin, line.Next - line.Begin);
        } else {
            out.append(text, line.Begin + indent - count, line.Next - line.Begin - (indent - count));
        }
    });
    if (changed) text = std::move(out);
    return changed;
}

void TLeftIdentRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(Compare);
    out.Int(Count);
}

bool TLeftIdentRule::LoadOptions(TRuleReader& in) {
    if (!in.Byte(Compare) || !in.Int(Count)) return false;
    Compare = InRange(Compare, icExactly, icExactly);
    Count = std::clamp(Count, 0, 1000);
    return true;
}

void TParagraphIdentRule::SaveOptions(TRuleWriter& out) const {
    TLeftIdentRule::SaveOptions(out);
    out.Byte(Reserved);
}

bool TParagraphIdentRule::LoadOptions(TRuleReader& in) {
    return TLeftIdentRule::LoadOptions(in) && in.Byte(Reserved);
}

bool TCRLFRule::DoApply(std::string& text) const {
    const std::string_view target = Target == ltCR ? "\r" : Target == ltLF ? "\n" : "\r\n";
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    bool changed = false;
    size_t done = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsBreak(text[i])) continue;
        // LF CR is two breaks; only CR LF is one.
        const size_t length = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        const std::string_view found(text.data() + i, length);
        if (found != target) {
            out.append(text, done, i - done);
            out += target;
            done = i + length;
            changed = true;
        }
        i += length - 1;
    }
    if (!changed) return false;
    out.append(text, done, std::string::npos);
    text = std::move(out);
    return true;
}

void TCRLFRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(Target);
}

bool TCRLFRule::LoadOptions(TRuleReader& in) {
    if (!in.Byte(Target)) return false;
    Target = InRange(Target, ltCRLF, ltCRLF);
    return true;
}

bool TTabToSpacesRule::DoApply(std::string& text) const {
    if (text.find('\t') == std::string::npos) return false;
    const size_t spaces = static_cast<size_t>(std::max(Spaces, 0));
    const auto tabs = static_cast<size_t>(std::count(text.begin(), text.end(), '\t'));
    CheckFormattedSize(text.size() - tabs + tabs * spaces);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            out.append(spaces, ' ');
        else
            out += c;
    }
    text = std::move(out);
    return true;
}

void TTabToSpacesRule::SaveOptions(TRuleWriter& out) const {
    out.Int(Spaces);
}

bool TTabToSpacesRule::LoadOptions(TRuleReader& in) {
    if (!in.Int(Spaces)) return false;
    Spaces = std::clamp(Spaces, 0, 1000);
    return true;
}

// --- letter case ---

namespace {

bool IsCaseLetter(unsigned char c) {
    return AnsiLowerChar(c) != c || AnsiUpperChar(c) != c;
}

// The letter after a case mode; letters of an alphabet the mode does not touch stay.
unsigned char ApplyCaseMode(uint8_t mode, unsigned char c) {
    if (mode == 0 || mode > 9) return c;
    const bool latin = c < 128;
    const int alphabet = (mode - 1) / 3;  // 0 Latin, 1 Cyrillic, 2 all
    if ((alphabet == 0 && !latin) || (alphabet == 1 && latin)) return c;
    const unsigned char lower = AnsiLowerChar(c);
    switch ((mode - 1) % 3) {
        case 0:
            return lower != c ? lower : AnsiUpperChar(c);
        case 1:
            return lower;
        default:
            return AnsiUpperChar(c);
    }
}

}  // namespace

bool TRegisterManageRule::DoApply(std::string& text) const {
    bool sentenceStart = true;
    bool lineEmpty = true;  // no letter and no sentence end on this line yet
    bool changed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (lineEmpty) sentenceStart = true;
            lineEmpty = true;
        } else if (c == '!' || c == '.' || c == '?' || c == 133) {
            sentenceStart = true;
            lineEmpty = false;
        } else if (IsCaseLetter(c)) {
            const uint8_t mode = sentenceStart && FirstLetterMode != 0 ? FirstLetterMode : TextMode;
            const unsigned char to = ApplyCaseMode(mode, c);
            if (to != c) {
                text[i] = static_cast<char>(to);
                changed = true;
            }
            sentenceStart = lineEmpty = false;
        }
    }
    return changed;
}

void TRegisterManageRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(TextMode);
    out.Byte(FirstLetterMode);
}

bool TRegisterManageRule::LoadOptions(TRuleReader& in) {
    if (!in.Byte(TextMode) || !in.Byte(FirstLetterMode)) return false;
    TextMode = InRange(TextMode, 9, 0);
    FirstLetterMode = InRange(FirstLetterMode, 9, 0);
    return true;
}

// --- runs, shifts, trims ---

bool TNoMoreSymbRule::DoApply(std::string& text) const {
    if (Symbol == 0) return false;
    const int64_t keep = std::max(MaxRun, 0);
    std::string out;
    out.reserve(text.size());
    int64_t run = 0;
    bool changed = false;
    for (char c : text) {
        if (static_cast<uint8_t>(c) != Symbol) {
            run = 0;
        } else if (++run > keep) {
            changed = true;
            continue;
        }
        out += c;
    }
    if (changed) text = std::move(out);
    return changed;
}

void TNoMoreSymbRule::SaveOptions(TRuleWriter& out) const {
    out.Int(MaxRun);
    out.Byte(Symbol);
}

bool TNoMoreSymbRule::LoadOptions(TRuleReader& in) {
    if (!in.Int(MaxRun) || !in.Byte(Symbol)) return false;
    MaxRun = std::clamp(MaxRun, 0, 1000);
    return true;
}

bool TTextShiftRule::DoApply(std::string& text) const {
    if (Count <= 0) return false;
    const size_t count = static_cast<size_t>(Count);
    std::string out;
    bool changed = false;
    ForEachLine(text, [&](const TLine& line) {
        if (ToRight) {
            CheckFormattedSize(out.size() + count);
            out.append(count, ' ');
            changed = true;
            out.append(text, line.Begin, line.Next - line.Begin);
        } else {
            const size_t cut = std::min(count, line.End - line.Begin);
            changed = changed || cut > 0;
            out.append(text, line.Begin + cut, line.Next - line.Begin - cut);
        }
    });
    if (changed) text = std::move(out);
    return changed;
}

void TTextShiftRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(ToRight ? 1 : 0);
    out.Int(Count);
}

bool TTextShiftRule::LoadOptions(TRuleReader& in) {
    uint8_t right = 0;
    if (!in.Byte(right) || !in.Int(Count)) return false;
    ToRight = right != 0;
    Count = std::clamp(Count, 0, 10000);
    return true;
}

bool TTextTrimRule::DoApply(std::string& text) const {
    std::string out;
    bool changed = false;
    if (LineTrim != tmNone && LineTrim <= tmRight) {
        out.reserve(text.size());
        ForEachLine(text, [&](const TLine& line) {
            const size_t first = FirstVisible(text, line);
            const size_t last = LastVisibleEnd(text, line);
            size_t from = line.Begin, to = line.End;
            if (first == line.End) {  // nothing visible
                if (LineTrim != tmRight) to = from;
            } else {
                if (LineTrim != tmRight) from = first;
                if (LineTrim != tmLeft) to = last;
            }
            changed = changed || from != line.Begin || to != line.End;
            out.append(text, from, to - from);
            out.append(text, line.End, line.Next - line.End);
        });
        if (changed) text = std::move(out);
    }
    auto trimmable = [](char c) { return IsBlank(c) || IsBreak(c); };
    size_t from = 0, to = text.size();
    if (TextTrim == tmFull || TextTrim == tmLeft)
        while (from < to && trimmable(text[from]))
            ++from;
    if (TextTrim == tmFull || TextTrim == tmRight)
        while (to > from && trimmable(text[to - 1]))
            --to;
    if (from == 0 && to == text.size()) return changed;
    text = text.substr(from, to - from);
    return true;
}

void TTextTrimRule::SaveOptions(TRuleWriter& out) const {
    out.Byte(TextTrim);
    out.Byte(LineTrim);
}

bool TTextTrimRule::LoadOptions(TRuleReader& in) {
    if (!in.Byte(TextTrim) || !in.Byte(LineTrim)) return false;
    TextTrim = InRange(TextTrim, tmRight, tmNone);
    LineTrim = InRange(LineTrim, tmRight, tmNone);
    return true;
}

// --- HTML ---

namespace {

struct TEntity {
    const char* Name;
    unsigned char Byte;
};

const TEntity kEntities[] = {
    {"nbsp", ' '},   {"lt", '<'},     {"gt", '>'},     {"quot", '"'},   {"copy", 169},   {"amp", '&'},
    {"laquo", 171},  {"raquo", 187},  {"reg", 174},    {"trade", 153},  {"circ", '?'},   {"tilde", '?'},
    {"ndash", 150},  {"mdash", 151},  {"lsquo", 145},  {"rsquo", 146},  {"sbquo", 130},  {"ldquo", 147},
    {"rdquo", 148},  {"bdquo", 132},  {"lsaquo", 139}, {"rsaquo", 155}, {"brvbar", 166}, {"sect", 167},
    {"uml", '?'},    {"ordf", '?'},   {"not", 172},    {"macr", '?'},   {"deg", 176},    {"plusmn", 177},
    {"sup1", '?'},   {"sup2", '?'},   {"sup3", '?'},   {"acute", '?'},  {"micro", 181},  {"para", 182},
    {"middot", 183}, {"cedil", '?'},  {"ordm", '?'},   {"frac14", '?'}, {"frac12", '?'}, {"frac34", '?'},
    {"iquest", '?'}, {"shy", 173},    {"iexcl", '?'},  {"cent", 'c'},   {"pound", 'P'},  {"curren", 164},
    {"yen", 'Y'},    {"euro", 136},   {"times", '?'},  {"divide", '?'}, {"dagger", 134}, {"permil", 137},
    {"aacute", 'a'}, {"acirc", 'a'},  {"agrave", 'a'}, {"auml", 'a'},   {"atilde", 'a'}, {"aring", 'a'},
    {"aelig", '?'},  {"eacute", 'e'}, {"egrave", 'e'}, {"euml", 'e'},   {"eth", '?'},    {"ecirc", 'e'},
    {"igrave", 'i'}, {"iacute", 'i'}, {"icirc", 'i'},  {"iuml", 'i'},   {"oacute", 'o'}, {"ocirc", 'o'},
    {"oelig", '?'},  {"ograve", 'o'}, {"otilde", 'o'}, {"oslash", 'o'}, {"ouml", 'o'},   {"uacute", 'u'},
    {"ucirc", 'u'},  {"ugrave", 'u'}, {"uuml", 'u'},   {"yacute", 'y'}, {"yuml", 'y'},   {"szlig", '?'},
    {"ccedil", 'c'}, {"ntilde", 'n'}, {"thorn", '?'},  {"scaron", 's'},
};
static_assert(std::size(kEntities) == 88);

const std::pair<int, unsigned char> kNumericExtras[] = {{9660, 'V'}, {8595, 'v'}, {9650, '^'}, {8593, '^'}, {9661, '?'},
                                                        {1105, 184}, {1025, 168}, {169, 169},  {139, 139}};

unsigned char NumericReference(int value) {
    if (value >= 1 && value <= 126) return static_cast<unsigned char>(value);
    if (value >= 1040 && value <= 1103) return static_cast<unsigned char>(value - 1040 + 192);
    for (const auto& [code, byte] : kNumericExtras)
        if (code == value) return byte;
    return ' ';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool TRemoveHTMLTagsRule::DoApply(std::string& text) const {
    const size_t maxTag = static_cast<size_t>(std::max(MaxTagLength, 1));
    const size_t n = text.size();
    std::string out;
    out.reserve(n);
    bool changed = false;
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '<') {
            size_t j = i + 1;
            for (; j <= i + maxTag; ++j)
                if (j == n || text[j] == '>' || text[j] == '<') break;
            if (j > i + maxTag) {  // no tag: the "<" is text
                const size_t to = std::min(n, i + maxTag);
                out.append(text, i, to - i);
                i = to;
            } else if (j == n) {  // the text ends inside the tag
                changed = true;
                i = n;
            } else if (text[j] == '<') {
                out.append(text, i, j - i);
                i = j;
            } else {
                if (j == i + 2 && (text[i + 1] == 'p' || text[i + 1] == 'P')) out += "\r\n";
                changed = true;
                i = j + 1;
            }
            continue;
        }
        if (c == '&' && i + 1 < n && text[i + 1] == '#') {
            size_t j = i + 2;
            int value = 0;
            while (j < n && j < i + 8 && IsDigit(text[j]))
                value = value * 10 + (text[j++] - '0');
            if (j > i + 2 && j < n && text[j] == ';') {
                out += static_cast<char>(NumericReference(value));
                changed = true;
                i = j + 1;
                continue;
            }
        } else if (c == '&' && i + 1 < n && static_cast<unsigned char>(text[i + 1]) >= '!' && !IsDigit(text[i + 1])) {
            const TEntity* found = nullptr;
            for (const TEntity& e : kEntities) {
                const size_t length = std::strlen(e.Name);
                if (i + 1 + length < n && text.compare(i + 1, length, e.Name) == 0 && text[i + 1 + length] == ';') {
                    found = &e;
                    break;
                }
            }
            if (found) {
                out += static_cast<char>(found->Byte);
                changed = true;
                i += std::strlen(found->Name) + 2;
                continue;
            }
        }
        out += c;
        ++i;
    }
    if (changed) text = std::move(out);
    return changed;
}

void TRemoveHTMLTagsRule::SaveOptions(TRuleWriter& out) const {
    out.Int(MaxTagLength);
}

bool TRemoveHTMLTagsRule::LoadOptions(TRuleReader& in) {
    if (!in.Int(MaxTagLength)) return false;
    MaxTagLength = std::clamp(MaxTagLength, 1, 1000000);
    return true;
}

// --- lines by list ---

bool TRemoveLinesRule::DoApply(std::string& text) const {
    std::vector<const std::string*> patterns;
    for (const std::string& line : Lines)
        if (!line.empty()) patterns.push_back(&line);
    if (patterns.empty()) return false;
    std::string out;
    out.reserve(text.size());
    bool changed = false;
    ForEachLine(text, [&](const TLine& line) {
        const std::string_view body(text.data() + line.Begin, line.End - line.Begin);
        for (const std::string* p : patterns) {
            if (body.find(*p) != std::string_view::npos) {
                changed = true;
                return;
            }
        }
        out.append(text, line.Begin, line.Next - line.Begin);
    });
    if (changed) text = std::move(out);
    return changed;
}

void TRemoveLinesRule::SaveOptions(TRuleWriter& out) const {
    std::string joined;
    for (const std::string& line : Lines)
        joined += line + "\r\n";
    out.Str(joined);
}

bool TRemoveLinesRule::LoadOptions(TRuleReader& in) {
    Lines.clear();
    int32_t length = 0;
    if (!in.Int(length)) return false;
    if (length < 1) return true;
    if (static_cast<size_t>(length) > in.Left()) return false;
    in.Seek(in.Position() - 4);
    std::string joined;
    if (!in.Str(joined)) return false;
    ForEachLine(joined, [&](const TLine& line) { Lines.emplace_back(joined, line.Begin, line.End - line.Begin); });
    return true;
}
