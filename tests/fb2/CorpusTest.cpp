// Every FB2 file of the shared corpus: it must load or fail with one of the model's messages,
// and where an independent XML reader (libxml2) reads it cleanly, the description must say
// the same titles, authors, genres and sequences.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include "TestUtils.h"
#include "common/Error.h"
#include "fb2/FBCover.h"
#include "fb2/FBDescription.h"
#include "fb2/FBParser.h"
#include "fb2/MyStream.h"
#include "fb2/Recoder.h"
#include "fb2/XMLPars.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    const fs::path root = fs::path(SHELVARA_CORPUS) / "fb2";
    if (!fs::is_directory(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.path().extension() == ".fb2") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A value as the model keeps it: Windows-1251, blanks collapsed, trimmed.
std::string Normalised(const std::string& utf8) {
    std::string text = utf8;
    Utf8ToAnsiInPlace(text.data());
    text.resize(std::strlen(text.c_str()));
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

const char* Name(const xmlNode* node) {
    return reinterpret_cast<const char*>(node->name);
}

std::vector<const xmlNode*> Elements(const xmlNode* parent, const char* name) {
    std::vector<const xmlNode*> found;
    for (const xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && std::strcmp(Name(n), name) == 0) found.push_back(n);
    return found;
}

std::string Content(const xmlNode* node) {
    xmlChar* text = xmlNodeGetContent(node);
    std::string value = text ? reinterpret_cast<const char*>(text) : "";
    xmlFree(text);
    return Normalised(value);
}

std::string Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return Normalised(text);
}

// What libxml2 reads in the first title-info, in the shape of our description.
struct Expected {
    std::string title;
    std::vector<std::string> genres, authors, sequences;
};

Expected FromLibxml(const xmlNode* root) {
    Expected e;
    const auto descriptions = Elements(root, "description");
    if (descriptions.empty()) return e;
    const auto titleInfos = Elements(descriptions[0], "title-info");
    if (titleInfos.empty()) return e;
    const xmlNode* ti = titleInfos[0];
    for (const xmlNode* t : Elements(ti, "book-title"))
        e.title = Content(t);
    for (const xmlNode* g : Elements(ti, "genre"))
        e.genres.push_back(Content(g));
    for (const xmlNode* a : Elements(ti, "author")) {
        std::string name;
        for (const char* part : {"first-name", "middle-name", "last-name", "nickname"}) {
            const auto parts = Elements(a, part);
            name += (parts.empty() ? std::string() : Content(parts.back())) + "|";
        }
        e.authors.push_back(name);
    }
    std::function<void(const xmlNode*)> sequence = [&](const xmlNode* s) {
        e.sequences.push_back(Attribute(s, "name") + "|" + Attribute(s, "number"));
        for (const xmlNode* inner : Elements(s, "sequence"))
            sequence(inner);
    };
    for (const xmlNode* s : Elements(ti, "sequence"))
        sequence(s);
    return e;
}

Expected FromModel(const TFBTitleInfo& ti) {
    Expected e;
    e.title = ti.BookTitle;
    e.genres = ti.Genres;
    for (const TFBPerson& p : ti.Authors)
        e.authors.push_back(p.FirstName + "|" + p.MiddleName + "|" + p.LastName + "|" + p.NickName + "|");
    for (const TFBSequence& s : ti.Sequences)
        e.sequences.push_back(s.Name + "|" + (s.Number ? std::to_string(*s.Number) : std::string()));
    return e;
}

bool IsModelMessage(const std::string& text) {
    return text == "Damaged or not an XML file!" || text == "Not a FictionBook file!" || text == "FB parsing Error!" ||
           text == "Not implemented yet 222!" || text == "DOCTYPE declarations are not supported";
}

TEST(CorpusTest, EveryFileLoadsOrFailsWithAModelMessage) {
    const std::vector<fs::path> files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << SHELVARA_CORPUS;
    int loaded = 0;
    for (const fs::path& file : files) {
        auto stream = TMappedFileStream::OpenForParsing(file.string());
        for (int keep : {int{kKeepDescription}, kKeepDescription | kKeepBody, int{kKeepAll}}) {
            TFictionBook book;
            try {
                if (book.LoadFromStream(stream.get(), keep)) {
                    ++loaded;
                    if (TSimpleType* body = book.FindBody()) GetText(*body);
                } else {
                    EXPECT_TRUE(IsModelMessage(book.Text)) << file << ": " << book.Text;
                }
            } catch (const EShelvaraError& e) {
                EXPECT_TRUE(IsModelMessage(e.what())) << file << ": " << e.what();
            }
        }
        GetCover(*stream);
    }
    EXPECT_GT(loaded, static_cast<int>(files.size()));
}

TEST(CorpusTest, DescriptionsAgreeWithAnIndependentXmlReader) {
    const std::vector<fs::path> files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << SHELVARA_CORPUS;
    int compared = 0;
    for (const fs::path& file : files) {
        const std::vector<uint8_t> bytes = ReadBytes(file);
        xmlDoc* doc = xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                                    nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!doc) continue;  // not well-formed: nothing independent to compare with
        const xmlNode* root = xmlDocGetRootElement(doc);
        if (root && std::strcmp(Name(root), "FictionBook") == 0) {
            TFictionBook book;
            ASSERT_TRUE(book.LoadFromBytes(bytes.data(), bytes.size(), kKeepDescription)) << file << ": " << book.Text;
            const Expected expected = FromLibxml(root);
            const Expected got = FromModel(ReadDescription(book).TitleInfo);
            EXPECT_EQ(got.title, expected.title) << file;
            EXPECT_EQ(got.genres, expected.genres) << file;
            EXPECT_EQ(got.authors, expected.authors) << file;
            EXPECT_EQ(got.sequences, expected.sequences) << file;
            ++compared;
        }
        xmlFreeDoc(doc);
    }
    EXPECT_GT(compared, 30);
}

}  // namespace
