#include "fb2/XMLPars.h"

#include <algorithm>

#include <cstring>

#include "common/Error.h"
#include "common/ScopeExit.h"
#include "common/TextUtils.h"
#include "fb2/MyStream.h"
#include "fb2/Recoder.h"

namespace {

// The error of the parse running on this thread: the first failure is kept with its place.
struct TParseState {
    const char* Start = nullptr;
    TXMLError* Error = nullptr;
};
thread_local TParseState tParse;

// Records the first failure of the running parse at cursor; returns false for the caller to pass on.
bool Failed(const char* cursor, const std::string& what) {
    TXMLError* error = tParse.Error;
    if (!error || error->Set || !tParse.Start || !cursor) return false;
    error->Set = true;
    error->What = what;
    error->Offset = static_cast<size_t>(cursor - tParse.Start);
    error->Line = 1 + static_cast<int>(std::count(tParse.Start, cursor, '\n'));
    return false;
}

enum TagKind { kNoTag = 0, kStylesheet = 1, kDeclaration = 2, kDoctype = 3, kComment = 4, kElement = 5 };

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void SkipSpaces(char*& cursor) {
    while (IsSpace(*cursor))
        ++cursor;
}

bool StartsWith(const char* cursor, const char* prefix) {
    return std::strncmp(cursor, prefix, std::strlen(prefix)) == 0;
}

TagKind TagKindAt(char*& cursor) {
    static const std::pair<const char*, TagKind> kTags[] = {
        {"<?xml-stylesheet", kStylesheet},
        {"<?xml", kDeclaration},
        {"<!DOCTYPE", kDoctype},
        {"<!--", kComment},
        {"<", kElement},
    };
    if (*cursor != '<') return kNoTag;
    for (const auto& [prefix, kind] : kTags) {
        if (StartsWith(cursor, prefix)) {
            cursor += std::strlen(prefix);
            return kind;
        }
    }
    return kNoTag;
}

bool IsNameChar(unsigned char c) {
    return c == '-' || c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z') || c == 0xA8 || c == 0xB8 || c >= 0xC0;
}

bool ReadName(char*& cursor, std::string& name) {
    SkipSpaces(cursor);
    const char* start = cursor;
    while (IsNameChar(static_cast<unsigned char>(*cursor)))
        ++cursor;
    if (*cursor == ':') {
        ++cursor;
        while (IsNameChar(static_cast<unsigned char>(*cursor)))
            ++cursor;
    }
    if (cursor == start) return false;
    name.assign(start, static_cast<size_t>(cursor - start));
    return true;
}

bool ReadQuoted(char*& cursor, std::string& value) {
    SkipSpaces(cursor);
    const char quote = *cursor;
    if (quote != '"' && quote != '\'') return false;
    const char* start = ++cursor;
    for (;; ++cursor) {
        const auto c = static_cast<unsigned char>(*cursor);
        if (c == static_cast<unsigned char>(quote)) break;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == '<') return false;
    }
    value.assign(start, static_cast<size_t>(cursor - start));
    ++cursor;
    return true;
}

bool ReadAttribute(char*& cursor, TAttribute& attribute) {
    char* start = cursor;
    SkipSpaces(cursor);
    if (ReadName(cursor, attribute.Name)) {
        SkipSpaces(cursor);
        if (*cursor == '=') {
            ++cursor;
            if (ReadQuoted(cursor, attribute.Value)) return true;
        }
    }
    cursor = start;
    return false;
}

bool ReadUntil(char*& cursor, const char* terminator, std::string& text) {
    const char* found = std::strstr(cursor, terminator);
    if (!found) return false;
    text.assign(cursor, static_cast<size_t>(found - cursor));
    cursor = const_cast<char*>(found) + std::strlen(terminator);
    return true;
}

// Strict UTF-8 with at least one byte above 0x7F: a file that declares no encoding is UTF-8
// when it reads as such (the XML default), otherwise Windows-1251.
bool LooksLikeUtf8(const char* text) {
    bool high = false;
    for (auto* s = reinterpret_cast<const unsigned char*>(text); *s;) {
        if (*s < 0x80) {
            ++s;
            continue;
        }
        high = true;
        size_t len = (*s & 0xE0) == 0xC0 ? 2 : (*s & 0xF0) == 0xE0 ? 3 : (*s & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || (len == 2 && *s < 0xC2)) return false;
        for (size_t k = 1; k < len; ++k)
            if ((s[k] & 0xC0) != 0x80) return false;
        s += len;
    }
    return high;
}

std::string QuotedValue(const std::string& value) {
    const char quote = value.find('"') == std::string::npos ? '"' : '\'';
    return quote + value + quote;
}

}  // namespace

bool TBodyElement::Parse(char*& cursor, int) {
    const char* start = cursor;
    while (*cursor && *cursor != '<')
        ++cursor;
    if (!*cursor) return false;
    Text.assign(start, static_cast<size_t>(cursor - start));
    return true;
}

bool TNoteElement::Parse(char*& cursor, int) {
    if (!*cursor) return false;
    return ReadUntil(cursor, "-->", Text);
}

std::string TXMLDoctype::AsText() const {
    RaiseFixedError("DOCTYPE declarations are not supported");
}

bool TXMLDoctype::Parse(char*&, int) {
    RaiseFixedError("DOCTYPE declarations are not supported");
}

std::string TAttrOnlyElement::AttributesText() const {
    std::string text;
    for (const TAttribute& a : Attributes) {
        if (!text.empty()) text += ' ';
        text += a.Name + "=" + QuotedValue(a.Value);
    }
    return text;
}

void TAttrOnlyElement::ReadAttributes(char*& cursor) {
    SkipSpaces(cursor);
    TAttribute attribute;
    while (ReadAttribute(cursor, attribute)) {
        Attributes.push_back(std::move(attribute));
        attribute = {};
        SkipSpaces(cursor);
    }
}

bool TXMLStylesheet::Parse(char*& cursor, int) {
    ReadAttributes(cursor);
    if (!StartsWith(cursor, "?>")) return false;
    cursor += 2;
    return true;
}

std::string TXMLElement::AsText() const {
    std::string text = "<" + Name;
    if (!Attributes.empty()) text += " " + AttributesText();
    if (Children.empty()) return text + "/>";
    text += ">";
    for (const auto& child : Children)
        text += child->AsText();
    return text + "</" + Name + ">";
}

bool TXMLElement::Parse(char*& cursor, int depth) {
    const char* tagStart = cursor - 1;  // its "<"
    if (depth > kMaxXmlDepth) return Failed(cursor, "elements nested deeper than " + std::to_string(kMaxXmlDepth));
    if (!ReadName(cursor, Name)) return Failed(cursor, "a tag without a name");
    ReadAttributes(cursor);
    if (*cursor == '/') {
        if (cursor[1] != '>') return Failed(cursor, "malformed empty tag <" + Name + "/");
        cursor += 2;
        return true;
    }
    if (*cursor != '>') return Failed(cursor, "malformed start tag <" + Name + ">");
    ++cursor;
    bool result = true;
    const char* stray = nullptr;
    std::string strayText;
    // An element cut off: a stray end tag inside it is the likelier typo, and came first.
    const auto unclosed = [&] {
        return stray ? Failed(stray, strayText) : Failed(tagStart, "unclosed <" + Name + ">");
    };
    while (*cursor) {
        char* remembered = cursor;
        SkipSpaces(cursor);
        if (!*cursor) break;  // cut off after whitespace: the element closes implicitly
        if (*cursor != '<') {
            cursor = remembered;
            auto text = std::make_unique<TBodyElement>(this);
            if (!text->Parse(cursor, depth + 1)) return unclosed();
            if (!text->Text.empty()) Children.push_back(std::move(text));
            continue;
        }
        if (cursor[1] == '/') {
            char* endTag = cursor;
            cursor += 2;
            std::string endName;
            if (!ReadName(cursor, endName)) return Failed(endTag, "malformed end tag");
            if (endName == Name) {
                SkipSpaces(cursor);
                if (*cursor != '>') return Failed(endTag, "malformed end tag </" + Name + ">");
                ++cursor;
                return true;
            }
            // A stray end tag: what follows it is read as text, and the element succeeds only
            // when its own end tag comes later (the error counts only then).
            if (result) {
                result = false;
                stray = endTag;
                strayText = "</" + endName + "> where </" + Name + "> was expected";
            }
            continue;
        }
        char* tag = cursor;
        const TagKind kind = TagKindAt(cursor);
        std::unique_ptr<TAbstractElement> child;
        if (kind == kComment)
            child = std::make_unique<TNoteElement>(this);
        else if (kind == kElement)
            child = std::make_unique<TXMLElement>(this);
        else
            return Failed(tag, "unexpected markup inside <" + Name + ">");
        const bool parsed = child->Parse(cursor, depth + 1);
        Children.push_back(std::move(child));
        if (!parsed) return unclosed();
    }
    return result || Failed(stray, strayText);
}

void TXMLDocument::Clear() {
    Text.clear();
    Error = {};
    Stripped = false;
    Version = 0;
    Encoding = "windows-1251";
    Standalone = false;
    Prolog.clear();
    Root.reset();
    Epilog.clear();
}

namespace {

// Converts the rest of the buffer (from cursor on) into Windows-1251 by the declared encoding;
// numeric character references are decoded whatever the encoding.
void ConvertRest(char* cursor, const std::string* declared, bool sourceIsUtf8) {
    TSourceEncoding encoding = TSourceEncoding::Windows1251;
    if (sourceIsUtf8)
        encoding = TSourceEncoding::Utf8;
    else if (declared)
        encoding = EncodingByName(*declared);
    else if (LooksLikeUtf8(cursor))
        encoding = TSourceEncoding::Utf8;
    if (encoding == TSourceEncoding::Utf8 || encoding == TSourceEncoding::Utf16Le ||
        encoding == TSourceEncoding::Utf16Be)
        Utf8ToAnsiInPlace(cursor);
    else
        SingleByteToAnsiInPlace(cursor, encoding);
    DecodeNumericEntitiesInPlace(cursor);
}

bool ParseMisc(std::vector<std::unique_ptr<TAbstractElement>>& list, TAbstractElement* owner, char*& cursor) {
    for (;;) {
        char* start = cursor;
        const TagKind kind = TagKindAt(cursor);
        std::unique_ptr<TAbstractElement> node;
        if (kind == kStylesheet)
            node = std::make_unique<TXMLStylesheet>(owner);
        else if (kind == kDoctype)
            node = std::make_unique<TXMLDoctype>(owner);
        else if (kind == kComment)
            node = std::make_unique<TNoteElement>(owner);
        else {
            cursor = start;
            return true;
        }
        const bool parsed = node->Parse(cursor, 0);
        list.push_back(std::move(node));
        if (!parsed) return false;
        SkipSpaces(cursor);
    }
}

}  // namespace

bool TXMLDocument::Parse(char*& cursor, int) {
    const bool sourceIsUtf8 = sourceIsUtf8_;
    Clear();
    // Failures below record themselves in Error, the first one with its place.
    const TParseState outer = tParse;
    tParse = {cursor, &Error};
    ScopeExit restore([outer] { tParse = outer; });
    // A UTF-8 byte-order mark or blanks before the declaration do not make a file unreadable.
    if (StartsWith(cursor, "\xEF\xBB\xBF")) cursor += 3;
    SkipSpaces(cursor);
    char* start = cursor;
    if (TagKindAt(cursor) == kDeclaration) {
        TAttribute attribute;
        if (!ReadAttribute(cursor, attribute) || attribute.Name != "version" || attribute.Value != "1.0")
            return Failed(cursor, "the XML declaration lacks version=\"1.0\"");
        Version = 0x0100;
        bool haveEncoding = false;
        if (ReadAttribute(cursor, attribute)) {
            if (attribute.Name == "standalone") {
                if (attribute.Value != "no" && attribute.Value != "yes") return Failed(cursor, "bad standalone value");
                Standalone = attribute.Value == "yes";
            } else if (attribute.Name == "encoding") {
                Encoding = attribute.Value;
                haveEncoding = true;
                ConvertRest(cursor, &Encoding, sourceIsUtf8);
                if (ReadAttribute(cursor, attribute)) {
                    if (attribute.Name != "standalone" || (attribute.Value != "no" && attribute.Value != "yes"))
                        return Failed(cursor, "bad attribute in the XML declaration");
                    Standalone = attribute.Value == "yes";
                }
            }
        }
        if (!haveEncoding) ConvertRest(cursor, nullptr, sourceIsUtf8);
        SkipSpaces(cursor);
        if (!StartsWith(cursor, "?>")) return Failed(cursor, "the XML declaration is not closed by ?>");
        cursor += 2;
    } else {
        // No declaration: read as XML without an encoding attribute.
        cursor = start;
        ConvertRest(cursor, nullptr, sourceIsUtf8);
    }
    SkipSpaces(cursor);
    if (!ParseMisc(Prolog, this, cursor)) return Failed(cursor, "damaged markup before the root element");
    SkipSpaces(cursor);
    char* rootStart = cursor;
    if (TagKindAt(cursor) != kElement) return Failed(rootStart, "no root element");
    Root = std::make_unique<TXMLElement>(this);
    if (!Root->Parse(cursor, 1)) return Failed(cursor, "damaged root element");
    SkipSpaces(cursor);
    if (!ParseMisc(Epilog, this, cursor)) return Failed(cursor, "damaged markup after the root element");
    SkipSpaces(cursor);
    return *cursor == '\0' || Failed(cursor, "text after the root element");
}

bool TXMLDocument::LoadFromStream(TMyMemStream& stream, int keepParts) {
    return LoadFromBytes(stream.Memory(), static_cast<size_t>(stream.Size()), keepParts);
}

bool IsUtf16Xml(const uint8_t* data, size_t size, bool* bigEndian) {
    const bool le = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == '<' && data[1] == 0));
    const bool be = size >= 2 && ((data[0] == 0xFE && data[1] == 0xFF) || (data[0] == 0 && data[1] == '<'));
    if (bigEndian) *bigEndian = be;
    return le || be;
}

size_t DescriptionEnd(const uint8_t* data, size_t size, size_t& from) {
    static constexpr std::string_view kEnd = "</description";
    if (!data || from >= size) return 0;
    const void* mark = ::memmem(data + from, size - from, kEnd.data(), kEnd.size());
    if (!mark) {
        // A mark cut by the end of the text is found from here once the rest has come.
        from = size > kEnd.size() ? size - kEnd.size() : 0;
        return 0;
    }
    const auto* at = static_cast<const uint8_t*>(mark);
    from = static_cast<size_t>(at - data);
    const void* close = std::memchr(at, '>', size - from);
    return close ? static_cast<size_t>(static_cast<const uint8_t*>(close) - data) + 1 : 0;
}

bool TXMLDocument::LoadFromBytes(const uint8_t* data, size_t size, int keepParts) {
    std::string buffer;
    sourceIsUtf8_ = false;
    bool be = false;
    if (IsUtf16Xml(data, size, &be)) {
        const size_t skip = (data[0] == 0xFF || data[0] == 0xFE) ? 2 : 0;
        buffer = Utf16ToUtf8(data + skip, size - skip, be);
        sourceIsUtf8_ = true;
    } else {
        size_t length = size;
        if (!(keepParts & (kKeepBody | kKeepBinaries)) && (keepParts & kKeepDescription)) {
            // Only the description is wanted: nothing after it is read, so a book damaged or cut
            // off in its body or pictures still gives its description, and a large book is quick.
            size_t from = 0;
            if (const size_t end = DescriptionEnd(data, size, from)) length = end;
        }
        if (data) buffer.assign(reinterpret_cast<const char*>(data), length);
    }
    // The buffer is parsed as a zero-terminated text: a zero inside it ends the text there.
    buffer.resize(std::strlen(buffer.c_str()));
    bool stripped = false;
    if (!(keepParts & kKeepBinaries)) stripped |= StripElements(buffer.data(), "binary");
    if (!(keepParts & kKeepBody)) stripped |= StripElements(buffer.data(), "body");
    if (!(keepParts & kKeepDescription)) stripped |= StripElements(buffer.data(), "description");
    char* cursor = buffer.data();
    const bool parsed = Parse(cursor, 0);
    Stripped = stripped;
    return parsed;
}

bool StripElements(char* buffer, const std::string& name) {
    bool removed = false;
    const std::string open = "<" + name, close = "</" + name;
    char* read = buffer;
    char* write = buffer;
    auto keepRest = [&] {
        const size_t n = std::strlen(read);
        std::memmove(write, read, n + 1);
    };
    for (;;) {
        char* start = std::strstr(read, open.c_str());
        if (!start) break;
        const size_t kept = static_cast<size_t>(start - read);
        std::memmove(write, read, kept);
        write += kept;
        read = start;
        char* tagEnd = std::strchr(start + open.size(), '>');
        if (!tagEnd) break;
        char* end;
        if (tagEnd[-1] == '/') {
            end = tagEnd + 1;
        } else {
            char* closing = std::strstr(tagEnd + 1, close.c_str());
            char* closeEnd = closing ? std::strchr(closing + close.size(), '>') : nullptr;
            if (!closeEnd) break;
            end = closeEnd + 1;
        }
        read = end;
        removed = true;
    }
    keepRest();
    return removed;
}
