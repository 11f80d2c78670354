#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "catalogue/BookLinks.h"

// What genre and series trees share: a parent, owned children in order, and the books that
// point to a node. Node is the derived class; it provides Notify(kind) with kChanged and kMoved.
template <class Node>
class TBookTree {
public:
    Node* Parent = nullptr;
    TBookLinks Links;

    size_t Count() const { return children_.size(); }
    Node* Child(size_t i) const { return children_[i].get(); }
    Node* Root() {
        Node* node = &Self();
        while (node->Parent)
            node = node->Parent;
        return node;
    }

    // True when other is a parent, grandparent and so on of node.
    static bool IsDescendantOf(const Node* node, const Node* other) {
        for (const Node* p = node ? node->Parent : nullptr; p; p = p->Parent)
            if (p == other) return true;
        return false;
    }
    // Moves a node (not the root) to the end of another node's children, never below itself.
    static bool MoveTo(Node* node, Node* newParent) {
        if (!node || !newParent || newParent == node || IsDescendantOf(newParent, node) || !node->Parent) return false;
        auto& siblings = node->Parent->children_;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (it->get() != node) continue;
            std::unique_ptr<Node> owned = std::move(*it);
            siblings.erase(it);
            owned->Parent = newParent;
            newParent->children_.push_back(std::move(owned));
            node->Notify(Node::kMoved);
            return true;
        }
        return false;
    }

    // Links keep one entry per (book, role).
    void LinkBook(TBookInfo* book, uint8_t role, bool quiet) {
        if (Links.Contains(book, role)) return;
        AddLink(book, role, quiet);
    }
    void UnlinkBook(TBookInfo* book, uint8_t role, bool quiet) {
        Links.RemoveLast(book, role);
        if (!quiet) Self().Notify(Node::kChanged);
    }
    // Appends a link the caller knows is not there yet (the book's part did not point here).
    void AddLink(TBookInfo* book, uint8_t role, bool quiet) {
        Links.Append(book, role);
        if (!quiet) Self().Notify(Node::kChanged);
    }
    // Links of the node and of its whole subtree.
    int BookCount() const {
        int n = static_cast<int>(Links.Count());
        for (const auto& child : children_)
            n += child->BookCount();
        return n;
    }
    void CollectBooks(TBookCollection& books) const {
        for (const TBookLink& link : Links)
            books.Add(link.Book);
        for (const auto& child : children_)
            child->CollectBooks(books);
    }

protected:
    explicit TBookTree(Node* parent) : Parent(parent) {}
    ~TBookTree() = default;

    std::vector<std::unique_ptr<Node>> children_;

private:
    Node& Self() { return static_cast<Node&>(*this); }
};
