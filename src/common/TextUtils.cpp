#include "common/TextUtils.h"

#include <array>
#include <charconv>

namespace {

struct CaseTables {
    std::array<unsigned char, 256> lower{};
    std::array<unsigned char, 256> upper{};

    CaseTables() {
        for (int c = 0; c < 256; ++c)
            lower[c] = upper[c] = static_cast<unsigned char>(c);
        auto pair = [this](int up, int low) {
            lower[up] = static_cast<unsigned char>(low);
            upper[low] = static_cast<unsigned char>(up);
        };
        for (int c = 'A'; c <= 'Z'; ++c)
            pair(c, c + 32);
        for (int c = 0xC0; c <= 0xDF; ++c)
            pair(c, c + 32);
        // Ё, and the Ukrainian, Belarusian, Serbian and Macedonian letters of the code page.
        const int others[][2] = {{0xA8, 0xB8}, {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C},
                                 {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC},
                                 {0xA5, 0xB4}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
        for (const auto& p : others)
            pair(p[0], p[1]);
    }
};

const CaseTables& Cases() {
    static const CaseTables tables;
    return tables;
}

// The look-alike pairs: Latin letter, Cyrillic letter.
constexpr unsigned char kLookAlikes[21][2] = {
    {'A', 0xC0}, {'B', 0xC2}, {'C', 0xD1}, {'E', 0xC5}, {'H', 0xCD}, {'K', 0xCA}, {'M', 0xCC},
    {'O', 0xCE}, {'P', 0xD0}, {'T', 0xD2}, {'X', 0xD5}, {'a', 0xE0}, {'c', 0xF1}, {'e', 0xE5},
    {'k', 0xEA}, {'m', 0xEC}, {'o', 0xEE}, {'p', 0xF0}, {'r', 0xE3}, {'u', 0xE8}, {'y', 0xF3},
};

bool IsPunctuationToStrip(unsigned char c) {
    return (c >= 1 && c <= 13) || c == ' ' || c == '!' || c == ',' || c == '.' || c == '/' || c == '?';
}

}  // namespace

unsigned char AnsiLowerChar(unsigned char c) {
    return Cases().lower[c];
}
unsigned char AnsiUpperChar(unsigned char c) {
    return Cases().upper[c];
}

std::string AnsiLowerCase(std::string_view text) {
    std::string out(text);
    const auto& table = Cases().lower;
    for (char& c : out)
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const auto& table = Cases().lower;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = table[static_cast<unsigned char>(a[i])], y = table[static_cast<unsigned char>(b[i])];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string AnsiUpperCase(std::string_view text) {
    std::string out(text);
    const auto& table = Cases().upper;
    for (char& c : out)
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

bool IsLatinLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsCyrillicLetter(unsigned char c) {
    return c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

bool TextToInt(std::string_view text, int32_t& value) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    int32_t read = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    value = read;
    return true;
}

std::string_view TrimmedView(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}

std::string TrimBlanks(std::string_view text) {
    return std::string(TrimmedView(text));
}

std::string TrimPunctuation(std::string_view text) {
    std::string trimmed = TrimBlanks(text);
    std::string_view s(trimmed);
    while (!s.empty() && IsPunctuationToStrip(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && IsPunctuationToStrip(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

std::string RepairMixedScript(std::string_view text) {
    size_t latin = 0, cyrillic = 0;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        latin += IsLatinLetter(c);
        cyrillic += IsCyrillicLetter(c);
    }
    if (latin == 0 || cyrillic == 0) return std::string(text);

    std::string latinCandidate(text), cyrillicCandidate(text);
    bool latinOk = true, cyrillicOk = true;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        for (const auto& pair : kLookAlikes) {
            if (c == pair[0] || c == pair[1]) {
                latinCandidate[i] = static_cast<char>(pair[0]);
                cyrillicCandidate[i] = static_cast<char>(pair[1]);
                break;
            }
        }
        if (IsCyrillicLetter(static_cast<unsigned char>(latinCandidate[i]))) latinOk = false;
        if (IsLatinLetter(static_cast<unsigned char>(cyrillicCandidate[i]))) cyrillicOk = false;
    }
    if (latinOk && cyrillicOk) return cyrillic < latin ? latinCandidate : cyrillicCandidate;
    if (latinOk) return latinCandidate;
    if (cyrillicOk) return cyrillicCandidate;
    return std::string(text);
}

std::string SearchKey(std::string_view text) {
    return AnsiLowerCase(RepairMixedScript(text));
}

std::string SearchKeyTrimmed(std::string_view text) {
    return SearchKey(TrimPunctuation(text));
}

std::string FoldYo(std::string text) {
    for (char& ch : text) {
        if (ch == '\xB8')
            ch = '\xE5';  // ё
        else if (ch == '\xA8')
            ch = '\xC5';  // Ё
    }
    return text;
}

std::string FilterKey(std::string_view text) {
    std::string key;
    AppendFilterKey(key, text);
    return key;
}

namespace {

bool MixesScripts(std::string_view value) {
    bool latin = false, cyrillic = false;
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        latin = latin || IsLatinLetter(c);
        cyrillic = cyrillic || IsCyrillicLetter(c);
    }
    return latin && cyrillic;
}

// FilterKey of a text in one script, byte by byte: lower case, ё as е.
const std::array<unsigned char, 256>& FoldTable() {
    static const auto table = [] {
        std::array<unsigned char, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const unsigned char lower = Cases().lower[static_cast<size_t>(i)];
            t[static_cast<size_t>(i)] = lower == 0xB8 ? 0xE5 : lower == 0xA8 ? 0xC5 : lower;
        }
        return t;
    }();
    return table;
}

}  // namespace

bool FilterKeyContains(std::string_view value, std::string_view key) {
    if (key.empty()) return true;
    // Mixed scripts are repaired as a whole first; one script folds byte by byte, in place.
    if (MixesScripts(value)) return FilterKey(value).find(key) != std::string::npos;
    const auto& fold = FoldTable();
    const size_t n = value.size(), m = key.size();
    if (m > n) return false;
    const auto first = static_cast<unsigned char>(key[0]);
    for (size_t i = 0; i + m <= n; ++i) {
        if (fold[static_cast<unsigned char>(value[i])] != first) continue;
        size_t j = 1;
        while (j < m && fold[static_cast<unsigned char>(value[i + j])] == static_cast<unsigned char>(key[j]))
            ++j;
        if (j == m) return true;
    }
    return false;
}

void AppendFilterKey(std::string& out, std::string_view value) {
    // Mixed scripts are repaired as a whole first; one script folds byte by byte, in place.
    if (MixesScripts(value)) {
        out += FoldYo(SearchKey(value));
        return;
    }
    const auto& fold = FoldTable();
    const size_t at = out.size();
    out.append(value);
    for (size_t i = at; i < out.size(); ++i)
        out[i] = static_cast<char>(fold[static_cast<unsigned char>(out[i])]);
}

std::string FoldLookAlikes(std::string text) {
    // Windows-1251 codes of the Cyrillic twins.
    static const auto kTable = [] {
        std::array<unsigned char, 256> table{};
        for (int i = 0; i < 256; ++i)
            table[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
        const std::pair<char, unsigned char> pairs[] = {{'A', 0xC0}, {'B', 0xC2}, {'C', 0xD1}, {'E', 0xC5}, {'H', 0xCD},
                                                        {'K', 0xCA}, {'M', 0xCC}, {'O', 0xCE}, {'P', 0xD0}, {'T', 0xD2},
                                                        {'X', 0xD5}, {'a', 0xE0}, {'c', 0xF1}, {'e', 0xE5}, {'o', 0xEE},
                                                        {'p', 0xF0}, {'x', 0xF5}, {'y', 0xF3}};
        for (const auto& [latin, cyrillic] : pairs)
            table[static_cast<unsigned char>(latin)] = cyrillic;
        return table;
    }();
    for (char& ch : text)
        ch = static_cast<char>(kTable[static_cast<unsigned char>(ch)]);
    return text;
}

std::string XmlEscape(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters other than tab and line ends cannot stand in XML.
                if (static_cast<uint8_t>(c) < 32 && c != '\t' && c != '\n' && c != '\r')
                    out += ' ';
                else
                    out += c;
        }
    }
    return out;
}

std::string PrintableText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<uint8_t>(utf8[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<uint8_t>(utf8[i + 1]) >= 0x80 &&
                   static_cast<uint8_t>(utf8[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
