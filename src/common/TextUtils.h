#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Helpers on Windows-1251 text.

// Case mapping of one Windows-1251 character (Latin, Russian and the other Cyrillic letters).
unsigned char AnsiLowerChar(unsigned char c);
unsigned char AnsiUpperChar(unsigned char c);
std::string AnsiLowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);
// Byte order of the lower-case forms (negative, 0, positive), without copying either text.
int AnsiCompareText(std::string_view a, std::string_view b);
inline bool AnsiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

// True for A..Z, a..z.
bool IsLatinLetter(unsigned char c);
// True for the Russian letters 0xC0..0xFF, Ё (0xA8) and ё (0xB8).
bool IsCyrillicLetter(unsigned char c);

// Removes characters with codes up to 32 from both ends.
std::string TrimBlanks(std::string_view text);
// The same without a copy: a view into text.
std::string_view TrimmedView(std::string_view text);

// A whole decimal integer with an optional sign, blanks (codes up to 32) around it allowed; false
// for anything else or a number beyond 32 bits.
bool TextToInt(std::string_view text, int32_t& value);

// TrimBlanks, then strips the characters 1..13, blank, ! , . / ? from both ends.
std::string TrimPunctuation(std::string_view text);

// Brings a word that mixes Latin and Cyrillic look-alike letters into one alphabet.
std::string RepairMixedScript(std::string_view text);

// The comparison keys of names: lower case of RepairMixedScript of the text, and the same
// of TrimPunctuation of the text.
std::string SearchKey(std::string_view text);
std::string SearchKeyTrimmed(std::string_view text);
// Ё and ё read as Е and е: what filters and searches compare, on both sides (a person types е
// for ё). Name matching keys keep the letter.
std::string FoldYo(std::string text);
// SearchKey with ё folded: the key of filters and searches.
std::string FilterKey(std::string_view text);
// FilterKey(value) contains key; builds no folded copy unless the value mixes scripts.
bool FilterKeyContains(std::string_view value, std::string_view key);
// Appends FilterKey(value) to out, without a copy unless the value mixes scripts.
void AppendFilterKey(std::string& out, std::string_view value);

// Engine text with the Latin letters that look like Cyrillic ones (A, B, C, E, H, K, M, O, P, T,
// X; a, c, e, o, p, x, y) turned into those: for matching what a person typed to stored text.
std::string FoldLookAlikes(std::string text);

// Text for XML content and attributes: & < > " ' as references, control characters other
// than tab and line ends (which XML cannot hold) as blanks. Bytes above 127 pass unchanged.
std::string XmlEscape(const std::string& utf8);

// UTF-8 text safe to print on a terminal: control characters (C0, DEL and C1, which can move
// the cursor or retitle a window) become "?".
std::string PrintableText(std::string_view utf8);
