// The editor control on a generated 5 MB Russian text and on the corpus book with a 537 KB line:
// opening (decode, split, measure, first paint), a keystroke in the middle (handled and painted)
// and scrolling one screen, with and without word wrap. Medians of many runs.
//   bench_editor [CORPUS_DIR]
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "editor/TextFile.h"
#include "editor/ui/MyMemo.h"

namespace {

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Paints the view the way the screen does, into a picture (offscreen windows are not exposed).
void Paint(TMyMemo& memo) {
    static QImage image;
    if (image.size() != memo.viewport()->size()) image = QImage(memo.viewport()->size(), QImage::Format_RGB32);
    memo.viewport()->render(&image);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// About `bytes` of UTF-8 Russian prose in lines of `fewest` to fewest + spread words, CR LF ends.
std::string RussianText(size_t bytes, int fewest, int spread) {
    std::mt19937 random(11);
    const char* words[] = {"и",      "в",       "не",     "он",       "на",      "что",      "было",
                           "сказал", "человек", "время",  "дорога",   "светлый", "тихо",     "город",
                           "река",   "письмо",  "ночью,", "вспомнил", "никогда", "внезапно", "Москва."};
    std::string text;
    while (text.size() < bytes) {
        const int count = fewest + static_cast<int>(random() % static_cast<unsigned>(spread));
        for (int w = 0; w < count; ++w) {
            if (w) text += ' ';
            text += words[random() % std::size(words)];
        }
        text += "\r\n";
    }
    return text;
}

double Open(TMyMemo& memo, const std::vector<uint8_t>& bytes) {
    QElapsedTimer timer;
    timer.start();
    const TDecodedText decoded = DecodeTextFile(bytes);
    memo.Lines().LoadFromBytes(std::vector<uint8_t>(decoded.Text.begin(), decoded.Text.end()));
    Paint(memo);
    return Ms(timer);
}

// Median time of a typed character at a place, handled and painted.
double Keystrokes(TMyMemo& memo, TTextPos at, int count) {
    memo.MoveCaret(at, false, false);
    Paint(memo);
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, i % 2 ? QString::fromUtf8("ж") : QString("a"));
        QApplication::sendEvent(&memo, &key);
        Paint(memo);
        times.push_back(Ms(timer));
    }
    return Median(times);
}

double ScrollScreens(TMyMemo& memo, int count) {
    memo.ScrollBy(0, -memo.ScrollY(), false);
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        memo.ScrollBy(0, memo.viewport()->height(), false);
        Paint(memo);
        times.push_back(Ms(timer));
    }
    return Median(times);
}

void Run(const char* name, const std::vector<uint8_t>& bytes, bool wrap, TTextPos middleOf) {
    TMyMemo memo;
    memo.Lines().AutoEncoding = false;
    memo.SetTimedScroll(false);
    memo.SetWordWrap(wrap);
    memo.resize(900, 700);
    memo.show();
    const double open = Open(memo, bytes);
    const int32_t line = middleOf.Line < 0 ? memo.Lines().Count() / 2 : middleOf.Line;
    const int32_t col = middleOf.Col < 0 ? static_cast<int32_t>(memo.Lines().Get(line).size() / 2) : middleOf.Col;
    const double key = Keystrokes(memo, {col, line}, 200);
    const double scroll = ScrollScreens(memo, 100);
    std::printf("%-34s %-8s lines %7d  open %7.1f ms  keystroke %6.3f ms  scroll a screen %6.3f ms\n", name,
                wrap ? "wrap" : "no wrap", memo.Lines().Count(), open, key, scroll);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path corpus = argc > 1 ? argv[1] : SHELVARA_CORPUS;
    const std::string paragraphs = RussianText(5 << 20, 30, 120);
    for (bool wrap : {false, true})
        Run("5 MB Russian paragraphs (UTF-8)", {paragraphs.begin(), paragraphs.end()}, wrap, {-1, -1});
    const std::string lines = RussianText(5 << 20, 5, 8);
    for (bool wrap : {false, true})
        Run("5 MB Russian short lines (UTF-8)", {lines.begin(), lines.end()}, wrap, {-1, -1});
    const std::filesystem::path longLine =
        corpus / "fb2/litmir-clj/Twain_Mark__The_Adventures_of_Tom_Sawyer__Litmir.net_127829.fb2";
    if (std::filesystem::exists(longLine)) {
        const std::vector<uint8_t> book = ReadWholeFile(longLine);
        // The longest line is the one to type into.
        TMyMemo probe;
        probe.Lines().AutoEncoding = false;
        const TDecodedText decoded = DecodeTextFile(book);
        probe.Lines().LoadFromBytes(std::vector<uint8_t>(decoded.Text.begin(), decoded.Text.end()));
        int32_t longest = 0;
        for (int32_t i = 0; i < probe.Lines().Count(); ++i)
            if (probe.Lines().Get(i).size() > probe.Lines().Get(longest).size()) longest = i;
        std::printf("longest line: %zu bytes\n", probe.Lines().Get(longest).size());
        for (bool wrap : {false, true})
            Run("corpus book with a 537 KB line", book, wrap, {-1, longest});
    }
    return 0;
}
