#include "format/FindReplace.h"

#include <algorithm>

#include "common/TextUtils.h"
#include "editor/MemoText.h"
#include "format/FormatRules.h"

namespace {

// Replaces every match from `first` on, left to right, and returns the span from the first
// match to the end of the last one with the replacements made.
struct TSpan {
    size_t End = 0;           // end of the last match in the searched text
    std::string Replaced;     // the span after replacing
    size_t LastReplaced = 0;  // where the last replacement starts in Replaced
    size_t Count = 0;
};

TSpan ReplaceAllFrom(const TTextMatcher& matcher, const std::string& text, size_t first, const std::string& with) {
    TSpan span;
    size_t at = first, done = first;
    while (at != std::string::npos) {
        span.Replaced.append(text, done, at - done);
        span.LastReplaced = span.Replaced.size();
        span.Replaced += with;
        done = at + matcher.MatchLength();
        ++span.Count;
        at = matcher.Find(done);
    }
    span.End = done;
    return span;
}

}  // namespace

TSearchResult SearchText(const TSearchSettings& settings, std::string& text) {
    TSearchResult result;
    TTextMatcher matcher(settings.FindText, settings.CaseSensitive, true);
    matcher.SetText(text);
    const size_t first = matcher.Find(0);
    if (first == std::string::npos) return result;
    result.Found = true;
    result.Position = first;
    result.Count = 1;
    if (!settings.ReplaceMode) return result;
    if (!settings.ReplaceAll) {
        text.replace(first, matcher.MatchLength(), settings.ReplaceText);
        return result;
    }
    const TSpan span = ReplaceAllFrom(matcher, text, first, settings.ReplaceText);
    text.replace(first, span.End - first, span.Replaced);
    result.Position = first + span.LastReplaced;
    result.Count = span.Count;
    return result;
}

bool FindAgain(const TSearchSettings& settings, TMemoText& editor, size_t* replaced) {
    if (replaced) *replaced = 0;
    if (!settings.Defined || (settings.ReplaceMode && editor.ReadOnly)) return false;
    int64_t start = 0;
    std::string range;
    if (settings.InSelection && editor.HasSelection()) {
        start = editor.SelStart();
        range = editor.SelText();
    } else if (settings.ReplaceMode && settings.ReplaceAll) {
        range = editor.TextFrom(0);
    } else {
        start = editor.CaretOffset();
        range = editor.TextFrom(start);
    }
    TTextMatcher matcher(settings.FindText, settings.CaseSensitive, true);
    matcher.SetText(range);
    const size_t first = matcher.Find(0);
    if (first == std::string::npos) return false;

    const int64_t at = start + static_cast<int64_t>(first);
    auto select = [&editor](int64_t from, size_t length) {
        editor.SetSelection(editor.PointOfOffset(from), editor.PointOfOffset(from + static_cast<int64_t>(length)));
    };
    if (!settings.ReplaceMode) {
        select(at, matcher.MatchLength());
        editor.MoveCaretTo(at + static_cast<int64_t>(matcher.MatchLength()));
        return true;
    }
    if (!settings.ReplaceAll) {
        select(at, matcher.MatchLength());
        editor.SetSelText(settings.ReplaceText);
        select(at, settings.ReplaceText.size());
        if (replaced) *replaced = 1;
        return true;
    }
    // Only the span from the first to the last match changes, in one edit built in one pass.
    const TSpan span = ReplaceAllFrom(matcher, range, first, settings.ReplaceText);
    select(at, span.End - first);
    editor.SetSelText(span.Replaced);
    select(at + static_cast<int64_t>(span.LastReplaced), settings.ReplaceText.size());
    if (replaced) *replaced = span.Count;
    return true;
}

void AddToHistory(std::vector<std::string>& items, const std::string& text, size_t max) {
    if (!text.empty()) {
        std::erase_if(items, [&text](const std::string& item) { return AnsiSameText(item, text); });
        items.insert(items.begin(), text);
    }
    if (items.size() > max) items.resize(max);
}
