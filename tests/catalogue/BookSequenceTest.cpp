#include "catalogue/BookSequence.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "TestUtils.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"

namespace {

TEST(BookSequenceTest, FindByNameUsesTheNameKey) {
    TBookSequence root;
    TBookSequence* plain = root.AddChild("Name", true);
    // "Тест" in Cyrillic.
    TBookSequence* cyrillic = root.AddChild("\xD2\xE5\xF1\xF2", true);
    EXPECT_EQ(root.FindByName(".nAME!"), plain);
    EXPECT_EQ(root.FindByName("  name  "), plain);
    // Latin T, e inside the Cyrillic word.
    EXPECT_EQ(root.FindByName("Te\xF1\xF2"), cyrillic);
    EXPECT_EQ(root.FindByName("other"), nullptr);
}

TEST(BookSequenceTest, FindOrAddMatchesAnyOfTheNames) {
    TSVD svd;
    TBookSequence* series = svd.FindOrAddSequence("First", true);
    series->AddName("Second");
    svd.SetModified(false);
    EXPECT_EQ(svd.FindOrAddSequence("second", true), series);
    EXPECT_EQ(svd.Sequences.Count(), 1u);
    EXPECT_FALSE(svd.IsModified());
    EXPECT_NE(svd.FindOrAddSequence("Third", true), series);
    EXPECT_TRUE(svd.IsModified());
}

TEST(BookSequenceTest, FindByNameReturnsTheFirstInPreOrder) {
    TBookSequence root;
    TBookSequence* a = root.AddChild("a", true);
    TBookSequence* nested = a->AddChild("x", true);
    root.AddChild("x", true);
    EXPECT_EQ(root.FindByName("x"), nested);
    EXPECT_EQ(a->FindByName("x"), nested);
}

TEST(BookSequenceTest, SweepDropsBlankAndRepeatedNames) {
    TBookSequence root;
    TBookSequence* series = root.AddChild("Name", true);
    series->AddName("   ");
    series->AddName("name.");
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddSequence(series, 1, true);
    root.SweepEmpty();
    EXPECT_EQ(series->Names(), std::vector<std::string>{"Name"});
    EXPECT_EQ(root.FindByName("name"), series);
}

TEST(BookSequenceTest, SweepKeepsParentsOfSeriesWithBooks) {
    TBookSequence root;
    TBookSequence* parent = root.AddChild("parent", true);
    TBookSequence* withBook = parent->AddChild("with book", true);
    parent->AddChild("empty", true);
    root.AddChild("empty too", true);
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddSequence(withBook, 3, true);
    root.SweepEmpty();
    ASSERT_EQ(root.Count(), 1u);
    ASSERT_EQ(parent->Count(), 1u);
    EXPECT_EQ(parent->Child(0), withBook);
    EXPECT_EQ(root.FindByName("empty"), nullptr);
}

TEST(BookSequenceTest, RecordWithExtraNameBit) {
    // Root: flags 0x04 (children), index 0, one child. Child: flags 0x03 (names and one extra
    // name), index 4, one counted name.
    std::vector<uint8_t> bytes = Bytes("Shelvaracatalog2");
    bytes.insert(bytes.end(), {0x01, 0x01, 0x00, 0x06, 0x04, 0x00, 0x01, 0x03, 0x04, 0x01});
    for (const char* name : {"counted", "extra"}) {
        const std::string text(name);
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    }
    TBookSequence root;
    ASSERT_TRUE(root.LoadFromStream(*TSVDStream::FromBytes(bytes)));
    ASSERT_EQ(root.Count(), 1u);
    EXPECT_EQ(root.Child(0)->Index, 4);
    EXPECT_EQ(root.Child(0)->Names(), (std::vector<std::string>{"counted", "extra"}));
}

TEST(BookSequenceTest, MergePointsEveryEntryToTarget) {
    TBookSequence root;
    TBookSequence* source = root.AddChild("source", true);
    TBookSequence* target = root.AddChild("target", true);
    TBookInfo a(nullptr), b(nullptr);
    a.EnsureTitleInfo().AddSequence(source, 1, true);
    b.EnsureSrcTitleInfo().AddSequence(source, 2, true);
    b.EnsurePublishInfo().AddSequence(source, 5, true);
    TBookSequence::MergeInto(source, target);
    EXPECT_TRUE(source->Links.Empty());
    EXPECT_EQ(target->Links.Count(), 3u);
    EXPECT_EQ(a.TitleInfo->Sequences[0], (TSequenceEntry{target, 1}));
    EXPECT_EQ(b.SrcTitleInfo->Sequences[0], (TSequenceEntry{target, 2}));
    EXPECT_EQ(b.PublishInfo->Sequences[0], (TSequenceEntry{target, 5}));
}

TEST(BookSequenceTest, OneLinkPerSeriesAndRole) {
    TBookSequence root;
    TBookSequence* s = root.AddChild("s", true);
    TBookInfo book(nullptr);
    book.EnsureTitleInfo().AddSequence(s, 1, true);
    book.TitleInfo->AddSequence(s, 2, true);
    book.TitleInfo->AddSequence(s, 1, true);
    EXPECT_EQ(book.TitleInfo->Sequences.size(), 2u);
    EXPECT_EQ(s->Links.Count(), 1u);
    book.TitleInfo->Clear();
    EXPECT_TRUE(s->Links.Empty());
}

// The name index must answer exactly as a walk over the tree would, whatever was done to it.
TEST(BookSequenceTest, IndexAgreesWithTreeWalkAfterEdits) {
    TBookSequence root;
    std::mt19937 random(5);
    auto name = [&] { return std::string(1, static_cast<char>('a' + random() % 6)) + (random() % 2 ? "." : ""); };
    auto walk = [&](const std::string& query) -> TBookSequence* {
        std::vector<TBookSequence*> nodes;
        root.CollectNodes(nodes);
        for (TBookSequence* node : nodes)
            for (const std::string& n : node->Names())
                if (TBookSequence::NameKey(n) == TBookSequence::NameKey(query)) return node;
        return nullptr;
    };
    for (int step = 0; step < 400; ++step) {
        std::vector<TBookSequence*> nodes;
        root.CollectNodes(nodes);
        TBookSequence* node = nodes[random() % nodes.size()];
        switch (random() % 6) {
            case 0:
                node->AddChild(name(), true);
                break;
            case 1:
                if (node != &root) node->AddName(name());
                break;
            case 2:
                if (node != &root) node->SetName(random() % 3, name());
                break;
            case 3:
                if (node->Parent) node->Parent->DeleteChild(node);
                break;
            case 4:
                TBookSequence::MoveTo(node, nodes[random() % nodes.size()]);
                break;
            case 5:
                if (!node->Names().empty()) node->DeleteName(0);
                break;
        }
        const std::string query = name();
        ASSERT_EQ(root.FindByName(query), walk(query)) << step;
    }
}

}  // namespace
