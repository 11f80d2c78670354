#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The encodings a text file is read in and written back in.
enum class TTextEncoding { Windows1251, Utf8, Koi8, Dos };

// A text file's bytes as engine text, with what is needed to write it back as it was.
struct TDecodedText {
    std::string Text;
    TTextEncoding Encoding = TTextEncoding::Windows1251;
    bool Bom = false;  // a UTF-8 byte-order mark to write again
    // Writing the text back gives the same bytes; false when the file holds characters that
    // Windows-1251 lacks (they were folded or replaced) and saving would change them.
    bool Lossless = true;
};

// Decodes a text file: UTF-8 when the bytes are valid UTF-8 with letters beyond ASCII (or begin
// with its mark), else the single-byte code page whose reading looks most like Russian.
TDecodedText DecodeTextFile(const std::vector<uint8_t>& bytes);
// The bytes of engine text in an encoding.
std::vector<uint8_t> EncodeTextFile(const std::string& text, TTextEncoding encoding, bool bom);
// "UTF-8", "Windows-1251", "KOI8-R", "CP866".
const char* EncodingName(TTextEncoding encoding);
