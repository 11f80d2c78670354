#include "display/ui/FB2Viewer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPalette>
#include <QWheelEvent>
#include <cstdlib>
#include <string>

#include "TestUtils.h"

namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
    return ReadBytes(std::filesystem::path(SHELVARA_TEST_DATA) / name);
}

std::vector<uint8_t> Paragraphs(int count) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><book-title>T</book-title>"
        "</title-info></description><body><section>";
    for (int i = 0; i < count; ++i)
        text += "<p>Paragraph " + std::to_string(i) + "</p>";
    text += "</section></body></FictionBook>";
    return {text.begin(), text.end()};
}

struct Viewer : ::testing::Test {
    TFB2Viewer viewer;
    void Open(const std::vector<uint8_t>& bytes, int width, int height) {
        viewer.setFrameShape(QFrame::NoFrame);
        viewer.resize(width, height);
        viewer.show();
        QApplication::processEvents();
        ASSERT_TRUE(viewer.LoadDocument(bytes.data(), bytes.size())) << viewer.Book().Text;
    }
};

// One wheel notch (three lines of 15 px) scrolls in eased, accelerating steps.
TEST_F(Viewer, SmoothScrollingStartsSlowlyAndEases) {
    Open(Paragraphs(400), 400, 300);
    viewer.ScrollRequest(0, 45);  // performs the first step at once
    std::vector<int> steps = {viewer.ScrollY()};
    int before = viewer.ScrollY();
    while (viewer.ScrollStep()) {
        steps.push_back(viewer.ScrollY() - before);
        before = viewer.ScrollY();
    }
    const std::vector<int> expected = {1, 2, 4, 8, 10, 5, 3, 3, 2, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(viewer.ScrollY(), 45);
}

TEST_F(Viewer, ScrollsInsideTheCacheWithoutRenderingTheBookAgain) {
    Open(Paragraphs(400), 400, 300);
    viewer.SetTimedScroll(false);
    viewer.RenderScreen();
    const int renders = viewer.CacheRenders();
    viewer.ScrollBy(0, 200);  // within the three screens kept
    viewer.RenderScreen();
    EXPECT_EQ(viewer.CacheRenders(), renders);
    viewer.ScrollBy(0, 500);  // beyond them
    viewer.RenderScreen();
    EXPECT_EQ(viewer.CacheRenders(), renders + 1);
    EXPECT_EQ(viewer.CacheTop(), viewer.ScrollY() - 300);

    // Keys move the view; End goes to the last screen, Home back.
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(&viewer, &end);
    EXPECT_EQ(viewer.ScrollY(), viewer.DocumentHeight() + TFB2Viewer::kLineStep - viewer.viewport()->height());
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&viewer, &home);
    EXPECT_EQ(viewer.ScrollY(), 0);
}

TEST_F(Viewer, ABackgroundKeepsItsTilesInPlace) {
    Open(Paragraphs(400), 400, 1000);
    viewer.SetTimedScroll(false);
    QImage tile(32, 64, QImage::Format_ARGB32);
    tile.fill(QColor(250, 245, 230));
    viewer.SetBackground(tile);
    viewer.ScrollBy(0, 1000);
    viewer.RenderScreen();
    EXPECT_EQ(viewer.CacheTop(), 0);  // 1000 - 1000
    viewer.resize(400, 300);
    QApplication::processEvents();
    viewer.ScrollBy(0, 1000 - viewer.ScrollY());
    viewer.RenderScreen();
    EXPECT_EQ(viewer.CacheTop(), 640);  // 700 - 700 mod 64
}

TEST_F(Viewer, AShortDocumentStaysAtTheTopAndWantsNoHorizontalBar) {
    Open(Paragraphs(2), 400, 300);
    viewer.SetTimedScroll(false);
    viewer.ScrollBy(0, 100);
    EXPECT_EQ(viewer.ScrollY(), 0);
    EXPECT_EQ(viewer.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(viewer.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // A wheel notch towards the user scrolls down, through the smooth scroll.
    Open(Paragraphs(200), 400, 300);
    viewer.SetTimedScroll(false);
    QWheelEvent wheel(QPointF(10, 10), viewer.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewer.viewport(), &wheel);
    EXPECT_EQ(viewer.ScrollY(), TFB2Viewer::kLineStep * QApplication::wheelScrollLines());
}

// Dragging a window's edge sends many resizes; the book is measured once, for the last size.
TEST_F(Viewer, ResizesAreMeasuredOnceForTheLastSize) {
    Open(Paragraphs(300), 400, 300);
    QApplication::processEvents();
    const int measures = viewer.Measures();
    for (int width : {380, 360, 340, 320, 500})
        viewer.resize(width, 300);
    QApplication::processEvents();
    EXPECT_EQ(viewer.Measures(), measures + 1);
    EXPECT_EQ(viewer.Book().Width <= viewer.viewport()->width(), true);
    EXPECT_GT(viewer.viewport()->width(), 450);
}

// A damaged book leaves an empty view, and tiny or zero sizes neither hang nor divide by zero.
TEST_F(Viewer, BadBooksAndTinySizes) {
    const std::string junk = "<FictionBook><body><p>unclosed";
    EXPECT_FALSE(viewer.LoadDocument(reinterpret_cast<const uint8_t*>(junk.data()), junk.size()));
    EXPECT_EQ(viewer.Book().Height, 0);
    const std::vector<uint8_t> book = Fixture("render-fixture.fb2");
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{30, 0}, std::pair{35, 20}, std::pair{0, 300}}) {
        viewer.resize(w, h);
        ASSERT_TRUE(viewer.LoadDocument(book.data(), book.size()));
        viewer.Remeasure();
        EXPECT_FALSE(viewer.RenderScreen().isNull()) << w << "x" << h;
    }
}

// The page of a small book with a title, an epigraph, inline styles, a picture and a poem,
// against a reference picture made by this renderer and checked by eye. A few pixels may differ
// where anti-aliasing does.
TEST_F(Viewer, APageLooksLikeItsReference) {
    // On a dark desktop the page stays white.
    QPalette dark = viewer.palette();
    dark.setColor(QPalette::Base, Qt::black);
    dark.setColor(QPalette::Window, Qt::black);
    viewer.setPalette(dark);
    Open(Fixture("render-fixture.fb2"), 400, 420);
    viewer.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer.ScrollBars = TViewerScrolls::None;
    viewer.resize(400, 420);
    QApplication::processEvents();
    viewer.Remeasure();
    const QImage page = viewer.RenderScreen().convertToFormat(QImage::Format_RGB32);
    const QString reference = QString(SHELVARA_TEST_DATA) + "/render-reference.png";
    if (std::getenv("SHELVARA_UPDATE_REFERENCE")) page.save(reference);
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull());
    ASSERT_EQ(page.size(), expected.size());
    EXPECT_EQ(page.pixelColor(399, 419), QColor(Qt::white));
    int differing = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor a = page.pixelColor(x, y), b = expected.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 96)
                ++differing;
        }
    EXPECT_LT(differing, page.width() * page.height() / 200) << differing << " pixels differ";
}

}  // namespace
