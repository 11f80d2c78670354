// The formatter's untrusted inputs: stored profile values and the texts the rules work on, the
// editor's text model with find and replace, and language file lines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Error.h"
#include "editor/MemoText.h"
#include "format/FindReplace.h"
#include "format/FormatterSet.h"
#include "settings/LanguageFiles.h"
#include "settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t split = std::min<size_t>(size - 1, data[0] * (size - 1) / 255);
    static TSettingsStore store("/nonexistent/shelvara-fuzz/settings.ini");
    TFormatterSet profile(store, "Fuzz");
    TRuleReader in(data + 1, split);
    profile.ReadRules(in);
    // What was read is written and read back unchanged.
    const std::vector<uint8_t> written = profile.WriteRules();
    TFormatterSet again(store, "Fuzz");
    TRuleReader back(written);
    again.ReadRules(back);
    if (again.WriteRules() != written) __builtin_trap();

    // Rules may lengthen a text a thousandfold: keep the text small.
    std::string text(reinterpret_cast<const char*>(data + 1 + split), std::min<size_t>(size - 1 - split, 4096));
    for (int32_t i = 0; i < profile.Count(); ++i) {
        std::string copy = text;
        try {
            profile.Rule(i).Apply(copy);
        } catch (const EShelvaraError&) {
        }
    }

    TMemoText memo;
    memo.Lines.AutoEncoding = false;
    memo.Lines.SetTextStr(text);
    const std::string loaded = memo.Text();
    TSearchSettings search;
    search.Defined = search.ReplaceMode = search.ReplaceAll = true;
    search.FindText = text.substr(0, 2);
    search.ReplaceText = text.size() > 2 ? text.substr(2, 3) : std::string();
    FindAgain(search, memo);
    memo.SetCaret(memo.PointOfOffset(static_cast<int64_t>(text.size() / 2)));
    memo.Backspace();
    memo.TypeChar('x');
    memo.NewLine();
    while (memo.UndoBuffer.CanUndo())
        memo.Undo();
    if (memo.Text() != loaded) __builtin_trap();

    std::string key, value;
    ParseLanguageLine(text, key, value);
    return 0;
}
