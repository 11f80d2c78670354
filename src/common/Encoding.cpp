#include "common/Encoding.h"

#include <array>

namespace {

// Windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

constexpr char32_t kMaxMapped = 0x2122;

struct ReverseTable {
    std::array<short, kMaxMapped + 1> bytes{};
    ReverseTable() {
        bytes.fill(-1);
        for (int b = 0; b < 256; ++b) {
            char32_t cp = AnsiCharToUnicode(static_cast<unsigned char>(b));
            if (b == 0 || cp != 0) bytes[cp] = static_cast<short>(b);
        }
    }
};

const ReverseTable& Reverse() {
    static const ReverseTable table;
    return table;
}

const char kHex[] = "0123456789ABCDEF";

void AppendHexEscape(std::string& out, char kind, unsigned long value) {
    char digits[8];
    int n = 0;
    do {
        digits[n++] = kHex[value & 0xF];
        value >>= 4;
    } while (value);
    out += static_cast<char>(kAnsiEscape);
    out += kind;
    while (n)
        out += digits[--n];
    out += ';';
}

// Decodes one well-formed UTF-8 sequence at s[i]; returns its length, or 0 when the bytes
// there are not valid UTF-8 (overlong forms and surrogates included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    size_t len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses a canonical escape at s[i] (s[i] is 0x98). Returns its length or 0.
size_t ParseEscape(std::string_view s, size_t i, bool& rawByte, char32_t& value) {
    if (i + 3 >= s.size() || (s[i + 1] != 'u' && s[i + 1] != 'x')) return 0;
    rawByte = s[i + 1] == 'x';
    size_t k = i + 2;
    value = 0;
    size_t digits = 0;
    for (; k < s.size() && HexValue(s[k]) >= 0 && digits < 7; ++k, ++digits)
        value = value * 16 + HexValue(s[k]);
    if (k >= s.size() || s[k] != ';' || digits == 0 || s[i + 2] == '0') return 0;
    if (rawByte) {
        // Only bytes that cannot start or continue valid UTF-8 in that place are escaped;
        // any byte 0x80..0xFF may appear there.
        if (digits != 2 || value < 0x80) return 0;
    } else {
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
        if (value != kAnsiEscape && UnicodeToAnsiChar(value) >= 0) return 0;
    }
    return k - i + 1;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t AnsiCharToUnicode(unsigned char c) {
    if (c < 0x80) return c;
    if (c >= 0xC0) return 0x0410 + (c - 0xC0);
    return kHighHalf[c - 0x80];
}

int UnicodeToAnsiChar(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp > kMaxMapped) return -1;
    return Reverse().bytes[cp];
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) {
            AppendHexEscape(out, 'x', static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        int b = cp == kAnsiEscape ? -1 : UnicodeToAnsiChar(cp);
        if (b >= 0)
            out += static_cast<char>(b);
        else
            AppendHexEscape(out, 'u', cp);
        i += len;
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 2);
    for (size_t i = 0; i < ansi.size();) {
        unsigned char c = static_cast<unsigned char>(ansi[i]);
        if (c == kAnsiEscape) {
            bool rawByte;
            char32_t value;
            if (size_t len = ParseEscape(ansi, i, rawByte, value)) {
                if (rawByte)
                    out += static_cast<char>(value);
                else
                    AppendUtf8(out, value);
                i += len;
            } else {
                AppendUtf8(out, 0xFFFD);
                ++i;
            }
            continue;
        }
        AppendUtf8(out, AnsiCharToUnicode(c));
        ++i;
    }
    return out;
}

std::filesystem::path AnsiToPath(std::string_view ansi) {
    return std::filesystem::path(AnsiToUtf8(ansi));
}

std::string PathToAnsi(const std::filesystem::path& path) {
    return Utf8ToAnsi(path.native());
}

size_t Utf8SequenceLength(std::string_view text) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = b(0);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || b(1) < low || b(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF) return 0;
    return length;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        const size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) return false;
        at += length;
    }
    return true;
}
