#include "fb2/Base64.h"

#include <algorithm>
#include <array>
#include <string>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

bool Base64Decode(std::string_view text, std::vector<uint8_t>& out) {
    static const std::array<uint8_t, 256> values = [] {
        std::array<uint8_t, 256> v{};
        for (uint8_t i = 0; i < 64; ++i)
            v[static_cast<unsigned char>(kAlphabet[i])] = i;
        return v;
    }();
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r' && c != ' ') s += c;
    out.clear();
    if (s.empty()) return false;
    const size_t n = s.size();
    size_t length = n / 4 * 3;
    out.assign(length, 0);
    auto v = [&](size_t i) -> uint32_t { return i < n ? values[static_cast<unsigned char>(s[i])] : 0; };
    size_t o = 0, i = 0;
    for (; i + 4 < n && o + 3 <= length; i += 4) {
        const uint32_t p = v(i), q = v(i + 1), r = v(i + 2), t = v(i + 3);
        out[o++] = static_cast<uint8_t>(p << 2 | q >> 4);
        out[o++] = static_cast<uint8_t>(q << 4 | r >> 2);
        out[o++] = static_cast<uint8_t>(r << 6 | t);
    }
    // The last group, with its padding.
    if (o < length) {
        const uint32_t p = v(i), q = v(i + 1), r = v(i + 2), t = v(i + 3);
        const auto at = [&](size_t k) { return i + k < n ? s[i + k] : '='; };
        out[o] = static_cast<uint8_t>(p << 2 | (at(1) == '=' ? 0 : q >> 4));
        if (at(2) == '=') {
            length -= 2;
        } else {
            if (o + 1 < length) out[o + 1] = static_cast<uint8_t>(q << 4 | r >> 2);
            if (at(3) == '=')
                length -= 1;
            else if (o + 2 < length)
                out[o + 2] = static_cast<uint8_t>(r << 6 | t);
        }
    }
    out.resize(std::min(length, out.size()));
    return true;
}

std::string Base64Encode(const std::vector<uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    }
    return out;
}
