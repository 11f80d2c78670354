// Catalogue maintenance: sweeping what no book needs and joining same-named series.

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/CatalogueLock.h"
#include "catalogue/SVD.h"
#include "common/TextUtils.h"

void TSVD::Sweep(bool silent, unsigned flags) {
    CheckNoBackgroundWork();
    TCatalogueGuard guard;
    if (flags & kSweepAuthors) SweepAuthors(silent);
    if (flags & kSweepGenres) Genres.SweepEmpty();
    if (flags & kSweepSeries) Sequences.SweepEmpty();
    if (flags & kSweepLostBooks) {
        while (!LostBooks.empty()) {
            if (!silent) LostBooks.back()->NotifyRemoved();
            LostBooks.pop_back();
        }
        modified_ = true;
    }
    if (flags & kJoinSameSeries) JoinSameSeries(silent);
}

void TSVD::SweepAuthors(bool silent) {
    for (size_t a = Authors.Count(); a-- > 0;) {
        TAuthorInfo* author = Authors.Author(a);
        for (size_t n = author->Count(); n-- > 0;) {
            TAuthorName* spelling = author->Name(n);
            if (!spelling->Links.Empty()) continue;
            if (!silent) Authors.PostNotification(spelling, TAuthorInfo::kNameDeleted);
            author->ExtractName(spelling);
        }
        if (author->Count() == 0 || author->LinkCount() < 1) {
            if (!silent) Authors.PostNotification(author, TAuthorInfo::kDeleted);
            Authors.RemoveAuthor(author);
        }
    }
}

namespace {

// Both walks of the join visit a node, then its children from the last to the first.
void WalkOrder(TBookSequence* node, std::vector<TBookSequence*>& order) {
    order.push_back(node);
    for (size_t i = node->Count(); i-- > 0;)
        WalkOrder(node->Child(i), order);
}

bool HasAllNames(const std::vector<std::string>& keys, const TBookSequence* other) {
    for (const std::string& key : keys) {
        bool found = false;
        for (const std::string& name : other->Names())
            if (TBookSequence::NameKey(name) == key) {
                found = true;
                break;
            }
        if (!found) return false;
    }
    return true;
}

}  // namespace

// Two series are the same when every name of one is a name of the other. Each series X is
// compared with the others in walk order, but only with those that carry X's first name:
// testing every pair would be quadratic in the number of series. Nodes without names take
// no part (the root included), so no series is merged into the root.
void TSVD::JoinSameSeries(bool silent) {
    std::vector<TBookSequence*> order;
    WalkOrder(&Sequences, order);
    std::unordered_map<const TBookSequence*, size_t> position;
    std::unordered_set<const TBookSequence*> alive;
    std::unordered_map<std::string, std::vector<TBookSequence*>> byName;
    for (size_t i = 0; i < order.size(); ++i) {
        position[order[i]] = i;
        alive.insert(order[i]);
        for (const std::string& name : order[i]->Names()) {
            auto& nodes = byName[TBookSequence::NameKey(name)];
            if (nodes.empty() || nodes.back() != order[i]) nodes.push_back(order[i]);
        }
    }
    auto free = [&](TBookSequence* node) {
        alive.erase(node);
        node->Parent->DeleteChild(node, silent);
    };

    for (TBookSequence* x : order) {
        if (!alive.count(x) || x == &Sequences) continue;
        for (size_t i = x->Names().size(); i-- > 0;)
            if (TrimBlanks(x->Names()[i]).empty()) x->DeleteName(i);
        if (x->Names().empty()) continue;
        std::vector<std::string> keys;
        for (const std::string& name : x->Names())
            keys.push_back(TBookSequence::NameKey(name));
        std::vector<TBookSequence*> candidates = byName[keys[0]];
        std::sort(candidates.begin(), candidates.end(),
                  [&](const TBookSequence* a, const TBookSequence* b) { return position[a] < position[b]; });
        for (TBookSequence* s : candidates) {
            if (s == x || !alive.count(s) || !alive.count(x) || !HasAllNames(keys, s)) continue;
            TBookSequence* source = s->Count() > 0 ? x : s;
            TBookSequence* target = source == x ? s : x;
            TBookSequence::MergeInto(source, target);
            if (source->Count() == 0) free(source);
            if (source == x && !alive.count(x)) break;
        }
    }
}
