#include "catalogue/PendingChoices.h"

#include <gtest/gtest.h>

#include <thread>

#include "TestUtils.h"
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

// The questions go beside the library file by path and number and come back with it; lines that
// no longer fit the library are dropped.
TEST(PendingChoicesTest, QuestionsAreKeptBesideTheLibraryFile) {
    Fixture f;
    f.book->FileName = "tab\there.fb2";  // a name that needs escaping
    f.queue.ChooseAuthor(*f.book, 1, {f.ivan, f.igor}, "I. Petrov");
    TempDir dir;
    const std::string file = (dir / "lib.sv2").string();
    f.svd.SaveToFile(file);
    const std::string text = f.queue.SaveText();
    TSVD again;
    again.LoadFromFile(file);
    TPendingChoices loaded;
    loaded.LoadText(text + "broken\tline\n/books/none.fb2\t\t1\tX\t1\t2\n", again);
    ASSERT_EQ(loaded.Count(), 1u);
    const TPendingChoice choice = loaded.Snapshot().front();
    EXPECT_EQ(choice.Book->FileName, "tab\there.fb2");
    EXPECT_EQ(choice.NameRead, "I. Petrov");
    ASSERT_EQ(choice.Candidates.size(), 2u);
    EXPECT_EQ(choice.Candidates[0]->DisplayName(), "Ivan Petrov");
    EXPECT_EQ(choice.Candidates[1]->DisplayName(), "Igor Petrov");
    loaded.LoadText("some other file\n", again);
    EXPECT_EQ(loaded.Count(), 0u);
    EXPECT_TRUE(TPendingChoices().SaveText().empty());  // nothing to keep, no text
}

}  // namespace
