#include "InpxGenerator.h"

#include <cstdio>
#include <random>

#include "common/Encoding.h"
#include "scan/Packer.h"

namespace {

std::string Field(const std::string& line, int index) {
    size_t start = 0;
    for (int i = 0; i < index && start != std::string::npos; ++i) {
        start = line.find('\x04', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return {};
    const size_t end = line.find('\x04', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string InpxLine(const std::string& authors, const std::string& genres, const std::string& title,
                     const std::string& series, const std::string& serno, const std::string& file, int size, int libid,
                     bool deleted, const std::string& date) {
    const char sep = '\x04';
    return authors + sep + genres + sep + title + sep + series + sep + serno + sep + file + sep + std::to_string(size) +
           sep + std::to_string(libid) + sep + (deleted ? "1" : "0") + sep + "fb2" + sep + date + sep;
}

void WriteInpx(const std::filesystem::path& file, const TInpxFiles& files) {
    // The packer writes archives by their .zip name only.
    const std::filesystem::path zip = file.string() + ".zip";
    std::filesystem::remove(zip);
    TPacker packer;
    packer.Open(PathToAnsi(zip), true);
    auto add = [&](const std::string& name, const std::string& text) {
        packer.AddFromBytes(name, std::vector<uint8_t>(text.begin(), text.end()), 0, 0, true);
    };
    add("collection.info", files.Collection + "\r\n" + file.filename().string() + "\r\n0\r\nGenerated\r\n");
    add("version.info", files.Version + "\r\n");
    if (!files.Structure.empty()) add("structure.info", files.Structure + "\r\n");
    for (const auto& [name, lines] : files.Inps) {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\r\n";
        add(name, text);
    }
    packer.Close();
    std::filesystem::rename(zip, file);
}

TInpxFiles GenerateInpx(int books, int booksPerArchive, unsigned seed) {
    std::mt19937 random(seed);
    const char* lastRu[] = {"Иванов",   "Петров",   "Сидоров",  "Кузнецов", "Смирнов", "Попов",   "Васильев", "Фёдоров",
                            "Морозов",  "Волков",   "Алексеев", "Лебедев",  "Семёнов", "Егоров",  "Павлов",   "Козлов",
                            "Степанов", "Николаев", "Орлов",    "Андреев",  "Макаров", "Никитин", "Захаров",  "Зайцев"};
    const char* firstRu[] = {"Иван",   "Пётр",  "Сергей", "Алексей", "Дмитрий", "Андрей",
                             "Михаил", "Ольга", "Анна",   "Мария",   "Елена",   "Наталья"};
    const char* middleRu[] = {"Иванович", "Петрович", "Сергеевич", "Алексеевна", "Дмитриевна", ""};
    const char* lastEn[] = {"Smith",    "Johnson", "Williams", "Brown", "Jones",  "Miller",  "Davis",    "Wilson",
                            "Anderson", "Taylor",  "Thomas",   "Moore", "Martin", "Jackson", "Thompson", "White"};
    const char* firstEn[] = {"John", "Mary", "Robert", "Patricia", "Michael", "Linda", "William", "Elizabeth"};
    const char* genres[] = {"sf:",
                            "sf_fantasy:",
                            "det_classic:",
                            "prose_contemporary:",
                            "love_contemporary:",
                            "adv_history:",
                            "sf_space:",
                            "child_tale:",
                            "poetry:",
                            "nonf_biography:",
                            "sci_history:",
                            "thriller:",
                            "prose_classic:",
                            "humor_prose:",
                            "unknown_genre_x:"};
    const char* words[] = {"Тайна",     "Дорога",  "Город", "Ночь", "Звезда", "Война", "Мир",  "Сердце", "Тень",
                           "Последний", "Красная", "Путь",  "Dark", "Road",   "Night", "Star", "Shadow", "Heart"};
    // A pool of authors, each written in a few ways, as real indexes hold them.
    struct TAuthor {
        std::vector<std::string> Spellings;
    };
    std::vector<TAuthor> authors;
    const int pool = std::max(books / 8, 10);
    for (int i = 0; i < pool; ++i) {
        TAuthor a;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%d", i / 200);
        if (random() % 3 != 0) {
            std::string last = lastRu[random() % std::size(lastRu)];
            if (i >= 200) last += std::string("-") + suffix;
            const std::string first = firstRu[random() % std::size(firstRu)];
            const std::string middle = middleRu[random() % std::size(middleRu)];
            a.Spellings.push_back(last + "," + first + "," + middle + ":");
            a.Spellings.push_back(last + "," + first + ",:");
            a.Spellings.push_back(last + "," + first.substr(0, 2) + ".,:");  // an initial
            // Е for Ё, and a Latin "o" among the Cyrillic letters.
            std::string plain = last;
            for (size_t p = plain.find("ё"); p != std::string::npos; p = plain.find("ё"))
                plain.replace(p, 2, "е");
            a.Spellings.push_back(plain + "," + first + ",:");
            std::string mixed = last;
            if (const size_t p = mixed.find("о"); p != std::string::npos) mixed.replace(p, 2, "o");
            a.Spellings.push_back(mixed + "," + first + "," + middle + ":");
        } else {
            std::string last = lastEn[random() % std::size(lastEn)];
            if (i >= 200) last += suffix;
            const std::string first = firstEn[random() % std::size(firstEn)];
            a.Spellings.push_back(last + "," + first + ",:");
            a.Spellings.push_back(last + "," + first.substr(0, 1) + ".,:");
        }
        authors.push_back(std::move(a));
    }
    TInpxFiles files;
    files.Collection = "Generated library";
    files.Structure = "AUTHOR;GENRE;TITLE;SERIES;SERNO;FILE;SIZE;LIBID;DEL;EXT;DATE;LANG;LIBRATE;KEYWORDS;";
    int id = 100000;
    for (int done = 0; done < books;) {
        const int count = std::min(booksPerArchive, books - done);
        char name[64];
        std::snprintf(name, sizeof name, "fb2-%06d-%06d.inp", id, id + count - 1);
        std::vector<std::string> lines;
        for (int k = 0; k < count; ++k, ++id) {
            const TAuthor& author = authors[(random() % 7 == 0 ? random() : random() % 64 + id) % authors.size()];
            std::string names = author.Spellings[random() % author.Spellings.size()];
            if (random() % 10 == 0) names += authors[random() % authors.size()].Spellings[0];
            std::string title = words[random() % std::size(words)];
            title += std::string(" ") + words[random() % std::size(words)] + " " + std::to_string(id % 977);
            std::string series, serno;
            if (random() % 3 == 0) {
                series = std::string("Серия ") + words[(id / 40) % std::size(words)];
                serno = std::to_string(random() % 20 + 1);
            }
            std::string genre = genres[random() % std::size(genres)];
            if (random() % 4 == 0) genre += genres[random() % std::size(genres)];
            const bool deleted = random() % 20 == 0;
            const char sep = '\x04';
            lines.push_back(names + sep + genre + sep + title + sep + series + sep + serno + sep + std::to_string(id) +
                            sep + std::to_string(100000 + random() % 900000) + sep + std::to_string(id) + sep +
                            (deleted ? "1" : "0") + sep + "fb2" + sep + "2015-03-" +
                            std::to_string(10 + random() % 18) + sep + (random() % 4 == 0 ? "en" : "ru") + sep +
                            std::to_string(random() % 6) + sep + (random() % 3 == 0 ? "магия, приключения" : "") + sep);
        }
        files.Inps.emplace_back(name, std::move(lines));
        done += count;
    }
    return files;
}

void WriteInpxArchives(const std::filesystem::path& folder, const TInpxFiles& files) {
    for (const auto& [name, lines] : files.Inps) {
        const std::filesystem::path archive = folder / (name.substr(0, name.size() - 4) + ".zip");
        std::filesystem::remove(archive);
        TPacker packer;
        packer.Open(PathToAnsi(archive), true);
        const std::vector<uint8_t> content{'<', 'F', 'i', 'c', 't', 'i', 'o', 'n', 'B', 'o', 'o', 'k', '/', '>'};
        for (const std::string& line : lines)
            packer.AddFromBytes(Field(line, 5) + ".fb2", content, 0, 0, true);
        packer.Close();
    }
}
