#include "DiskLibraryGenerator.h"

#include <random>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "fb2/Base64.h"
#include "fb2/Picture.h"
#include "fb2/Recoder.h"
#include "scan/Packer.h"

namespace {

const std::vector<std::string>& Words() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (const char* utf8 : {"лес", "река", "город", "дорога", "письмо", "ночь", "свет", "книга", "море", "дом",
                                 "время", "голос", "окно", "сад", "зима", "ветер"})
            w.push_back(Utf8ToAnsi(utf8));
        return w;
    }();
    return words;
}

// One FB2 book in the given encoding (0 Windows-1251, 1 UTF-8, 2 KOI8-R).
std::string Book(std::mt19937& random, int n, int encoding, size_t size, bool cover) {
    auto word = [&] { return Words()[random() % Words().size()]; };
    std::string title = word() + " " + word() + " " + std::to_string(n);
    title[0] = static_cast<char>(static_cast<unsigned char>(title[0]) - 32);
    const int author = static_cast<int>(random() % std::max(1, n / 4 + 1));
    std::string text = "<description><title-info><genre>sf_fantasy</genre><author><first-name>" + word() +
                       "</first-name><last-name>A" + std::to_string(author) + "</last-name></author><book-title>" +
                       title + "</book-title><lang>ru</lang><sequence name=\"S" + std::to_string(n % 50) +
                       "\" number=\"" + std::to_string(n % 7) + "\"/>" +
                       (cover ? "<coverpage><image l:href=\"#c.png\"/></coverpage>" : "") +
                       "</title-info></description><body><section>";
    while (text.size() < size) {
        text += "<p>";
        for (int i = 0; i < 12; ++i)
            text += word() + " ";
        text += "</p>\n";
    }
    text += "</section></body>";
    if (cover) {
        TBitmap b;
        b.Width = b.Height = 8;
        b.Pixels.assign(8 * 8 * 4, static_cast<uint8_t>(n));
        text += "<binary id=\"c.png\" content-type=\"image/png\">" + Base64Encode(EncodePng(b)) + "</binary>";
    }
    text += "</FictionBook>\n";
    std::string body;
    const char* name = "windows-1251";
    if (encoding == 1) {
        body = AnsiToUtf8(text);
        name = "utf-8";
    } else if (encoding == 2) {
        std::vector<uint8_t> koi(text.begin(), text.end());
        ConvertCodePage(koi.data(), koi.size(), cpWindows, cpKoi8);
        body.assign(koi.begin(), koi.end());
        name = "koi8-r";
    } else {
        body = text;
    }
    return std::string("<?xml version=\"1.0\" encoding=\"") + name +
           "\"?>\n<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
           "xmlns:l=\"http://www.w3.org/1999/xlink\">" +
           body;
}

std::vector<uint8_t> V(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

int GenerateDiskLibrary(const std::filesystem::path& root, int books, uint32_t seed, bool plainOnly) {
    std::mt19937 random(seed);
    std::filesystem::create_directories(root);
    int written = 0;
    int folderNo = 0;
    std::filesystem::path folder = root;
    while (written < books) {
        if (written % 200 == 0) {
            folder = root / ("part" + std::to_string(folderNo / 5)) / ("shelf" + std::to_string(folderNo));
            std::filesystem::create_directories(folder);
            ++folderNo;
        }
        const int kind = plainOnly ? 0 : static_cast<int>(random() % 20);
        // Large books (1 to 3 MB) are plain files; archives hold books of 4 to 200 KB, so that
        // packing them (at the highest compression) stays quick.
        auto size = [&](bool plain) {
            return plain && random() % 10 == 0 ? 1'000'000 + random() % 2'000'000 : 4'000 + random() % 200'000;
        };
        auto book = [&](bool plain = false) {
            return Book(random, written, static_cast<int>(random() % 3), size(plain), random() % 4 == 0);
        };
        const std::string name = "book" + std::to_string(written);
        if (kind < 12) {  // a plain file
            const std::string b = book(true);
            WriteWholeFile(folder / (name + ".fb2"), b.data(), b.size());
            ++written;
        } else if (kind < 17) {  // an archive with one book
            TPacker packer;
            packer.Open((folder / (name + ".fb2.zip")).string(), true);
            packer.AddFromBytes(name + ".fb2", V(book()), 0, 0x20, true);
            packer.Close();
            ++written;
        } else if (kind < 19) {  // an archive with several books, some in folders
            TPacker packer;
            packer.Open((folder / (name + "-set.zip")).string(), true);
            for (int i = 0; i < 5 && written < books; ++i, ++written)
                packer.AddFromBytes((i % 2 ? "vol/" : "") + name + "-" + std::to_string(i) + ".fb2", V(book()), 0, 0x20,
                                    true);
            packer.Close();
        } else {  // an archive inside an archive
            const std::filesystem::path temp = folder / (name + "-inner.tmp.zip");
            TPacker writer;
            writer.Open(temp.string(), true);
            writer.AddFromBytes(name + ".fb2", V(book()), 0, 0x20, true);
            writer.Close();
            const std::vector<uint8_t> innerBytes = ReadWholeFile(temp);
            std::filesystem::remove(temp);
            TPacker outer;
            outer.Open((folder / (name + "-outer.zip")).string(), true);
            outer.AddFromBytes("inner.zip", innerBytes, 0, 0x20, true);
            outer.Close();
            ++written;
        }
    }
    return written;
}
