#include "cli/Json.h"

#include <cstdio>

#include "common/Encoding.h"

std::string JsonQuote(std::string_view utf8) {
    std::string out = "\"";
    for (size_t at = 0; at < utf8.size(); ++at) {
        const char ch = utf8[at];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // JSON is UTF-8: a file name that is not comes out with the replacement character.
            const size_t length = Utf8SequenceLength(utf8.substr(at));
            if (length == 0) {
                out += "\xEF\xBF\xBD";
            } else {
                out.append(utf8, at, length);
                at += length - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

void JsonWriter::Separate() {
    if (needComma_) text_ += ',';
    needComma_ = false;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    text_ += '{';
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    text_ += '}';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    text_ += '[';
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    text_ += ']';
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    Separate();
    text_ += JsonQuote(key);
    text_ += ':';
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8) {
    Separate();
    text_ += JsonQuote(utf8);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
    Separate();
    text_ += std::to_string(value);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    text_ += "null";
    needComma_ = true;
    return *this;
}
