#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TMemoText;

// What the find and replace dialog returned; the book preview keeps it for repeats.
struct TSearchSettings {
    bool Defined = false;
    bool ReplaceMode = false;
    std::string FindText;
    std::string ReplaceText;
    bool CaseSensitive = false;
    bool ReplaceAll = false;
    bool InSelection = false;
};

// The result of a search on one text: the text with the replacements made, where the first
// match (find, single replace) or the last replacement (replace all) is, and how many.
struct TSearchResult {
    bool Found = false;
    size_t Position = 0;
    size_t Count = 0;
};

// Searches text from its start; in replace mode replaces the first match, or every match in
// one pass (a replacement is never searched again). Position is that of the match, or of the
// last replacement.
TSearchResult SearchText(const TSearchSettings& settings, std::string& text);

// Runs the search on an editor: the selection when InSelection and there is one; otherwise a
// find or a single replace from the caret to the end, and replace all over the whole text (a
// match before the caret would be missed silently). A find selects the match and puts the caret
// after it; a replace changes only the matched text (replace all: the span from the first to
// the last match) as one edit and selects the last replacement. replaced (when given) receives
// how many. False when nothing was found (the caller beeps) or the editor is read-only in
// replace mode.
bool FindAgain(const TSearchSettings& settings, TMemoText& editor, size_t* replaced = nullptr);

// Puts a used text at the top of a history list (an equal entry, compared without regard to
// case, moves there) and keeps at most max entries. Empty texts are not kept.
void AddToHistory(std::vector<std::string>& items, const std::string& text, size_t max = 24);
