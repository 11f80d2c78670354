#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

class TBookInfo;

// One book that refers to a genre, series or name spelling, and in which part of its
// description it does so.
struct TBookLink {
    TBookInfo* Book = nullptr;
    uint8_t Role = 0;

    bool operator==(const TBookLink&) const = default;
};

// The links of a genre, series or spelling to its books, in the order they were made.
// Capacity grows by 4 while below 17, by 8 while below 65, then by a quarter. A link takes 8
// bytes: the role sits in the low bits of the book's address, which its alignment leaves free.
class TBookLinks final {
public:
    // Reads the links as TBookLink values.
    class TIterator final {
    public:
        explicit TIterator(const uintptr_t* at) : at_(at) {}
        TBookLink operator*() const { return Unpack(*at_); }
        TIterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const TIterator&) const = default;

    private:
        const uintptr_t* at_;
    };

    size_t Count() const { return links_.size(); }
    size_t Capacity() const { return links_.capacity(); }
    bool Empty() const { return links_.empty(); }
    TBookLink operator[](size_t i) const { return Unpack(links_[i]); }
    TIterator begin() const { return TIterator(links_.data()); }
    TIterator end() const { return TIterator(links_.data() + links_.size()); }

    bool Contains(const TBookInfo* book, uint8_t role) const;
    void Append(TBookInfo* book, uint8_t role);
    // Searching from the last link, removes the first link of the book whose role equals the
    // given one (any role when role is 0); later links move down. False when none.
    bool RemoveLast(const TBookInfo* book, uint8_t role);
    // Makes room for at least n links in total.
    void Reserve(size_t n) { links_.reserve(n); }
    void Clear() { links_ = {}; }
    // Number of links whose role is in the set (bit 1 << role).
    int CountByRoles(unsigned roleSet) const;

private:
    static constexpr uintptr_t kRoleBits = 7;
    static TBookLink Unpack(uintptr_t bits) {
        return {reinterpret_cast<TBookInfo*>(bits & ~kRoleBits), static_cast<uint8_t>(bits & kRoleBits)};
    }
    static uintptr_t Pack(const TBookInfo* book, uint8_t role) { return reinterpret_cast<uintptr_t>(book) | role; }

    std::vector<uintptr_t> links_;
};

// Books collected from several links, each once, in the order first met.
class TBookCollection final {
public:
    bool Add(TBookInfo* book);
    bool Contains(const TBookInfo* book) const { return seen_.count(book) != 0; }
    const std::vector<TBookInfo*>& Books() const { return books_; }
    size_t Count() const { return books_.size(); }

private:
    std::vector<TBookInfo*> books_;
    std::unordered_set<const TBookInfo*> seen_;
};
