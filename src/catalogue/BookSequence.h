#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/BookTree.h"

class TSVD;
class TSVDStream;

// A series (FB2 sequence) with its spellings of the name, its sub-series and the books that
// point to it from their title-info (role 1), src-title-info (role 2) or publish-info (role 3).
// The root node has no names; it owns the whole tree and keeps the name index of it.
class TBookSequence final : public TBookTree<TBookSequence> {
public:
    static constexpr int kChanged = 0, kMoved = 1, kAdded = 2, kDeleted = 3;

    // A root node; catalogue (may be null in tests) receives its notifications.
    explicit TBookSequence(TSVD* catalogue = nullptr);
    ~TBookSequence();
    TBookSequence(const TBookSequence&) = delete;
    TBookSequence& operator=(const TBookSequence&) = delete;

    int32_t Index = -1;

    const std::vector<std::string>& Names() const { return names_; }
    // Replaces the name at a position, filling positions beyond the end with empty names.
    void SetName(size_t position, const std::string& name);
    void AddName(const std::string& name);
    void DeleteName(size_t position);
    // The first name whose trimmed text is not empty, or empty.
    std::string DisplayName() const;
    // The comparison key of a name: punctuation trimmed, one alphabet, lower case.
    static std::string NameKey(const std::string& name);

    // The first node in pre-order (this node, then its children in order) with a name of the
    // same key. Answered from an index on the root, so an import stays linear in its books.
    TBookSequence* FindByName(const std::string& name);
    TBookSequence* FindByIndex(int32_t index);
    TBookSequence* AddChild(const std::string& name, bool quiet);
    // Points every book entry of source to target; source keeps its place without links.
    static void MergeInto(TBookSequence* source, TBookSequence* target);
    // Frees book-less descendants, then drops blank and repeated names of this node.
    void SweepEmpty();
    // Sends the deleted notification (unless quiet), then frees a child and its subtree.
    void DeleteChild(TBookSequence* child, bool quiet = false);
    void Clear();

    void Number(int32_t& counter);
    // Nodes in pre-order.
    void CollectNodes(std::vector<TBookSequence*>& nodes);
    int NodeCount() const;

    void SaveToStream(TSVDStream& stream) const;
    bool LoadFromStream(TSVDStream& stream, int depth = 0);

    void Notify(int kind);

private:
    TBookSequence(TBookSequence* parent);
    TBookSequence* AppendChild();
    TBookSequence* FindByNameLinear(const std::string& key);
    // The index: name key -> nodes carrying it. Built lazily on the root, kept up to date for
    // additions and rebuilt after other changes.
    void InvalidateIndex();
    void IndexNode(TBookSequence* node);

    TSVD* catalogue_ = nullptr;
    std::vector<std::string> names_;
    bool indexValid_ = false;
    std::unordered_map<std::string, std::vector<TBookSequence*>> index_;
};
