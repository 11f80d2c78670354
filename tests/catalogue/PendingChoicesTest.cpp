#include "catalogue/PendingChoices.h"

#include <gtest/gtest.h>

#include <thread>

#include "catalogue/AuthorInfo.h"
#include "catalogue/AuthorList.h"
#include "catalogue/AuthorName.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"

namespace {

struct Fixture {
    TSVD svd;
    TAuthorName* ivan = svd.Authors.FindOrAddName("Ivan", "", "", "Petrov");
    TAuthorName* igor = svd.Authors.NewAuthor(true)->AddName("Igor", "", "", "Petrov");
    TAuthorName* ilya = svd.Authors.NewAuthor(true)->AddName("Ilya", "", "", "Petrov");
    TBookInfo* book = svd.AddMountPoint("/books")->AddBook();
    TPendingChoices queue;

    Fixture() { book->EnsureTitleInfo().AddAuthor(ivan); }
};

TEST(PendingChoicesTest, QuestionsWaitAndDecisionsReplaceTheStandIn) {
    Fixture f;
    int told = 0;
    f.queue.OnChange = [&] { ++told; };
    // Asked from a worker: the first candidate stands in at once.
    TAuthorName* taken = nullptr;
    std::thread worker([&] { taken = f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor}, "I. Petrov"); });
    worker.join();
    EXPECT_EQ(taken, f.ivan);
    // The same book read again replaces its question instead of adding one.
    f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor}, "I. Petrov");
    ASSERT_EQ(f.queue.Count(), 1u);
    EXPECT_EQ(told, 2);
    // A spelling not among the candidates is no answer; the question is settled either way.
    EXPECT_EQ(f.queue.Decide({{f.book, 1, f.ivan, f.ilya}}), 0);
    EXPECT_EQ(f.queue.Count(), 0u);
    EXPECT_EQ(f.book->TitleInfo->Authors, std::vector<TAuthorName*>{f.ivan});

    f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor}, "I. Petrov");
    EXPECT_EQ(f.queue.Decide({{f.book, 1, f.ivan, f.igor}}), 1);
    EXPECT_EQ(f.book->TitleInfo->Authors, std::vector<TAuthorName*>{f.igor});
    EXPECT_EQ(f.ivan->Links.Count(), 0u);
    EXPECT_TRUE(f.igor->Links.Contains(f.book, 1));
    // A decision for a question no longer queued does nothing.
    EXPECT_EQ(f.queue.Decide({{f.book, 1, f.igor, f.ivan}}), 0);
    EXPECT_EQ(f.book->TitleInfo->Authors, std::vector<TAuthorName*>{f.igor});
}

// A question goes with what it names: the book, the stand-in, or too many candidates.
TEST(PendingChoicesTest, QuestionsGoWithTheirBooksAndAuthors) {
    struct Case {
        const char* what;
        int forget;  // 0 the book, 1 the spelling ilya, 2 igor's author, 3 the stand-in's author
        size_t left;
        size_t candidatesLeft;
    };
    const Case cases[] = {
        {"the book", 0, 0, 0},
        {"a third candidate", 1, 1, 2},
        {"a second of two left", 2, 1, 2},
        {"the stand-in", 3, 0, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor, f.ilya}, "I. Petrov");
        switch (c.forget) {
            case 0:
                f.queue.ForgetBook(f.book);
                break;
            case 1:
                f.queue.ForgetSpelling(f.ilya);
                break;
            case 2:
                f.queue.ForgetAuthor(f.igor->Author);
                break;
            default:
                f.queue.ForgetAuthor(f.ivan->Author);
        }
        ASSERT_EQ(f.queue.Count(), c.left) << c.what;
        if (c.left) {
            EXPECT_EQ(f.queue.Snapshot().front().Candidates.size(), c.candidatesLeft) << c.what;
        }
    }
    // With two candidates, losing one leaves no question.
    Fixture f;
    f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor}, "I. Petrov");
    f.queue.ForgetSpelling(f.igor);
    EXPECT_EQ(f.queue.Count(), 0u);
}

}  // namespace
