// Runs every formatting rule type over a generated Russian text of 1 MB and of 5 MB and prints
// MB/s per rule; equal speeds at both sizes show that no rule grows faster than the text.
// Also times the editor's text model and a replace-all over the 5 MB text.

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/Error.h"
#include "editor/MemoText.h"
#include "format/FindReplace.h"
#include "format/FormatRules.h"

namespace {

// Russian prose in Windows-1251 with what the rules work on: wrapped and hyphenated lines,
// indents, tabs, runs of spaces, blank lines, tags and entities, mixed line ends.
std::string MakeText(size_t size) {
    const char* words[] = {"книга",  "автор", "серия", "жанр", "глава", "он", "сказал", "что",  "ёлка",
                           "Москва", "город", "ночь",  "и",    "в",     "на", "дом",    "окно", "тихо"};
    std::vector<std::string> ansi;
    for (const char* w : words)
        ansi.push_back(Utf8ToAnsi(w));
    std::mt19937 rng(7);
    std::string text;
    text.reserve(size + 200);
    const char* ends[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
    size_t line = 0;
    while (text.size() < size) {
        if (rng() % 6 == 0) text += rng() % 2 ? "    " : "\t";
        const int count = 6 + static_cast<int>(rng() % 8);
        for (int i = 0; i < count; ++i) {
            text += ansi[rng() % ansi.size()];
            switch (rng() % 40) {
                case 0:
                    text += ".";
                    break;
                case 1:
                    text += "  ";
                    break;
                case 2:
                    text += " <i>x</i>";
                    break;
                case 3:
                    text += " &laquo;&#1072;&raquo;";
                    break;
                default:
                    break;
            }
            if (i + 1 < count) text += ' ';
        }
        if (rng() % 10 == 0) text += "-";
        text += ends[line++ % 5];
        if (rng() % 8 == 0) text += "\r\n";
    }
    return text;
}

template <typename Rule>
std::unique_ptr<TAbstractFormatterRule> With(std::function<void(Rule&)> set) {
    auto rule = std::make_unique<Rule>();
    set(*rule);
    return rule;
}

std::vector<std::unique_ptr<TAbstractFormatterRule>> Rules() {
    std::vector<std::unique_ptr<TAbstractFormatterRule>> rules;
    rules.push_back(std::make_unique<TParagraphRule>());
    rules.push_back(With<TParagraphRule>([](auto& r) { r.Mode = TParagraphRule::pmFull, r.Width = 72; }));
    rules.push_back(With<TChangeCharRule>([](auto& r) { r.FromChar = 0xE0, r.ToChar = 'a'; }));
    rules.push_back(With<TReplaceTextRule>([](auto& r) { r.FindText = Utf8ToAnsi("ЁЛКА"), r.ReplaceText = "tree"; }));
    rules.push_back(With<TRemoveEmptyStringRule>([](auto& r) { r.MaxEmpty = 0; }));
    rules.push_back(With<TLeftIdentRule>([](auto& r) { r.Count = 2; }));
    rules.push_back(With<TParagraphIdentRule>([](auto& r) { r.Count = 2; }));
    rules.push_back(std::make_unique<TCRLFRule>());
    rules.push_back(With<TTabToSpacesRule>([](auto& r) { r.Spaces = 4; }));
    rules.push_back(std::make_unique<TRegisterManageRule>());
    rules.push_back(std::make_unique<TNoMoreSymbRule>());
    rules.push_back(With<TTextShiftRule>([](auto& r) { r.Count = 2; }));
    rules.push_back(std::make_unique<TTextTrimRule>());
    rules.push_back(std::make_unique<TRemoveHTMLTagsRule>());
    rules.push_back(std::make_unique<TParseHTMLRule>());
    rules.push_back(With<TRemoveLinesRule>([](auto& r) { r.Lines = {Utf8ToAnsi("Москва"), "<i>"}; }));
    rules.push_back(std::make_unique<TRegEXPRRule>());
    return rules;
}

double Seconds(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Pads a UTF-8 text to a width in characters.
std::string Padded(const std::string& utf8, size_t width) {
    size_t chars = 0;
    for (unsigned char c : utf8)
        chars += (c & 0xC0) != 0x80;
    return utf8 + std::string(chars < width ? width - chars : 0, ' ');
}

double MBps(size_t bytes, double seconds) {
    return static_cast<double>(bytes) / 1e6 / seconds;
}

}  // namespace

int main() {
    const std::string small = MakeText(1000000);
    const std::string large = MakeText(5000000);
    std::printf("text: %.2f MB and %.2f MB, Windows-1251, mixed line ends\n\n", small.size() / 1e6, large.size() / 1e6);
    std::printf("%-4s %s %12s %12s %10s\n", "type", Padded("rule", 28).c_str(), "1 MB: MB/s", "5 MB: MB/s", "changed");
    for (const auto& rule : Rules()) {
        double rates[2] = {0, 0};
        bool changed = false, implemented = true;
        for (int i = 0; i < 2; ++i) {
            const std::string& source = i == 0 ? small : large;
            std::string text = source;
            try {
                const double s = Seconds([&] { changed = rule->Apply(text); });
                rates[i] = MBps(source.size(), s);
            } catch (const EShelvaraError&) {
                implemented = false;
            }
        }
        std::string name = AnsiToUtf8(TAbstractFormatterRule::Caption(rule->TypeId()));
        if (const auto* paragraph = dynamic_cast<const TParagraphRule*>(rule.get());
            paragraph && paragraph->Mode != TParagraphRule::pmSingleLine)
            name += ", " + std::to_string(paragraph->Width);
        const std::string caption = Padded(name, 28);
        if (!implemented) {
            std::printf("%-4d %s %s\n", rule->TypeId(), caption.c_str(), "(no transformation)");
            continue;
        }
        std::printf("%-4d %s %12.0f %12.0f %10s\n", rule->TypeId(), caption.c_str(), rates[0], rates[1],
                    changed ? "yes" : "no");
    }

    TMemoText memo;
    memo.Lines.AutoEncoding = false;
    const double load = Seconds([&] { memo.Lines.SetTextStr(large); });
    std::string back;
    const double produce = Seconds([&] { back = memo.Text(); });
    std::printf("\neditor text model, 5 MB: split into %d lines %.0f MB/s, produced again %.0f MB/s (%s)\n",
                memo.Lines.Count(), MBps(large.size(), load), MBps(large.size(), produce),
                back == large ? "identical" : "DIFFERENT");

    TSearchSettings all;
    all.Defined = all.ReplaceMode = all.ReplaceAll = true;
    all.FindText = Utf8ToAnsi("КНИГА");
    all.ReplaceText = Utf8ToAnsi("том");
    memo.SetCaret({0, 0});
    bool found = false;
    const double replace = Seconds([&] { found = FindAgain(all, memo); });
    std::printf("replace all over 5 MB (one edit): %.0f MB/s, %s\n", MBps(large.size(), replace),
                found ? "replaced" : "NOT FOUND");
    // An edit of more than the undo list's 2 MiB of data cannot be kept for undo.
    if (memo.UndoBuffer.CanUndo()) {
        const double undo = Seconds([&] { memo.Undo(), memo.Undo(); });
        std::printf("its undo: %.3f s, text %s\n", undo, memo.Text() == large ? "restored" : "NOT RESTORED");
    } else {
        std::printf("its undo: not kept, the edit holds %.1f MB of text (the undo limit is 2 MiB)\n",
                    2 * static_cast<double>(large.size()) / 1e6);
    }
    return 0;
}
