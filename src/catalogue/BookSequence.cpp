#include "catalogue/BookSequence.h"

#include <algorithm>

#include "catalogue/BookInfo.h"
#include "catalogue/SVD.h"
#include "catalogue/SVDStream.h"
#include "common/TextUtils.h"

namespace {

constexpr uint8_t kHasNames = 0x01, kHasExtraName = 0x02, kHasChildren = 0x04;

// Child positions from the root down to node; pre-order compares them lexicographically.
std::vector<size_t> PathOf(const TBookSequence* node) {
    std::vector<size_t> path;
    for (; node->Parent; node = node->Parent) {
        const TBookSequence* parent = node->Parent;
        for (size_t i = 0; i < parent->Count(); ++i)
            if (parent->Child(i) == node) {
                path.push_back(i);
                break;
            }
    }
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace

TBookSequence::TBookSequence(TSVD* catalogue) : TBookTree(nullptr), catalogue_(catalogue) {}

TBookSequence::TBookSequence(TBookSequence* parent) : TBookTree(parent) {}

TBookSequence::~TBookSequence() {
    Clear();
}

std::string TBookSequence::NameKey(const std::string& name) {
    return SearchKeyTrimmed(name);
}

void TBookSequence::Notify(int kind) {
    if (TSVD* catalogue = Root()->catalogue_) catalogue->Notify(TObjectType::Series, this, kind);
}

void TBookSequence::InvalidateIndex() {
    TBookSequence* root = Root();
    root->indexValid_ = false;
    root->index_.clear();
}

void TBookSequence::IndexNode(TBookSequence* node) {
    for (const std::string& name : node->names_) {
        auto& nodes = index_[NameKey(name)];
        if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
}

void TBookSequence::SetName(size_t position, const std::string& name) {
    if (position >= names_.size()) names_.resize(position + 1);
    names_[position] = name;
    InvalidateIndex();
    Notify(kChanged);
}

void TBookSequence::AddName(const std::string& name) {
    names_.push_back(name);
    TBookSequence* root = Root();
    if (root->indexValid_) root->IndexNode(this);
}

void TBookSequence::DeleteName(size_t position) {
    if (position >= names_.size()) return;
    names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(position));
    InvalidateIndex();
    Notify(kChanged);  // stored with the library: the change must be saved
}

std::string TBookSequence::DisplayName() const {
    for (const std::string& name : names_)
        if (!TrimBlanks(name).empty()) return name;
    return {};
}

TBookSequence* TBookSequence::AppendChild() {
    children_.push_back(std::unique_ptr<TBookSequence>(new TBookSequence(this)));
    return children_.back().get();
}

TBookSequence* TBookSequence::FindByNameLinear(const std::string& key) {
    for (const std::string& name : names_)
        if (NameKey(name) == key) return this;
    for (const auto& child : children_)
        if (TBookSequence* found = child->FindByNameLinear(key)) return found;
    return nullptr;
}

TBookSequence* TBookSequence::FindByName(const std::string& name) {
    const std::string key = NameKey(name);
    if (Parent) return FindByNameLinear(key);
    if (!indexValid_) {
        index_.clear();
        std::vector<TBookSequence*> nodes;
        CollectNodes(nodes);
        for (TBookSequence* node : nodes)
            IndexNode(node);
        indexValid_ = true;
    }
    auto it = index_.find(key);
    if (it == index_.end() || it->second.empty()) return nullptr;
    const std::vector<TBookSequence*>& nodes = it->second;
    if (nodes.size() == 1) return nodes.front();
    TBookSequence* first = nodes.front();
    std::vector<size_t> firstPath = PathOf(first);
    for (size_t i = 1; i < nodes.size(); ++i) {
        std::vector<size_t> path = PathOf(nodes[i]);
        if (path < firstPath) first = nodes[i], firstPath = std::move(path);
    }
    return first;
}

TBookSequence* TBookSequence::FindByIndex(int32_t index) {
    if (Index == index) return this;
    for (const auto& child : children_)
        if (TBookSequence* found = child->FindByIndex(index)) return found;
    return nullptr;
}

TBookSequence* TBookSequence::AddChild(const std::string& name, bool quiet) {
    TBookSequence* series = AppendChild();
    series->AddName(name);
    if (!quiet) series->Notify(kAdded);
    return series;
}

void TBookSequence::MergeInto(TBookSequence* source, TBookSequence* target) {
    if (!source || !target || target == source || source->Links.Empty()) return;
    target->Links.Reserve(target->Links.Count() + source->Links.Count());
    for (const TBookLink& link : source->Links) {
        TSequenceEntries* entries = link.Book->SequenceEntries(link.Role);
        if (!entries) continue;
        for (TSequenceEntry& entry : *entries) {
            if (entry.Sequence != source) continue;
            entry.Sequence = target;
            target->Links.Append(link.Book, link.Role);
            link.Book->NotifyChanged();
            break;
        }
    }
    source->Links.Clear();
    source->Notify(kChanged);
}

void TBookSequence::DeleteChild(TBookSequence* child, bool quiet) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() != child) continue;
        if (!quiet) {
            // Every node of the subtree is announced, children first, so no window keeps one.
            std::vector<TBookSequence*> nodes;
            child->CollectNodes(nodes);
            for (auto node = nodes.rbegin(); node != nodes.rend(); ++node)
                if (*node != child) (*node)->Notify(kDeleted);
            child->Notify(kDeleted);
        }
        InvalidateIndex();
        std::unique_ptr<TBookSequence> owned = std::move(*it);
        children_.erase(it);
        return;
    }
}

void TBookSequence::SweepEmpty() {
    for (size_t i = children_.size(); i-- > 0;) {
        TBookSequence* child = children_[i].get();
        child->SweepEmpty();
        if (child->BookCount() <= 0) DeleteChild(child);
    }
    bool changed = false;
    for (size_t i = names_.size(); i-- > 0;)
        if (TrimBlanks(names_[i]).empty())
            names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(i)), changed = true;
    for (size_t i = names_.size(); i-- > 1;) {
        const std::string key = NameKey(names_[i]);
        for (size_t k = 0; k < i; ++k) {
            if (NameKey(names_[k]) != key) continue;
            names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
            break;
        }
    }
    if (changed) InvalidateIndex();
}

void TBookSequence::Clear() {
    if (!children_.empty() || !names_.empty()) InvalidateIndex();
    while (!children_.empty())
        children_.pop_back();
    Links.Clear();
    names_.clear();
}

void TBookSequence::Number(int32_t& counter) {
    Index = counter++;
    for (const auto& child : children_)
        child->Number(counter);
}

void TBookSequence::CollectNodes(std::vector<TBookSequence*>& nodes) {
    nodes.push_back(this);
    for (const auto& child : children_)
        child->CollectNodes(nodes);
}

int TBookSequence::NodeCount() const {
    int n = 1;
    for (const auto& child : children_)
        n += child->NodeCount();
    return n;
}

void TBookSequence::SaveToStream(TSVDStream& stream) const {
    uint8_t flags = 0;
    if (!names_.empty()) flags |= kHasNames;
    if (!children_.empty()) flags |= kHasChildren;
    stream.WriteByte(flags);
    stream.WriteInt(Index);
    if (flags & kHasNames) {
        stream.WriteInt(static_cast<int32_t>(names_.size()));
        for (const std::string& name : names_)
            stream.WriteStr(name);
    }
    if (flags & kHasChildren) {
        stream.WriteInt(static_cast<int32_t>(children_.size()));
        for (const auto& child : children_)
            child->SaveToStream(stream);
    }
}

bool TBookSequence::LoadFromStream(TSVDStream& stream, int depth) {
    Clear();
    if (depth > kMaxTreeDepth) return false;
    InvalidateIndex();
    const uint8_t flags = stream.ReadByte();
    Index = stream.ReadInt();
    if (flags & kHasNames) {
        const int32_t count = stream.ReadTextCount();
        for (int32_t i = 0; i < count; ++i)
            names_.push_back(stream.ReadStr());
    }
    if (flags & kHasExtraName) names_.push_back(stream.ReadStr());
    if (flags & kHasChildren) {
        const int32_t count = stream.ReadCount(2);
        for (int32_t i = 0; i < count; ++i)
            if (!AppendChild()->LoadFromStream(stream, depth + 1)) return false;
    }
    return true;
}
