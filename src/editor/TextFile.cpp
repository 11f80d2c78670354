#include "editor/TextFile.h"

#include <algorithm>
#include <string_view>

#include "common/Encoding.h"
#include "fb2/Recoder.h"

namespace {

constexpr uint8_t kBom[] = {0xEF, 0xBB, 0xBF};

std::string Converted(const std::vector<uint8_t>& bytes, TCodePageId from) {
    std::vector<uint8_t> copy = bytes;
    if (from != cpWindows && !copy.empty()) ConvertCodePage(copy.data(), copy.size(), from, cpWindows);
    return {copy.begin(), copy.end()};
}

// How unlike Russian a reading of the bytes is: bytes seldom used, and capitals beyond the
// small letters (KOI8-R read as Windows-1251 swaps the two, and both look like letters).
size_t Unlikeness(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t capitals = 0, smalls = 0;
    for (const uint8_t b : text) {
        capitals += b >= 0xC0 && b <= 0xDF;
        smalls += b >= 0xE0;
    }
    return CountSuspectBytes(bytes, text.size()) + (capitals > smalls ? capitals - smalls : 0);
}

}  // namespace

TDecodedText DecodeTextFile(const std::vector<uint8_t>& bytes) {
    TDecodedText result;
    const bool bom = bytes.size() >= 3 && std::equal(std::begin(kBom), std::end(kBom), bytes.begin());
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool beyondAscii = std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
    if (bom || (beyondAscii && IsValidUtf8(raw))) {
        result.Encoding = TTextEncoding::Utf8;
        result.Bom = bom;
        result.Text = Utf8ToAnsi(raw.substr(bom ? 3 : 0));
    } else if (beyondAscii) {
        // The reading that looks most like Russian; Windows-1251 on a tie.
        struct TCandidate {
            TTextEncoding Encoding;
            TCodePageId Page;
        };
        size_t best = SIZE_MAX;
        for (const TCandidate c : {TCandidate{TTextEncoding::Windows1251, cpWindows},
                                   TCandidate{TTextEncoding::Koi8, cpKoi8}, TCandidate{TTextEncoding::Dos, cpDos}}) {
            std::string text = Converted(bytes, c.Page);
            const size_t suspect = Unlikeness(text);
            if (suspect < best) {
                best = suspect;
                result.Encoding = c.Encoding;
                result.Text = std::move(text);
            }
        }
    } else {
        result.Text.assign(raw);
    }
    result.Lossless = EncodeTextFile(result.Text, result.Encoding, result.Bom) == bytes;
    return result;
}

std::vector<uint8_t> EncodeTextFile(const std::string& text, TTextEncoding encoding, bool bom) {
    std::vector<uint8_t> out;
    switch (encoding) {
        case TTextEncoding::Utf8: {
            if (bom) out.assign(std::begin(kBom), std::end(kBom));
            const std::string utf8 = AnsiToUtf8(text);
            out.insert(out.end(), utf8.begin(), utf8.end());
            return out;
        }
        case TTextEncoding::Koi8:
        case TTextEncoding::Dos:
            out.assign(text.begin(), text.end());
            if (!out.empty())
                ConvertCodePage(out.data(), out.size(), cpWindows, encoding == TTextEncoding::Koi8 ? cpKoi8 : cpDos);
            return out;
        case TTextEncoding::Windows1251:
            break;
    }
    out.assign(text.begin(), text.end());
    return out;
}

const char* EncodingName(TTextEncoding encoding) {
    switch (encoding) {
        case TTextEncoding::Utf8:
            return "UTF-8";
        case TTextEncoding::Koi8:
            return "KOI8-R";
        case TTextEncoding::Dos:
            return "CP866";
        case TTextEncoding::Windows1251:
            break;
    }
    return "Windows-1251";
}
