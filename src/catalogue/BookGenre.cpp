#include "catalogue/BookGenre.h"

#include <atomic>
#include <climits>
#include <unordered_set>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/Encoding.h"
#include "common/TextUtils.h"

namespace {

struct BuiltInGenre {
    bool group;
    const char* code;
    const char* rusName;
    const char* comment;
};

#include "catalogue/BuiltInGenres.inc"

struct ExtraGenre {
    const char* code;
    const char* rusName;
    const char* comment;
    int group;
};

#include "catalogue/ExtraGenres.inc"

struct BuiltInRow {
    bool group;
    int32_t id;
    int32_t parentId;
    std::string code, rusName, comment;
};

// The built-in table with its ids, in engine text.
const std::vector<BuiltInRow>& BuiltInRows() {
    static const std::vector<BuiltInRow> rows = [] {
        std::vector<BuiltInRow> result;
        int32_t groupId = 0, n = 0;
        int groups = 0;
        for (const BuiltInGenre& g : kBuiltInGenres) {
            if (g.group) {
                groupId = TBookGenre::kFirstGroupId + (groups++ << 24);
                n = 0;
                result.push_back({true, groupId, 0, Utf8ToAnsi(g.code), Utf8ToAnsi(g.rusName), Utf8ToAnsi(g.comment)});
            } else {
                result.push_back(
                    {false, groupId + ++n, groupId, Utf8ToAnsi(g.code), Utf8ToAnsi(g.rusName), Utf8ToAnsi(g.comment)});
            }
        }
        return result;
    }();
    return rows;
}

std::string NormalisedText(const std::string& text) {
    return AnsiLowerCase(TrimBlanks(text));
}

// Presence bits of the record.
constexpr uint8_t kHasCode = 0x02, kHasRusName = 0x04, kHasComment = 0x08, kHasChildren = 0x10;

}  // namespace

namespace {

// Bumped by every change of any genre tree's shape or codes: a root's code index older than
// this is rebuilt before use, so it never holds a freed node.
std::atomic<uint64_t> gTreeGeneration{0};

}  // namespace

TBookGenre::TBookGenre(TSVD* catalogue) : TBookTree(nullptr), catalogue_(catalogue) {}

TBookGenre::TBookGenre(TBookGenre* parent, TSVD* catalogue) : TBookTree(parent), catalogue_(catalogue) {}

TBookGenre::~TBookGenre() {
    Clear();
}

TBookGenre* TBookGenre::AppendChild() {
    ++gTreeGeneration;
    children_.push_back(std::unique_ptr<TBookGenre>(new TBookGenre(this, nullptr)));
    return children_.back().get();
}

void TBookGenre::Notify(int kind) {
    if (TSVD* catalogue = Root()->catalogue_) catalogue->Notify(TObjectType::Genre, this, kind);
}

TBookGenre* TBookGenre::AddGenre(TBookGenre* parent, int32_t index, const std::string& code, bool quiet,
                                 const std::string& comment, const std::string& rusName) {
    const std::string c = NormalisedText(code), r = NormalisedText(rusName), m = NormalisedText(comment);
    for (const auto& child : parent->children_)
        if (NormalisedText(child->Code) == c && NormalisedText(child->RusName) == r &&
            NormalisedText(child->Comment) == m)
            return child.get();

    if (index < 0) {
        std::vector<TBookGenre*> nodes;
        parent->Root()->CollectNodes(nodes);
        std::unordered_set<int32_t> used;
        for (const TBookGenre* node : nodes)
            used.insert(node->Index);
        index = INT32_MAX;
        while (used.count(index))
            --index;
    }
    TBookGenre* genre = parent->AppendChild();
    genre->Code = code;
    genre->RusName = rusName;
    genre->Comment = comment;
    genre->Index = index;
    if (!quiet) genre->Notify(kAdded);
    return genre;
}

TBookGenre* TBookGenre::FindByCodeLinear(const std::string& code) {
    if (Code == code) return this;
    for (size_t i = children_.size(); i-- > 0;)
        if (TBookGenre* found = children_[i]->FindByCodeLinear(code)) return found;
    return nullptr;
}

TBookGenre* TBookGenre::FindByCode(const std::string& code) {
    if (Parent) return FindByCodeLinear(code);
    // A book may name thousands of codes: one walk of the tree per change, not per code.
    if (indexGeneration_ != gTreeGeneration) {
        codeIndex_.clear();
        std::vector<TBookGenre*> stack{this};
        while (!stack.empty()) {
            TBookGenre* node = stack.back();
            stack.pop_back();
            codeIndex_.emplace(node->Code, node);  // the first in search order stays
            for (const auto& child : node->children_)
                stack.push_back(child.get());  // the last child is visited first
        }
        indexGeneration_ = gTreeGeneration;
    }
    const auto it = codeIndex_.find(code);
    return it == codeIndex_.end() ? nullptr : it->second;
}

void TBookGenre::SetCode(const std::string& code) {
    Code = code;
    ++gTreeGeneration;
}

TBookGenre* TBookGenre::FindByIndex(int32_t index) {
    if (Index == index) return this;
    for (size_t i = children_.size(); i-- > 0;)
        if (TBookGenre* found = children_[i]->FindByIndex(index)) return found;
    return nullptr;
}

void TBookGenre::CollectNodes(std::vector<TBookGenre*>& nodes) {
    nodes.push_back(this);
    for (size_t i = children_.size(); i-- > 0;)
        children_[i]->CollectNodes(nodes);
}

int TBookGenre::NodeCount() const {
    int n = 1;
    for (const auto& child : children_)
        n += child->NodeCount();
    return n;
}

void TBookGenre::MergeInto(TBookGenre* source, TBookGenre* target, bool quiet) {
    if (!source || !target || target == source) return;
    for (size_t i = source->Links.Count(); i-- > 0;) {
        const TBookLink link = source->Links[i];
        TBookInfo* book = link.Book;
        bool changed = false;
        for (uint8_t role : {uint8_t{1}, uint8_t{2}}) {
            if (link.Role != role && (link.Role == 1 || link.Role == 2)) continue;
            TTitleInfo* part = role == 1 ? book->TitleInfo.get() : book->SrcTitleInfo.get();
            if (part && part->ReplaceGenre(source, target)) {
                target->LinkBook(book, role, quiet);
                changed = true;
            }
        }
        if (changed && !quiet) book->NotifyChanged();
    }
    source->Links.Clear();
}

void TBookGenre::DeleteChild(TBookGenre* child) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() != child) continue;
        // Every node of the subtree is announced, children first, so no window keeps one.
        std::vector<TBookGenre*> nodes;
        child->CollectNodes(nodes);
        for (auto node = nodes.rbegin(); node != nodes.rend(); ++node)
            if (*node != child) (*node)->Notify(kDeleted);
        child->Notify(kDeleted);
        std::unique_ptr<TBookGenre> owned = std::move(*it);
        children_.erase(it);
        ++gTreeGeneration;
        return;
    }
}

void TBookGenre::SweepEmpty() {
    for (size_t i = children_.size(); i-- > 0;) {
        TBookGenre* child = children_[i].get();
        child->SweepEmpty();
        if (child->BookCount() <= 0) {
            child->Notify(kDeleted);
            children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(i));
            ++gTreeGeneration;
        }
    }
}

void TBookGenre::Clear() {
    ++gTreeGeneration;
    // Children are freed from the last to the first; they need not detach one by one.
    while (!children_.empty())
        children_.pop_back();
    Links.Clear();
    Code.clear();
    RusName.clear();
    Comment.clear();
    Index = -1;
    Flags = 0;
}

void TBookGenre::Number(int32_t& counter) {
    Index = counter++;
    for (const auto& child : children_)
        child->Number(counter);
}

void TBookGenre::LoadBuiltIn() {
    const bool isRoot = Parent == nullptr;
    for (const BuiltInRow& row : BuiltInRows()) {
        if (isRoot ? row.parentId != 0 : row.parentId != Index) continue;
        TBookGenre* child = AppendChild();
        child->Code = row.code;
        child->RusName = row.rusName;
        child->Comment = row.comment;
        child->Index = row.id;
        if (row.group) {
            if (isRoot)
                child->Flags |= kHidden;
            else
                child->Flags &= static_cast<uint8_t>(~kHidden);
        }
    }
    for (const auto& child : children_)
        child->LoadBuiltIn();
}

namespace {

// The group of the codes that fit no built-in group; parent id 0 marks it.
const BuiltInRow& OtherGroupRow() {
    static const BuiltInRow row{true, 0, 0, "Other", Utf8ToAnsi("Прочее"), "Other"};
    return row;
}

// Codes books carry that the table lacks, with names, under a built-in group (or Other).
const std::vector<BuiltInRow>& ExtraRows() {
    static const std::vector<BuiltInRow> rows = [] {
        std::vector<BuiltInRow> result;
        for (const ExtraGenre& g : kExtraGenres) {
            const int32_t groupId = g.group < 0 ? 0 : TBookGenre::kFirstGroupId + (g.group << 24);
            result.push_back({false, -1, groupId, g.code, Utf8ToAnsi(g.rusName), Utf8ToAnsi(g.comment)});
        }
        return result;
    }();
    return rows;
}

// The genre row of a known code: the last built-in row of the code in table order, as a search
// of a full built-in tree finds it, else a row of the extra codes; none for an unknown code.
const BuiltInRow* KnownGenreRow(const std::string& code) {
    static const std::unordered_map<std::string, const BuiltInRow*> byCode = [] {
        std::unordered_map<std::string, const BuiltInRow*> map;
        for (const BuiltInRow& row : ExtraRows())
            map[row.code] = &row;
        for (const BuiltInRow& row : BuiltInRows())
            if (!row.group) map[row.code] = &row;
        return map;
    }();
    const auto it = byCode.find(code);
    return it == byCode.end() ? nullptr : it->second;
}

const BuiltInRow& BuiltInGroupRow(int32_t id) {
    for (const BuiltInRow& row : BuiltInRows())
        if (row.group && row.id == id) return row;
    return OtherGroupRow();
}

}  // namespace

TBookGenre* TBookGenre::AddBuiltInGroup(int32_t groupId, bool quiet) {
    const BuiltInRow& row = BuiltInGroupRow(groupId);
    const int before = static_cast<int>(children_.size());
    TBookGenre* group = AddGenre(this, -1, row.code, true, row.comment, row.rusName);
    // A new group is hidden as in a full built-in tree: the genres tab lists its genres.
    if (static_cast<int>(children_.size()) != before) {
        group->Flags |= kHidden;
        if (!quiet) group->Notify(kAdded);
    }
    return group;
}

TBookGenre* TBookGenre::ForCode(const std::string& code, bool quiet) {
    if (TBookGenre* found = FindByCode(code)) return found;
    const BuiltInRow* row = KnownGenreRow(code);
    if (!row) return AddGenre(this, -1, code, quiet);
    return AddGenre(AddBuiltInGroup(row->parentId, quiet), -1, row->code, quiet, row->comment, row->rusName);
}

int TBookGenre::MergeBuiltIn(bool quiet) {
    const int before = NodeCount();
    TBookGenre* group = nullptr;
    for (const BuiltInRow& row : BuiltInRows()) {
        if (row.group)
            group = AddBuiltInGroup(row.id, quiet);
        else
            AddGenre(group, -1, row.code, quiet, row.comment, row.rusName);
    }
    int changed = NodeCount() - before;
    // A bare code under the root gives its books to the named genre and goes.
    for (size_t i = children_.size(); i-- > 0;) {
        TBookGenre* bare = children_[i].get();
        if (bare->Count() || !TrimBlanks(bare->RusName).empty() || !TrimBlanks(bare->Comment).empty()) continue;
        const BuiltInRow* row = KnownGenreRow(bare->Code);
        if (!row) continue;
        TBookGenre* named =
            AddGenre(AddBuiltInGroup(row->parentId, quiet), -1, row->code, quiet, row->comment, row->rusName);
        MergeInto(bare, named, quiet);
        DeleteChild(bare);
        ++changed;
    }
    return changed;
}

void TBookGenre::SaveToStream(TSVDStream& stream) const {
    const std::string code = TrimBlanks(Code), rusName = TrimBlanks(RusName), comment = TrimBlanks(Comment);
    uint8_t flags = Flags & 0xE1;
    if (!code.empty()) flags |= kHasCode;
    if (!rusName.empty()) flags |= kHasRusName;
    if (!comment.empty()) flags |= kHasComment;
    if (!children_.empty()) flags |= kHasChildren;
    stream.WriteByte(flags);
    stream.WriteInt(Index);
    if (flags & kHasCode) stream.WriteStr(code);
    if (flags & kHasRusName) stream.WriteStr(rusName);
    if (flags & kHasComment) stream.WriteStr(comment);
    if (flags & kHasChildren) {
        stream.WriteInt(static_cast<int32_t>(children_.size()));
        for (const auto& child : children_)
            child->SaveToStream(stream);
    }
}

bool TBookGenre::LoadFromStream(TSVDStream& stream, int depth) {
    Clear();
    if (depth > kMaxTreeDepth) return false;
    Flags = stream.ReadByte();
    Index = stream.ReadInt();
    if (Flags & kHasCode) SetCode(stream.ReadStr());
    if (Flags & kHasRusName) RusName = stream.ReadStr();
    if (Flags & kHasComment) Comment = stream.ReadStr();
    if (Flags & kHasChildren) {
        const int32_t count = stream.ReadCount(2);  // a child record takes at least two bytes
        for (int32_t i = 0; i < count; ++i)
            if (!AppendChild()->LoadFromStream(stream, depth + 1)) return false;
    }
    return true;
}
