#include "shell/DemoLibrary.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <random>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/BookFolder.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "scan/PackerArchiveAccess.h"
#include "scan/Packing.h"
#include "scan/Resync.h"

namespace {

struct TDemoAuthor {
    const char* first;
    const char* middle;
    const char* last;
};

// Invented names. One author is written three ways; two share a surname and an initial, and
// one book names only the initial.
constexpr TDemoAuthor kAuthors[] = {
    {"Анна", "", "Светлова"}, {"Анна", "Игоревна", "Светлова"}, {"Anna", "", "Svetlova"},  {"П.", "", "Воронов"},
    {"Пётр", "", "Воронов"},  {"Павел", "", "Воронов"},         {"Марк", "", "Кедров"},    {"Ольга", "", "Ланская"},
    {"Игорь", "", "Северин"}, {"Вера", "", "Тихомирова"},       {"Глеб", "", "Орлинский"}, {"Jane", "", "Holloway"},
    {"Samuel", "", "Reed"},
};

struct TDemoSeries {
    const char* name;
    int books;
};

constexpr TDemoSeries kSeries[] = {
    {"Хроники Северного моря", 6}, {"Дом у реки", 4},          {"Следствие ведёт Кедров", 8},
    {"Звёздный пролив", 5},        {"The Lantern Trilogy", 3},
};

constexpr const char* kGenres[] = {"sf_fantasy",     "det_classic",  "prose_contemporary", "sf_space",
                                   "love_history",   "adv_maritime", "child_tale",         "humor_prose",
                                   "nonf_biography", "poetry"};

constexpr const char* kWords[] = {
    "ветер", "море",  "город",  "дорога", "письмо", "окно",    "лампа",  "берег", "осень",   "зима",  "голос",
    "тайна", "карта", "звезда", "мост",   "река",   "корабль", "сад",    "книга", "память",  "ночь",  "утро",
    "свет",  "тень",  "дом",    "путь",   "старый", "тихий",   "долгий", "ясный", "далёкий", "новый",
};

// A cover: a coloured card with the title and the author's name on it, as a PNG.
QByteArray Cover(const QString& title, const QString& author, int hue) {
    QImage image(240, 360, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(hue % 360, 110, 170));
    QPainter p(&image);
    p.fillRect(QRect(16, 16, 208, 328), QColor::fromHsv(hue % 360, 60, 235));
    p.setPen(QColor(40, 40, 40));
    QFont font;
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(28, 60, 184, 180), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
    font.setPixelSize(16);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRect(28, 270, 184, 60), Qt::AlignHCenter | Qt::TextWordWrap, author);
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

struct TDemoBook {
    std::string file, title, series, genre, lang = "ru";
    int number = 0;
    const TDemoAuthor* author = nullptr;
    uint32_t seed = 0;
};

std::string Paragraphs(uint32_t seed) {
    std::mt19937 random(seed);
    std::string text;
    const size_t words = std::size(kWords);
    for (int p = 0; p < 30; ++p) {
        std::string paragraph;
        const int length = 12 + static_cast<int>(random() % 40);
        for (int w = 0; w < length; ++w) {
            if (!paragraph.empty()) paragraph += ' ';
            paragraph += kWords[random() % words];
        }
        text += "<p>" + paragraph + ".</p>\n";
    }
    return text;
}

std::string Fb2(const TDemoBook& b) {
    const QString title = QString::fromStdString(b.title);
    const std::string authorName = std::string(b.author->first) + " " + b.author->last;
    const QByteArray cover = Cover(title, QString::fromStdString(authorName), static_cast<int>(b.seed * 37));
    std::string x =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
        "xmlns:l=\"http://www.w3.org/1999/xlink\">\n<description><title-info>\n";
    x += "<genre>" + b.genre + "</genre>\n<author><first-name>" + XmlEscape(b.author->first) + "</first-name>";
    if (*b.author->middle) x += "<middle-name>" + XmlEscape(b.author->middle) + "</middle-name>";
    x += "<last-name>" + XmlEscape(b.author->last) + "</last-name></author>\n";
    x += "<book-title>" + XmlEscape(b.title) + "</book-title>\n";
    x += "<annotation><p>" + XmlEscape(b.title) + ": книга демонстрационной библиотеки.</p></annotation>\n";
    x += "<coverpage><image l:href=\"#cover.png\"/></coverpage>\n<lang>" + b.lang + "</lang>\n";
    if (!b.series.empty())
        x += "<sequence name=\"" + XmlEscape(b.series) + "\" number=\"" + std::to_string(b.number) + "\"/>\n";
    x += "</title-info>\n<document-info><program-used>Shelvara</program-used></document-info>\n</description>\n";
    x += "<body><title><p>" + XmlEscape(b.title) + "</p></title>\n<section>\n" + Paragraphs(b.seed) +
         "</section></body>\n";
    x += "<binary id=\"cover.png\" content-type=\"image/png\">" + cover.toBase64().toStdString() + "</binary>\n";
    x += "</FictionBook>\n";
    return x;
}

std::string Title(std::mt19937& random) {
    // Two nouns: "Ветер и море".
    constexpr size_t nouns = 26;
    const size_t a = random() % nouns, b = (a + 1 + random() % (nouns - 1)) % nouns;
    std::string title = kWords[a];
    title += " и ";
    title += kWords[b];
    // A capital first letter: Cyrillic in UTF-8 takes its upper case from Qt.
    QString shown = QString::fromStdString(title);
    shown[0] = shown[0].toUpper();
    return shown.toStdString();
}

}  // namespace

QString UserDataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty()) folder = QDir::homePath() + "/.local/share";
    return folder + "/shelvara";
}

QString MakeDemoLibrary(const QString& folder) {
    const std::filesystem::path root = folder.toStdString();
    const std::filesystem::path libraryFile = root / "demo.sv2";
    if (std::filesystem::exists(libraryFile)) return QString::fromStdString(libraryFile.string());
    const std::filesystem::path books = root / "books";
    std::filesystem::create_directories(books);

    std::vector<TDemoBook> plan;
    std::mt19937 random(20261211);
    uint32_t seed = 1;
    const size_t authors = std::size(kAuthors);
    for (const TDemoSeries& s : kSeries)
        for (int n = 1; n <= s.books; ++n) {
            TDemoBook b;
            b.author = &kAuthors[(plan.size() / 3) % authors];
            b.series = s.name;
            b.number = n;
            b.title = Title(random);
            plan.push_back(b);
        }
    while (plan.size() < 300) {
        TDemoBook b;
        b.author = &kAuthors[random() % authors];
        b.title = Title(random);
        plan.push_back(b);
    }
    for (TDemoBook& b : plan) {
        b.seed = seed++;
        b.genre = kGenres[random() % std::size(kGenres)];
        if (b.author->first[0] >= 'A' && b.author->first[0] <= 'Z') b.lang = "en";
        const std::string folderName = std::string(b.author->last);
        b.file = folderName + "/" + std::to_string(b.seed) + ". " + b.title + ".fb2";
    }
    // A pair with one text under two titles, for the duplicate search.
    plan[plan.size() - 1].seed = plan[plan.size() - 2].seed;
    for (const TDemoBook& b : plan) {
        const std::filesystem::path file = books / b.file;
        std::filesystem::create_directories(file.parent_path());
        const std::string bytes = Fb2(b);
        ReplaceFile(file, bytes.data(), bytes.size());
    }

    TSVD svd;
    svd.Packer = std::make_unique<TPackerArchiveAccess>();
    // The three spellings of one author, as a reader would have joined them.
    TAuthorInfo* svetlova = svd.Authors.NewAuthor(true);
    for (int i = 0; i < 3; ++i)
        svetlova->AddName(Utf8ToAnsi(kAuthors[i].first), Utf8ToAnsi(kAuthors[i].middle), "",
                          Utf8ToAnsi(kAuthors[i].last));
    // Two authors one initial cannot tell apart, known before their books are read.
    for (int i = 4; i < 6; ++i)
        svd.Authors.NewAuthor(true)->AddName(Utf8ToAnsi(kAuthors[i].first), "", "", Utf8ToAnsi(kAuthors[i].last));
    TMountPoint* mount = svd.AddMountPoint(Utf8ToAnsi(books.string()));
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    // Some books packed, one way a library keeps them.
    TBookCollection all;
    mount->CollectBooks(all, true);
    std::vector<TBookInfo*> pack;
    for (size_t i = 0; i < all.Books().size(); i += 10)
        pack.push_back(all.Books()[i]);
    std::vector<std::string> warnings;
    PackBooks(pack, warnings);
    // One book whose file has gone: the catalogue keeps it as a lost book.
    for (TBookInfo* book : all.Books())
        if (!book->Packed && std::find(pack.begin(), pack.end(), book) == pack.end()) {
            std::filesystem::remove(AnsiToUtf8(book->FullPath()));
            break;
        }
    TResyncThread::ResyncFolder(*mount, TResyncMode::Full);
    svd.SaveToFile(Utf8ToAnsi(libraryFile.string()));
    return QString::fromStdString(libraryFile.string());
}
