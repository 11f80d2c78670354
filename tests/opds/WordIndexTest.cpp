#include "opds/WordIndex.h"

#include <gtest/gtest.h>

#include "common/Encoding.h"

namespace {

TEST(WordIndexTest, EveryWordMustMatchTheStartOfAWordInAnyField) {
    std::vector<std::string> texts;
    for (const char* text : {"Война и мир\nЛев Николаевич Толстой\n",              // 0
                             "Анна Каренина\nЛев Толстой\nРусская классика",       // 1
                             "Левиафан\nТомас Гоббс\n",                            // 2
                             "Ёлки-палки\nПётр Ёжиков\nЁжики #3",                  // 3
                             "O'Brien's Tale\nFlann O'Brien\n",                    // 4
                             "Мир «Полудня»\nБратья Стругацкие\nМир Полудня — 1",  // 5
                             ""})
        texts.push_back(Utf8ToAnsi(text));
    const TWordIndex index(texts);
    struct Case {
        const char* query;
        std::vector<int32_t> found;
    };
    const std::vector<Case> cases{
        {"Лев Толстой", {0, 1}},  // words in any order, from one field or several
        {"толстой лев", {0, 1}},
        {"ТОЛСТОЙ", {0, 1}},  // case folded
        {"лев", {0, 1, 2}},   // a word or the start of one
        {"толст", {0, 1}},
        {"олстой", {}},  // not from the middle of a word
        {"война толстой", {0}},
        {"война каренина", {}},  // every word must be found
        {"елки", {3}},           // ё and е are one letter, both ways
        {"ёжиков", {3}},
        {"палки", {3}},  // a hyphen parts words
        {"o brien", {4}},
        {"o'brien", {4}},
        {"полудня", {5}},     // quotes are not part of a word
        {"мир мир", {0, 5}},  // a repeated word counts once
        {"мир 1", {5}},
        {"  ", {}},
        {"«»—", {}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(index.Find(Utf8ToAnsi(c.query)), c.found) << c.query;
    EXPECT_TRUE(TWordIndex().Find("x").empty());
}

}  // namespace
