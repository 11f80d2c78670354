#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Cyrillic code pages and the decoding of foreign text into the engine's Windows-1251.

enum TCodePageId : uint8_t { cpAuto = 0, cpDos = 1, cpWindows = 2, cpKoi8 = 3 };

// Converts text in place between DOS (CP866), Windows and KOI8 code pages; with cpAuto on
// either side the code page is detected (AutoRecode, depth 3). False when nothing was done.
bool RecodeText(uint8_t* buffer, size_t length, TCodePageId from, TCodePageId to);
// Finds a chain of up to depth conversions after which the text looks like Windows-1251
// Russian (at most 1 % rarely used bytes) and applies it. False when none was found.
bool AutoRecode(uint8_t* buffer, size_t length, int depth);
// Byte map between two of cpDos, cpWindows, cpKoi8; a zero byte becomes a carriage return.
void ConvertCodePage(uint8_t* buffer, size_t length, TCodePageId from, TCodePageId to);
// Number of bytes seldom used in Russian Windows-1251 text.
size_t CountSuspectBytes(const uint8_t* buffer, size_t length);

// Appends the Windows-1251 form of a code point: its own byte, else a fold (é -> e,
// ß -> ss, ‐ -> -, zero-width marks -> nothing). False, with nothing appended, when there is no
// sensible fold.
bool AppendAnsiFolded(std::string& out, char32_t cp);

// Decodes UTF-8 in place from cursor to the terminating zero and terminates the result.
// Characters without a Windows-1251 form or fold become a space; bytes that are not UTF-8
// become "?". The output is never longer than the input.
void Utf8ToAnsiInPlace(char* cursor);
// Decodes numeric character references (&#1105; &#x451;) in place: those of non-ASCII characters
// that Windows-1251 has or folds; others (and ASCII, which could be markup) are kept as written.
void DecodeNumericEntitiesInPlace(char* cursor);
// The five predefined XML entities and numeric references of a text value.
std::string DecodeXmlEntities(std::string_view text);

// Single-byte encodings an FB2 file may declare, converted to Windows-1251 (with folds).
enum class TSourceEncoding {
    Windows1251,
    Utf8,
    Koi8r,
    Cp866,
    Windows1252,
    Latin1,
    Iso88595,
    Utf16Le,
    Utf16Be,
    Unknown
};
// The encoding of a declaration's encoding name (any letter case, common aliases).
TSourceEncoding EncodingByName(std::string_view name);
// Converts a zero-terminated single-byte text in place (never longer) from cursor on.
void SingleByteToAnsiInPlace(char* cursor, TSourceEncoding encoding);
// UTF-16 text (of either byte order, no byte-order mark) as UTF-8.
std::string Utf16ToUtf8(const uint8_t* data, size_t size, bool bigEndian);

// The comparison skeleton: a byte per byte value that merges letters which sound or look alike.
void MatchSkeleton(char* text);
std::string MatchKey(std::string_view text);
