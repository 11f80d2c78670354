#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Builds compact JSON text. Strings are given as UTF-8.
class JsonWriter final {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view utf8);
    JsonWriter& Number(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return text_; }

private:
    void Separate();

    std::string text_;
    bool needComma_ = false;
};

// A JSON string literal (with quotes) for UTF-8 text.
std::string JsonQuote(std::string_view utf8);
