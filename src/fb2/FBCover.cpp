#include "fb2/FBCover.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/TextUtils.h"
#include "fb2/Base64.h"
#include "fb2/MyStream.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsLooseNameChar(unsigned char c) {
    return c == '#' || c == '-' || c == '.' || c == ':' || c == '_' || (c >= '0' && c <= '9') ||
           (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 0xA8 || c == 0xB8 || c >= 0xC0;
}

bool ReadLooseAttribute(const char*& cursor, std::string& name, std::string& value) {
    const char* s = cursor;
    while (IsSpace(*s))
        ++s;
    const char* start = s;
    while (IsLooseNameChar(static_cast<unsigned char>(*s)))
        ++s;
    if (s == start) return false;
    name.assign(start, static_cast<size_t>(s - start));
    while (IsSpace(*s))
        ++s;
    if (*s != '=') return false;
    ++s;
    while (IsSpace(*s))
        ++s;
    const char quote = *s;
    if (quote != '"' && quote != '\'') return false;
    const char* valueStart = ++s;
    while (*s && *s != quote && *s != '<' && *s != '>')
        ++s;
    if (*s != quote) return false;
    value.assign(valueStart, static_cast<size_t>(s - valueStart));
    cursor = s + 1;
    return true;
}

// The reference of the first coverpage image whose first attribute is a link.
bool FindCoverReference(const char* text, std::string& reference) {
    for (const char* p = std::strstr(text, "<coverpage>"); p; p = std::strstr(p, "<coverpage>")) {
        const char* s = std::strchr(p + 11, '<');
        if (!s) return false;
        p = s;
        if (std::strncmp(s, "<image", 6) != 0) continue;
        s += 6;
        std::string name, value;
        if (!ReadLooseAttribute(s, name, value)) continue;
        if (AnsiLowerCase(name).find("href") == std::string::npos) continue;
        reference = !value.empty() && value[0] == '#' ? value.substr(1) : value;
        return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<TBitmap> GetCover(TMyMemStream& stream) {
    std::vector<uint8_t> bytes;
    TPictureFormat format = TPictureFormat::None;
    if (!GetCoverBytes(stream, bytes, format)) return nullptr;
    return DecodePicture(format, bytes.data(), bytes.size());
}

bool GetCoverBytes(TMyMemStream& stream, std::vector<uint8_t>& bytes, TPictureFormat& format) {
    const auto* text = reinterpret_cast<const char*>(stream.Memory());
    if (!text || stream.Size() <= 0) return false;
    std::string reference;
    if (!FindCoverReference(text, reference)) return false;
    const std::string wanted = AnsiLowerCase(reference);
    for (const char* p = std::strstr(text, "<binary"); p; p = std::strstr(p, "<binary")) {
        const char* s = p + 7;
        p = s;
        std::string name, value, id, contentType;
        bool haveId = false;
        while (ReadLooseAttribute(s, name, value)) {
            const std::string lower = AnsiLowerCase(name);
            if (lower == "id") id = value, haveId = true;
            if (lower == "content-type") contentType = value;
        }
        if (!haveId || AnsiLowerCase(id) != wanted) continue;
        const char* close = std::strchr(s, '>');
        if (!close) return false;
        const char* data = close + 1;
        while (IsSpace(*data))
            ++data;
        const char* end = data;
        while (*end && *end != '<' && *end != '>')
            ++end;
        if (end == data || std::strncmp(end, "</binary>", 9) != 0) return false;
        if (!Base64Decode(std::string_view(data, static_cast<size_t>(end - data)), bytes)) return false;
        format = SniffPictureFormat(bytes.data(), bytes.size());
        if (format == TPictureFormat::None) format = FormatOfContentType(AnsiLowerCase(contentType));
        return format != TPictureFormat::None;
    }
    return false;
}
