#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "catalogue/BookImport.h"

class TAuthorInfo;
class TAuthorName;
class TBookInfo;
class TSVD;

// An ambiguous author name that an import settled on its own with the first candidate, kept
// for the reader to decide once the work is done.
struct TPendingChoice {
    TBookInfo* Book = nullptr;
    uint8_t Role = 0;
    std::string NameRead;                     // as the book spells it
    std::vector<TAuthorName*> Candidates;     // the first is the one the book lists now
    std::vector<const TAuthorInfo*> Authors;  // each candidate's author, compared by identity only
};

// The reader's answer to one pending choice.
struct TAuthorDecision {
    TBookInfo* Book = nullptr;
    uint8_t Role = 0;
    TAuthorName* Current = nullptr;  // the first candidate, as recorded
    TAuthorName* Chosen = nullptr;
};

// The chooser of a library with a reader: a scan, resync or import never waits for an answer.
// The first candidate stands in and the question is queued. Safe from any thread.
class TPendingChoices final : public IAuthorChooser {
public:
    // Told after the queue changed, from the thread that changed it, without the queue's lock.
    std::function<void()> OnChange;

    TAuthorName* ChooseAuthor(TBookInfo& book, uint8_t role, const std::vector<TAuthorName*>& candidates,
                              const std::string& nameRead) override;

    std::vector<TPendingChoice> Snapshot() const;
    size_t Count() const;
    void Clear();
    // Entries go with what they point at: a book that left the catalogue, a spelling or an author
    // that was deleted. An entry left with fewer than two candidates, or without the one the
    // book lists, is no question any more.
    void ForgetBook(const void* book);
    void ForgetSpelling(const void* spelling);
    void ForgetAuthor(const void* author);
    // The queue as a text that a library file keeps beside it: a line a question, its book by
    // path and entry, the spellings by their numbers in that file. Right after the library was
    // saved (its numbers are the file's), under the catalogue lock.
    std::string SaveText() const;
    // The questions of such a text that still make sense in the catalogue just loaded from that
    // file (their book still lists the first candidate); the rest are dropped.
    void LoadText(std::string_view text, TSVD& catalogue);
    // Applies the decisions as one catalogue operation (under the catalogue lock) and drops
    // their entries. Returns how many books changed author.
    int Decide(const std::vector<TAuthorDecision>& decisions);

private:
    template <typename Drop>
    void DropCandidates(const void* gone, Drop drop);
    void Changed();
    // Every book, spelling and author the questions name, so that a notice about anything else
    // (most of them) costs one look-up instead of a pass over the queue. Under mutex_.
    void AddRefs(const TPendingChoice& choice);
    void RemoveRefs(const TPendingChoice& choice);
    void Reindex();

    mutable std::mutex mutex_;
    std::vector<TPendingChoice> items_;
    std::unordered_multiset<const void*> refs_;
};

// Puts chosen in the place of current among the book's authors of that role. False when the
// book no longer lists current, already lists chosen, or chosen is current.
bool ReplaceBookAuthor(TBookInfo& book, uint8_t role, TAuthorName* current, TAuthorName* chosen);
