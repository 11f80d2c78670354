#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/BookTree.h"

class TSVD;
class TSVDStream;

// A node of the genre tree: the root (no texts), a group or a genre. Owns its children.
// Books refer to genres through their title-info (role 1) or src-title-info (role 2).
class TBookGenre final : public TBookTree<TBookGenre> {
public:
    // Notification kinds.
    static constexpr int kChanged = 0, kMoved = 1, kAdded = 2, kDeleted = 3;
    static constexpr uint8_t kHidden = 0x01;
    // Ids of the built-in table: group g (from 0) is (0x20 + g) << 24, its n-th genre id + n.
    static constexpr int32_t kFirstGroupId = 0x20000000;

    // A root node; catalogue (may be null in tests) receives its notifications.
    explicit TBookGenre(TSVD* catalogue = nullptr);
    ~TBookGenre();
    TBookGenre(const TBookGenre&) = delete;
    TBookGenre& operator=(const TBookGenre&) = delete;

    uint8_t Flags = 0;
    std::string Code;
    std::string RusName;
    std::string Comment;
    int32_t Index = -1;

    bool IsHidden() const { return Flags & kHidden; }

    // A child equal to the texts (trimmed, lower-cased) or a new one with the texts as given;
    // a negative index takes the first number down from 2 147 483 647 unused in the tree.
    static TBookGenre* AddGenre(TBookGenre* parent, int32_t index, const std::string& code, bool quiet,
                                const std::string& comment = {}, const std::string& rusName = {});
    // Search order: the node, then its children from the last to the first, depth-first. On the
    // root through an index of every code (rebuilt after the tree changed).
    TBookGenre* FindByCode(const std::string& code);
    // Changes the code; the way to do it once the node is in a tree the index knows.
    void SetCode(const std::string& code);
    TBookGenre* FindByIndex(int32_t index);
    // Moves every book of source over to target; source stays in the tree, without links.
    static void MergeInto(TBookGenre* source, TBookGenre* target, bool quiet);
    // Frees every descendant that has no books, deepest first.
    void SweepEmpty();
    // Sends the deleted notification, then frees a child and its subtree.
    void DeleteChild(TBookGenre* child);
    void Clear();

    // Pre-order running numbers for the library file.
    void Number(int32_t& counter);
    // Appends the built-in groups and genres; on the root of an emptied tree.
    void LoadBuiltIn();
    // The genre of a code a book names, on the root: the tree's own node when it has one, else
    // the built-in genre of that code in its group (both made as needed, with the table's names;
    // a few common codes the table lacks are named alike), else a new node under the root with
    // the code alone.
    TBookGenre* ForCode(const std::string& code, bool quiet);
    // On the root: adds every built-in group and genre the tree lacks, and moves the books of a
    // bare known code directly under the root (as older libraries made them) to the named genre.
    // Returns how many nodes were added plus how many bare codes were named (0: no change).
    int MergeBuiltIn(bool quiet);
    // Nodes in search order (FindByIndex's), each once.
    void CollectNodes(std::vector<TBookGenre*>& nodes);
    int NodeCount() const;

    void SaveToStream(TSVDStream& stream) const;
    // False when the record cannot be read; depth limits the nesting of damaged files.
    bool LoadFromStream(TSVDStream& stream, int depth = 0);

    void Notify(int kind);

private:
    TBookGenre(TBookGenre* parent, TSVD* catalogue);
    TBookGenre* AppendChild();
    // The built-in group of that id under this root, made (hidden) when missing.
    TBookGenre* AddBuiltInGroup(int32_t groupId, bool quiet);

    TBookGenre* FindByCodeLinear(const std::string& code);

    TSVD* catalogue_ = nullptr;
    // On the root: the first node of each code in search order, as of indexGeneration_.
    std::unordered_map<std::string, TBookGenre*> codeIndex_;
    uint64_t indexGeneration_ = UINT64_MAX;
};

// How deep a damaged library file may nest genre or series records.
inline constexpr int kMaxTreeDepth = 256;
