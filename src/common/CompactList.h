#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/Text.h"

// How a list keeps a single item in place of its block pointer: items of 8 bytes whose bits
// never match kBlockTag, so that the tagged block pointer tells the two apart. An empty item
// (all bits 0) cannot stand alone, as that reads as an empty list.
template <typename T>
struct TCompactSlot {
    static constexpr bool kInline = std::is_pointer_v<T>;
    static constexpr uintptr_t kBlockTag = 1;  // pointers to records are aligned
};
template <>
struct TCompactSlot<TText> {
    static constexpr bool kInline = true;
    static constexpr uintptr_t kBlockTag = TText::kUnusedBits;
};

// A list of a catalogue record in 8 bytes: an empty list holds no storage, any other one heap
// block with its size, capacity and items. Records hold many short lists (a book's genres,
// authors, titles), most with one item, where a vector would take 24 bytes and an allocation
// each; lists of pointers and of texts keep a single item in place of the block pointer, so
// most of them allocate nothing.
template <typename T>
class TCompactList final {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    TCompactList() = default;
    TCompactList(std::initializer_list<T> items) { assign(items.begin(), items.end()); }
    TCompactList(const std::vector<T>& items) { assign(items.begin(), items.end()); }
    TCompactList(const TCompactList& other) { assign(other.begin(), other.end()); }
    TCompactList(TCompactList&& other) noexcept { SetBits(other.TakeBits()); }
    ~TCompactList() { Release(); }

    TCompactList& operator=(const TCompactList& other) {
        if (this != &other) assign(other.begin(), other.end());
        return *this;
    }
    TCompactList& operator=(TCompactList&& other) noexcept {
        if (this != &other) {
            Release();
            SetBits(other.TakeBits());
        }
        return *this;
    }
    TCompactList& operator=(std::initializer_list<T> items) {
        assign(items.begin(), items.end());
        return *this;
    }
    TCompactList& operator=(const std::vector<T>& items) {
        assign(items.begin(), items.end());
        return *this;
    }
    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

    size_t size() const { return Block() ? Block()->Size : Bits() ? 1 : 0; }
    size_t capacity() const { return Block() ? Block()->Capacity : Bits() ? 1 : 0; }
    bool empty() const { return size() == 0; }
    T* begin() { return Items(); }
    T* end() { return Items() + size(); }
    const T* begin() const { return Items(); }
    const T* end() const { return Items() + size(); }
    T* data() { return Items(); }
    const T* data() const { return Items(); }
    T& operator[](size_t i) { return Items()[i]; }
    const T& operator[](size_t i) const { return Items()[i]; }
    T& front() { return Items()[0]; }
    const T& front() const { return Items()[0]; }
    T& back() { return Items()[size() - 1]; }
    const T& back() const { return Items()[size() - 1]; }

    template <typename Iterator>
    void assign(Iterator first, Iterator last) {
        if (first != last && Holds(std::addressof(*first))) {
            *this = TCompactList(std::vector<T>(first, last));  // from itself
            return;
        }
        clear();
        reserve(static_cast<size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            push_back(*first);
    }
    void reserve(size_t n) {
        // One item may stand alone: a block for it would be wasted.
        if (n > capacity() && (n > 1 || !kInline)) Grow(n);
    }
    void push_back(const T& item) { emplace_back(item); }
    void push_back(T&& item) { emplace_back(std::move(item)); }
    template <typename... Args>
    T& emplace_back(Args&&... args) {
        T item(std::forward<Args>(args)...);  // args may refer to an item of this list
        if constexpr (kInline)
            if (Bits() == 0 && CanStandAlone(item)) return *new (storage_) T(std::move(item));
        if (size() == capacity()) Grow(std::max<size_t>(2, capacity() * 2));
        return *new (Items() + Block()->Size++) T(std::move(item));
    }
    T* insert(const T* position, T item) {
        const size_t at = static_cast<size_t>(position - Items());
        push_back(std::move(item));
        std::rotate(Items() + at, end() - 1, end());
        return Items() + at;
    }
    T* erase(const T* position) { return erase(position, position + 1); }
    T* erase(const T* first, const T* last) {
        const size_t at = static_cast<size_t>(first - Items()), count = static_cast<size_t>(last - first);
        if (count == 0) return Items() + at;
        if (!Block()) {  // the single item
            clear();
            return nullptr;
        }
        std::move(Items() + at + count, end(), Items() + at);
        std::destroy(end() - count, end());
        Block()->Size -= static_cast<uint32_t>(count);
        return Items() + at;
    }
    void pop_back() { erase(end() - 1); }
    void clear() {
        if (TBlock* block = Block()) {
            std::destroy(Items(), Items() + block->Size);
            block->Size = 0;
        } else if (Bits()) {
            std::destroy_at(Items());
            SetBits(0);
        }
    }

    friend bool operator==(const TCompactList& a, const TCompactList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    template <typename U>
    friend bool operator==(const TCompactList& a, const std::vector<U>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    struct alignas(alignof(T) > 8 ? alignof(T) : 8) TBlock {
        uint32_t Size;
        uint32_t Capacity;
    };
    static_assert(alignof(T) <= alignof(TBlock));
    static constexpr bool kInline = TCompactSlot<T>::kInline;
    static constexpr uintptr_t kBlockTag = TCompactSlot<T>::kBlockTag;
    static_assert(!kInline || (sizeof(T) == sizeof(uintptr_t) && alignof(T) <= alignof(uintptr_t)));

    bool Holds(const T* item) const {
        const std::less<const T*> before;
        return Items() && !before(item, Items()) && before(item, Items() + size());
    }
    static bool CanStandAlone(const T& item) {
        if constexpr (kInline) {
            uintptr_t bits = 0;
            std::memcpy(&bits, static_cast<const void*>(std::addressof(item)), sizeof bits);
            return bits != 0 && (bits & kBlockTag) != kBlockTag;
        } else {
            return false;
        }
    }
    // The block, or null for an empty list and a single item kept in place.
    TBlock* Block() const {
        if constexpr (kInline) {
            const uintptr_t bits = Bits();
            return (bits & kBlockTag) == kBlockTag ? reinterpret_cast<TBlock*>(bits & ~kBlockTag) : nullptr;
        } else {
            return reinterpret_cast<TBlock*>(Bits());
        }
    }
    T* Items() const {
        if (TBlock* block = Block()) return reinterpret_cast<T*>(block + 1);
        return Bits() ? std::launder(reinterpret_cast<T*>(const_cast<unsigned char*>(storage_))) : nullptr;
    }

    void Grow(size_t capacity) {
        void* memory = ::operator new(sizeof(TBlock) + capacity * sizeof(T));
        auto* block = new (memory) TBlock{0, static_cast<uint32_t>(capacity)};
        T* items = reinterpret_cast<T*>(block + 1);
        const size_t count = size();
        T* old = Items();
        for (size_t i = 0; i < count; ++i) {
            new (items + i) T(std::move(old[i]));
            std::destroy_at(old + i);
        }
        block->Size = static_cast<uint32_t>(count);
        if (TBlock* previous = Block()) ::operator delete(previous);
        SetBits(reinterpret_cast<uintptr_t>(block) | (kInline ? kBlockTag : 0));
    }
    void Release() {
        clear();
        if (TBlock* block = Block()) ::operator delete(block);
        SetBits(0);
    }
    uintptr_t Bits() const {
        uintptr_t bits;
        std::memcpy(&bits, storage_, sizeof bits);
        return bits;
    }
    void SetBits(uintptr_t bits) { std::memcpy(storage_, &bits, sizeof bits); }
    uintptr_t TakeBits() {
        const uintptr_t bits = Bits();
        SetBits(0);
        return bits;
    }

    // The block pointer (tagged when items can stand alone), or the single item itself, which
    // moves with its bits: pointers and texts are plain values.
    alignas(8) unsigned char storage_[8] = {};
};
