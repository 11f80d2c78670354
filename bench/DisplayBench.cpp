// The book view on the shared corpus and on a generated 5 MB book with 100 pictures: open
// (parse and lay out at 800 px), paint a screen, lay out again after a width change, memory.
//   bench_display [CORPUS_DIR]
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "BenchUtils.h"
#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "display/ui/FB2Viewer.h"
#include "fb2/Base64.h"
#include "fb2/Picture.h"

namespace {

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// About 5 MB of FB2: chapters of Russian paragraphs, a picture every few chapters.
std::string GeneratedBook(int pictures, size_t textBytes) {
    std::mt19937 random(7);
    const char* words[] = {"и",      "в",       "не",    "он",       "на",      "что",      "было",
                           "сказал", "человек", "время", "дорога",   "светлый", "тихо",     "город",
                           "река",   "письмо",  "ночью", "вспомнил", "никогда", "внезапно", "Москва"};
    std::string body;
    std::string binaries;
    TBitmap bitmap;
    bitmap.Width = 600;
    bitmap.Height = 400;
    bitmap.Pixels.resize(600 * 400 * 4);
    for (int p = 0; p < pictures; ++p) {
        for (size_t i = 0; i < bitmap.Pixels.size(); i += 4) {
            const size_t pixel = i / 4;
            bitmap.Pixels[i] = static_cast<uint8_t>(pixel % 600 / 3 + p);
            bitmap.Pixels[i + 1] = static_cast<uint8_t>(pixel / 600 / 2);
            bitmap.Pixels[i + 2] = static_cast<uint8_t>(p * 37);
            bitmap.Pixels[i + 3] = 255;
        }
        binaries += "<binary id=\"p" + std::to_string(p) + "\" content-type=\"image/png\">" +
                    Base64Encode(EncodePng(bitmap)) + "</binary>\n";
    }
    int chapter = 0;
    while (body.size() < textBytes) {
        body += "<section><title><p>Глава " + std::to_string(++chapter) + "</p></title>";
        if (chapter % 3 == 0 && chapter / 3 <= pictures)
            body += "<image l:href=\"#p" + std::to_string(chapter / 3 - 1) + "\"/>";
        for (int p = 0; p < 40; ++p) {
            body += "<p>";
            const int count = 20 + static_cast<int>(random() % 80);
            for (int w = 0; w < count; ++w) {
                if (w) body += ' ';
                if (w == 5) body += "<emphasis>";
                body += words[random() % std::size(words)];
                if (w == 7) body += "</emphasis>";
            }
            body += ".</p>\n";
        }
        body += "</section>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FictionBook "
           "xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
           "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info><book-title>Пробная книга</book-title>"
           "</title-info></description><body>" +
           body + "</body>" + binaries + "</FictionBook>\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::filesystem::path corpus = argc > 1 ? argv[1] : "../shared/corpus";
    TFB2Viewer viewer;
    viewer.setFrameShape(QFrame::NoFrame);
    viewer.SetTimedScroll(false);
    viewer.resize(800, 1000);
    viewer.show();
    QApplication::processEvents();

    // The corpus: every book opened and its first screen painted.
    int books = 0, failed = 0;
    double total = 0, worst = 0;
    std::string worstName;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(corpus, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file() || it->path().extension() != ".fb2") continue;
        std::vector<uint8_t> bytes;
        try {
            bytes = ReadWholeFile(it->path());
        } catch (...) {
            continue;
        }
        QElapsedTimer timer;
        timer.start();
        if (!viewer.LoadDocument(bytes.data(), bytes.size())) {
            ++failed;
            continue;
        }
        viewer.RenderScreen();
        const double ms = Ms(timer);
        ++books;
        total += ms;
        if (ms > worst) worst = ms, worstName = it->path().filename().string();
    }
    std::printf("corpus: %d books opened and painted (%d not FB2 or damaged), %.1f ms in all, slowest %.1f ms (%s)\n",
                books, failed, total, worst, worstName.c_str());

    // The generated book.
    const std::string book = GeneratedBook(100, 4'900'000);
    const double before = StatusMb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    viewer.LoadDocument(reinterpret_cast<const uint8_t*>(book.data()), book.size());
    const double opened = Ms(timer);
    timer.restart();
    viewer.RenderScreen();
    const double first = Ms(timer);
    timer.restart();
    viewer.Remeasure();
    const double measure = Ms(timer);
    const int pages = viewer.DocumentHeight() / 1000;
    timer.restart();
    viewer.ScrollBy(0, viewer.DocumentHeight() / 2);
    viewer.RenderScreen();
    const double middle = Ms(timer);
    timer.restart();
    viewer.ScrollBy(0, 300);
    viewer.RenderScreen();
    const double cached = Ms(timer);
    // Paint every screen of the book once: the pictures are decoded as they come into view.
    double slowest = 0;
    viewer.ScrollBy(0, -viewer.ScrollY());
    for (int page = 0; page <= pages; ++page) {
        timer.restart();
        viewer.RenderScreen();
        slowest = std::max(slowest, Ms(timer));
        viewer.ScrollBy(0, 1000);
    }
    timer.restart();
    viewer.resize(700, 1000);
    viewer.Remeasure();
    const double relayout = Ms(timer);
    std::printf("generated book: %.1f MB, 100 pictures, %d screens of 800x1000\n", book.size() / 1048576.0, pages + 1);
    std::printf(
        "  open (parse and lay out) %.0f ms, of which laying out %.0f ms; first screen %.1f ms; open to "
        "first screen %.0f ms\n",
        opened, measure, first, opened + first);
    std::printf(
        "  a screen in the middle %.1f ms (rendering the three-screen cache), a scroll within the cache "
        "%.2f ms, slowest screen of all %.1f ms\n",
        middle, cached, slowest);
    std::printf("  lay out again at %d px %.0f ms (document %d px high)\n", viewer.viewport()->width(), relayout,
                viewer.DocumentHeight());
    std::printf("  memory: %.0f MB more than before the book, peak %.0f MB for the process\n",
                StatusMb("VmRSS:") - before, StatusMb("VmHWM:"));
    return 0;
}
