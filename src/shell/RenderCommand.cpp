#include "shell/RenderCommand.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <cstdio>
#include <cstring>

#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "display/ui/FB2Viewer.h"
#include "scan/Packer.h"

namespace {

// A book file's bytes: a plain file, a named member of an archive, or the first FB2 member of
// an archive when none is named.
std::vector<uint8_t> ReadBook(const std::string& utf8Path, const std::string& entry) {
    const std::string path = Utf8ToAnsi(utf8Path);  // the engine's text
    if (entry.empty() && TPacker::ArchiveKind(path) == 0) return ReadWholeFile(utf8Path);
    TPacker packer;
    if (!packer.Open(path, false)) throw std::runtime_error("cannot open the archive " + utf8Path);
    std::string member = Utf8ToAnsi(entry);
    if (member.empty())
        for (const TArcFileInfoRec& info : packer.List())
            if (member.empty() && !info.IsFolder() && AnsiLowerCase(info.Path).ends_with(".fb2")) member = info.Path;
    if (member.empty()) throw std::runtime_error(utf8Path + " holds no FB2 book");
    return packer.Extract(member);
}

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

bool IsRenderCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--render") == 0) return true;
    return false;
}

int RunRenderCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Writes the first screens of a book as PNG pictures.");
    parser.addHelpOption();
    const QCommandLineOption render("render", "The book (FB2, or a ZIP archive holding one).", "BOOK");
    const QCommandLineOption entry("entry", "The archive member to show.", "MEMBER");
    const QCommandLineOption width("width", "Width of a page in pixels (800).", "PX", "800");
    const QCommandLineOption height("height", "Height of a page in pixels (1000).", "PX", "1000");
    const QCommandLineOption pages("pages", "How many screens to write (3).", "N", "3");
    const QCommandLineOption out("out", "The folder the pictures go to.", "DIR");
    parser.addOptions({render, entry, width, height, pages, out});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "shelvara --render: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    bool okW = false, okH = false, okP = false;
    const int w = parser.value(width).toInt(&okW), h = parser.value(height).toInt(&okH);
    const int n = parser.value(pages).toInt(&okP);
    if (!parser.isSet(out) || !okW || !okH || !okP || w < 1 || h < 1 || n < 1 || w > 16384 || h > 16384) {
        std::fprintf(stderr,
                     "usage: shelvara --render BOOK [--entry MEMBER] [--width PX] [--height PX] "
                     "[--pages N] --out DIR\n");
        return 2;
    }
    const QString folder = parser.value(out);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "shelvara --render: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadBook(parser.value(render).toStdString(), parser.value(entry).toStdString());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "shelvara --render: %s\n", e.what());
        return 1;
    }
    TFB2Viewer viewer;
    viewer.setFrameShape(QFrame::NoFrame);
    viewer.ScrollBars = TViewerScrolls::None;
    viewer.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer.SetTimedScroll(false);
    viewer.resize(w, h);
    viewer.show();
    QElapsedTimer step;
    step.start();
    if (!viewer.LoadDocument(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "shelvara --render: %s\n", AnsiToUtf8(viewer.Book().Text).c_str());
        return 1;
    }
    const double loaded = Ms(step);
    step.restart();
    viewer.Remeasure();
    const double measured = Ms(step);
    double painted = 0;
    int written = 0;
    for (int page = 0; page < n; ++page) {
        if (page > 0) {
            const int before = viewer.ScrollY();
            viewer.ScrollBy(0, h);
            if (viewer.ScrollY() == before) break;  // the end of the book
        }
        step.restart();
        const QImage image = viewer.RenderScreen();
        painted += Ms(step);
        const QString name = QDir(folder).filePath(QString("page-%1.png").arg(page + 1, 3, 10, QChar('0')));
        if (!image.save(name)) {
            std::fprintf(stderr, "shelvara --render: cannot write %s\n", qPrintable(name));
            return 1;
        }
        ++written;
    }
    std::printf(
        "%d page(s) of %dx%d: book read and parsed %.1f ms, laid out %.1f ms, painted %.1f ms a page; "
        "%.0f ms in all\n",
        written, w, h, loaded, measured, written ? painted / written : 0.0, Ms(timer));
    return 0;
}
