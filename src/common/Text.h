#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

// A text field of a catalogue record in 8 bytes. An empty text holds no storage; any other
// either lives in a block shared by all the texts read from one library file (a pooled text,
// which costs its bytes and a NUL and nothing else) or in a heap block of its own. A text ends
// at its first NUL, as the library file keeps it.
//
// A pooled text is valid while its block is: the catalogue that loaded it keeps the block
// until it is cleared. Copying always makes a text of its own; moving takes the pointer over.
class TText final {
public:
    TText() = default;
    TText(std::string_view text) { Assign(text); }
    TText(const std::string& text) { Assign(text); }
    TText(const char* text) { Assign(text ? std::string_view(text) : std::string_view()); }
    TText(const TText& other) { Assign(other.view()); }
    TText(TText&& other) noexcept : bits_(other.bits_) { other.bits_ = 0; }
    ~TText() { Free(); }

    TText& operator=(const TText& other) {
        if (this != &other) Assign(other.view());
        return *this;
    }
    TText& operator=(TText&& other) noexcept {
        if (this != &other) {
            Free();
            bits_ = other.bits_;
            other.bits_ = 0;
        }
        return *this;
    }
    TText& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }
    TText& operator=(const std::string& text) { return *this = std::string_view(text); }
    TText& operator=(const char* text) { return *this = std::string_view(text ? text : ""); }

    // A text in a block the caller keeps alive for as long as this text is used; text ends
    // with a NUL.
    static TText Pooled(const char* text) {
        TText result;
        if (text && *text) result.bits_ = reinterpret_cast<uintptr_t>(text);
        return result;
    }

    bool empty() const { return bits_ == 0; }
    size_t size() const { return bits_ ? std::strlen(c_str()) : 0; }
    const char* c_str() const { return bits_ ? reinterpret_cast<const char*>(bits_ & ~kOwned) : ""; }
    const char* data() const { return c_str(); }
    std::string_view view() const { return bits_ ? std::string_view(c_str()) : std::string_view(""); }
    std::string str() const { return std::string(view()); }
    operator std::string_view() const { return view(); }
    operator std::string() const { return str(); }
    bool IsPooled() const { return bits_ && !(bits_ & kOwned); }

    void clear() { Free(); }

    friend bool operator==(const TText& a, const TText& b) { return a.view() == b.view(); }
    friend bool operator==(const TText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const TText& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const TText& a, const char* b) { return a.view() == std::string_view(b); }
    friend auto operator<=>(const TText& a, const TText& b) { return a.view() <=> b.view(); }

private:
    // Heap blocks are marked in the top bit, which user-space addresses never use.
    static constexpr uintptr_t kOwned = uintptr_t{1} << 63;
    static_assert(sizeof(uintptr_t) == 8, "texts need 64-bit pointers");

public:
    // Bits no text has together (a heap block is aligned): a list tells its own pointer from a
    // text kept in its place by them.
    static constexpr uintptr_t kUnusedBits = kOwned | 1;

private:
    void Assign(std::string_view text) {
        const size_t length = std::min(text.find('\0'), text.size());
        if (length == 0) {
            Free();
            return;
        }
        // The same text again (a book imported anew) keeps its bytes where they are: a pooled
        // text left behind would stay in its block, unused, until the library is loaded again.
        if (view() == text.substr(0, length)) return;
        char* block = new char[length + 1];
        std::memcpy(block, text.data(), length);
        block[length] = '\0';
        Free();
        bits_ = reinterpret_cast<uintptr_t>(block) | kOwned;
    }
    void Free() {
        if (bits_ & kOwned) delete[] reinterpret_cast<char*>(bits_ & ~kOwned);
        bits_ = 0;
    }

    uintptr_t bits_ = 0;
};

inline std::string operator+(const TText& a, std::string_view b) {
    std::string result(a.view());
    result += b;
    return result;
}
inline std::string operator+(std::string_view a, const TText& b) {
    std::string result(a);
    result += b.view();
    return result;
}
inline std::string operator+(const std::string& a, const TText& b) {
    return std::string_view(a) + b;
}
inline std::string operator+(const char* a, const TText& b) {
    return std::string_view(a) + b;
}

inline std::ostream& operator<<(std::ostream& out, const TText& text) {
    return out << text.view();
}
