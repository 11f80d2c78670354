#include "fb2/Recoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/Encoding.h"
#include "common/TextUtils.h"

namespace {

#include "fb2/CodePages.inc"
#include "fb2/Folds.inc"

// Windows-1251 byte -> byte of the other code page; 0x00-0x7F map to themselves.
constexpr uint8_t kDosHigh[128] = {
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  //
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  //
    0xF8, 0xB8, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF0, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,  //
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xF1, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  //
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,  //
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  //
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  //
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
};
constexpr uint8_t kKoiHigh[128] = {
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,  //
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  //
    0xA0, 0xA1, 0xA2, 0xA8, 0xA4, 0xA5, 0xA6, 0xA7, 0xB3, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  //
    0xB0, 0xB1, 0xB2, 0xB8, 0xB4, 0xB5, 0xB6, 0xB7, 0xA3, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  //
    0xE1, 0xE2, 0xF7, 0xE7, 0xE4, 0xE5, 0xF6, 0xFA, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,  //
    0xF2, 0xF3, 0xF4, 0xF5, 0xE6, 0xE8, 0xE3, 0xFE, 0xFB, 0xFD, 0xFF, 0xF9, 0xF8, 0xFC, 0xE0, 0xF1,  //
    0xC1, 0xC2, 0xD7, 0xC7, 0xC4, 0xC5, 0xD6, 0xDA, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0,  //
    0xD2, 0xD3, 0xD4, 0xD5, 0xC6, 0xC8, 0xC3, 0xDE, 0xDB, 0xDD, 0xDF, 0xD9, 0xD8, 0xDC, 0xC0, 0xD1,
};

uint8_t TableByte(TCodePageId page, int ansi) {
    if (ansi < 0x80 || page == cpWindows) return static_cast<uint8_t>(ansi);
    return page == cpDos ? kDosHigh[ansi - 0x80] : kKoiHigh[ansi - 0x80];
}

struct Conversion {
    TCodePageId from, to;
    int inverse;
};
constexpr Conversion kConversions[6] = {{cpDos, cpWindows, 5}, {cpKoi8, cpWindows, 4}, {cpDos, cpKoi8, 3},
                                        {cpKoi8, cpDos, 2},    {cpWindows, cpKoi8, 1}, {cpWindows, cpDos, 0}};

constexpr size_t kSampleSize = 65536;

bool IsSuspect(uint8_t b) {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        const int singles[] = {0x7F, 0x80, 0x81, 0x83, 0x95, 0x98, 0x9A, 0xAA, 0xAC, 0xAF, 0xB9, 0xBA};
        for (int s : singles)
            t[static_cast<size_t>(s)] = true;
        const int ranges[][2] = {{0x86, 0x8A}, {0x8C, 0x90}, {0x9C, 0xA5}, {0xB1, 0xB7}, {0xBC, 0xBF}};
        for (const auto& r : ranges)
            for (int c = r[0]; c <= r[1]; ++c)
                t[static_cast<size_t>(c)] = true;
        return t;
    }();
    return table[b];
}

bool FindRecodeChain(const uint8_t* sample, size_t length, int depth, int previous, std::vector<int>& chain) {
    if (depth < 1) return false;
    const size_t n = std::min(length, kSampleSize);
    if (CountSuspectBytes(sample, n) <= n / 100) return true;
    std::vector<uint8_t> scratch(n);
    for (int k = 0; k < 6; ++k) {
        if (previous >= 0 && k == kConversions[previous].inverse) continue;
        std::copy(sample, sample + n, scratch.begin());
        ConvertCodePage(scratch.data(), n, kConversions[k].from, kConversions[k].to);
        if (CountSuspectBytes(scratch.data(), n) <= n / 100) {
            chain.push_back(k);
            return true;
        }
        chain.push_back(k);
        if (FindRecodeChain(scratch.data(), n, depth - 1, k, chain)) return true;
        chain.pop_back();
    }
    return false;
}

// Decodes one UTF-8 sequence of up to three bytes as the recoder reads them (overlong forms
// included); four-byte sequences are decoded too. Returns the length taken, or 0.
size_t DecodeUtf8At(const unsigned char* s, char32_t& cp) {
    const unsigned char b0 = s[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    if ((b0 & 0xE0) == 0xC0 && cont(s[1])) {
        cp = static_cast<char32_t>((b0 & 0x1F) << 6 | (s[1] & 0x3F));
        return 2;
    }
    if ((b0 & 0xF0) == 0xE0 && cont(s[1]) && cont(s[2])) {
        cp = static_cast<char32_t>((b0 & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F));
        return 3;
    }
    if ((b0 & 0xF8) == 0xF0 && cont(s[1]) && cont(s[2]) && cont(s[3])) {
        cp = static_cast<char32_t>((b0 & 0x07) << 18 | (s[1] & 0x3F) << 12 | (s[2] & 0x3F) << 6 | (s[3] & 0x3F));
        return 4;
    }
    return 0;
}

const char16_t* HighHalf(TSourceEncoding encoding) {
    switch (encoding) {
        case TSourceEncoding::Koi8r:
            return kKoi8r;
        case TSourceEncoding::Cp866:
            return kCp866;
        case TSourceEncoding::Windows1252:
            return kCp1252;
        case TSourceEncoding::Latin1:
            return kLatin1;
        case TSourceEncoding::Iso88595:
            return kIso88595;
        default:
            return nullptr;
    }
}

// The Windows-1251 form of cp: its byte (kept in byte), or its fold, which may be empty (a
// zero-width character); a null view when it has neither.
std::string_view AnsiFold(char32_t cp, char& byte) {
    const int b = cp == kAnsiEscape ? -1 : UnicodeToAnsiChar(cp);
    if (b > 0) {
        byte = static_cast<char>(b);
        return {&byte, 1};
    }
    auto it = std::lower_bound(std::begin(kFolds), std::end(kFolds), cp,
                               [](const auto& fold, char32_t c) { return fold.cp < c; });
    if (it == std::end(kFolds) || it->cp != cp) return {};
    return it->ansi;
}

// Writes the folded form of cp at out when it fits in the bytes the source took; the folds
// are short, and a longer one is cut to fit so that the output never outgrows the input.
char* WriteFolded(char* out, char32_t cp, size_t room) {
    char byte;
    std::string_view folded = AnsiFold(cp, byte);
    if (!folded.data()) folded = " ";
    const size_t n = std::min(folded.size(), room);
    std::memcpy(out, folded.data(), n);
    return out + n;
}

}  // namespace

size_t CountSuspectBytes(const uint8_t* buffer, size_t length) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i)
        n += IsSuspect(buffer[i]);
    return n;
}

void ConvertCodePage(uint8_t* buffer, size_t length, TCodePageId from, TCodePageId to) {
    if (from < cpDos || from > cpKoi8 || to < cpDos || to > cpKoi8) return;
    uint8_t map[256];
    for (int i = 0; i < 256; ++i)
        map[TableByte(from, i)] = TableByte(to, i);
    map[0] = 13;
    for (size_t i = 0; i < length; ++i)
        buffer[i] = map[buffer[i]];
}

bool AutoRecode(uint8_t* buffer, size_t length, int depth) {
    std::vector<int> chain;
    if (!FindRecodeChain(buffer, length, depth, -1, chain)) return false;
    for (int k : chain)
        ConvertCodePage(buffer, length, kConversions[k].from, kConversions[k].to);
    return true;
}

bool RecodeText(uint8_t* buffer, size_t length, TCodePageId from, TCodePageId to) {
    if (!buffer) return false;
    if (from == cpAuto || to == cpAuto) return AutoRecode(buffer, length, 3);
    if (from == to) return false;
    ConvertCodePage(buffer, length, from, to);
    return true;
}

bool AppendAnsiFolded(std::string& out, char32_t cp) {
    char byte;
    const std::string_view folded = AnsiFold(cp, byte);
    out += folded;
    return folded.data() != nullptr;
}

void Utf8ToAnsiInPlace(char* cursor) {
    auto* in = reinterpret_cast<unsigned char*>(cursor);
    char* out = cursor;
    while (*in) {
        char32_t cp;
        const size_t len = DecodeUtf8At(in, cp);
        if (len == 0) {
            *out++ = '?';
            ++in;
        } else if (len == 1) {
            *out++ = static_cast<char>(*in++);
        } else {
            out = WriteFolded(out, cp, len);
            in += len;
        }
    }
    *out = '\0';
}

namespace {

// Parses "&#digits;" or "&#xhex;" at s; returns its length and the value, or 0.
size_t ParseNumericReference(const char* s, char32_t& value) {
    if (s[0] != '&' || s[1] != '#') return 0;
    const bool hex = s[2] == 'x' || s[2] == 'X';
    size_t i = hex ? 3 : 2, digits = 0;
    uint32_t v = 0;
    for (;; ++i, ++digits) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (digits >= 7) return 0;
        v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    if (digits == 0 || s[i] != ';' || v == 0 || v > 0x10FFFF) return 0;
    value = v;
    return i + 1;
}

}  // namespace

void DecodeNumericEntitiesInPlace(char* cursor) {
    const char* in = cursor;
    char* out = cursor;
    while (*in) {
        char32_t cp;
        if (*in == '&') {
            if (const size_t len = ParseNumericReference(in, cp)) {
                char byte;
                const std::string_view folded = cp >= 0x80 ? AnsiFold(cp, byte) : std::string_view();
                // Only characters beyond ASCII are decoded here: a reference to "<" or "&" must not
                // turn into markup. The text values decode the rest. The folded form is never
                // longer than the reference, so the output stays within the input.
                if (folded.data() && folded.size() <= len) {
                    std::memcpy(out, folded.data(), folded.size());
                    out += folded.size();
                    in += len;
                    continue;
                }
            }
        }
        *out++ = *in++;
    }
    *out = '\0';
}

std::string DecodeXmlEntities(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    static const std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    const std::string terminated(text);
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            bool done = false;
            for (const auto& [name, ch] : kNamed) {
                if (text.substr(i, name.size()) == name) {
                    out += ch;
                    i += name.size();
                    done = true;
                    break;
                }
            }
            if (done) continue;
            char32_t cp;
            if (const size_t len = ParseNumericReference(terminated.c_str() + i, cp)) {
                if (AppendAnsiFolded(out, cp)) {
                    i += len;
                    continue;
                }
            }
        }
        out += text[i++];
    }
    return out;
}

TSourceEncoding EncodingByName(std::string_view name) {
    const std::string n = AnsiLowerCase(TrimBlanks(name));
    if (n == "windows-1251" || n == "cp1251" || n == "x-cp1251" || n == "win-1251") return TSourceEncoding::Windows1251;
    if (n == "utf-8" || n == "utf8") return TSourceEncoding::Utf8;
    if (n == "koi8-r" || n == "koi8r" || n == "koi8") return TSourceEncoding::Koi8r;
    if (n == "cp866" || n == "ibm866" || n == "866" || n == "dos-866") return TSourceEncoding::Cp866;
    if (n == "windows-1252" || n == "cp1252") return TSourceEncoding::Windows1252;
    if (n == "iso-8859-1" || n == "latin1" || n == "iso8859-1" || n == "us-ascii" || n == "ascii")
        return TSourceEncoding::Latin1;
    if (n == "iso-8859-5" || n == "iso8859-5") return TSourceEncoding::Iso88595;
    if (n == "utf-16" || n == "utf-16le") return TSourceEncoding::Utf16Le;
    if (n == "utf-16be") return TSourceEncoding::Utf16Be;
    return TSourceEncoding::Unknown;
}

void SingleByteToAnsiInPlace(char* cursor, TSourceEncoding encoding) {
    const char16_t* high = HighHalf(encoding);
    if (!high) return;
    auto* in = reinterpret_cast<unsigned char*>(cursor);
    char* out = cursor;
    for (; *in; ++in) {
        if (*in < 0x80) {
            *out++ = static_cast<char>(*in);
            continue;
        }
        out = WriteFolded(out, high[*in - 0x80], 1);
    }
    *out = '\0';
}

std::string Utf16ToUtf8(const uint8_t* data, size_t size, bool bigEndian) {
    std::string out;
    out.reserve(size);
    auto unit = [&](size_t i) -> char32_t {
        return bigEndian ? static_cast<char32_t>(data[i] << 8 | data[i + 1])
                         : static_cast<char32_t>(data[i] | data[i + 1] << 8);
    };
    for (size_t i = 0; i + 1 < size; i += 2) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < size) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (cp == 0) break;
        AppendUtf8(out, cp);
    }
    return out;
}

namespace {

const std::array<char, 256>& SkeletonTable() {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t{};
        t.fill(' ');
        t[0] = 0;
        for (int c = '0'; c <= '9'; ++c)
            t[static_cast<size_t>(c)] = static_cast<char>(c);
        for (int c = 'a'; c <= 'z'; ++c) {
            char v = static_cast<char>(c);
            if (std::strchr("aeiouyj", c)) v = 'a';
            if (c == 's') v = 'c';
            t[static_cast<size_t>(c)] = v;
            t[static_cast<size_t>(c - 32)] = v;
        }
        // А Б В Г Д Е Ж З И Й К Л М Н О П Р С Т У Ф Х Ц Ч Ш Щ Ъ Ы Ь Э Ю Я
        const char* russian = "abvgdagzaaklmnaprstafhcccc a aaa";
        for (int i = 0; i < 32; ++i) {
            t[static_cast<size_t>(0xC0 + i)] = russian[i];
            t[static_cast<size_t>(0xE0 + i)] = russian[i];
        }
        t[0xA8] = t[0xB8] = 'a';
        return t;
    }();
    return table;
}

}  // namespace

void MatchSkeleton(char* text) {
    const auto& table = SkeletonTable();
    for (; *text; ++text)
        *text = table[static_cast<unsigned char>(*text)];
}

std::string MatchKey(std::string_view text) {
    std::string key(text);
    const auto& table = SkeletonTable();
    for (char& c : key)
        c = table[static_cast<unsigned char>(c)];
    key.push_back('\0');
    return key;
}
