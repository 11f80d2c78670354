#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Conversion between the engine's Windows-1251 text and UTF-8, used only at the edges
// (file system, terminal, GUI).
//
// The conversion is reversible for every byte string, so a file name read from disk, kept in
// the catalogue and written back names the same file. Windows-1251 has one unassigned byte,
// 0x98, which serves as an escape:
//   - a character that Windows-1251 lacks (é, ł, CJK, and U+0098 itself) becomes
//     0x98 'u' <upper-case hex code point, no leading zeros> ';'   (é -> "\x98uE9;")
//   - a byte that is not part of valid UTF-8 (Linux names are arbitrary bytes) becomes
//     0x98 'x' <two upper-case hex digits> ';'                     (0xFF -> "\x98xFF;")
// Every other character maps to its Windows-1251 byte (0x88 is the euro sign).
// AnsiToUtf8 undoes exactly these escapes; a 0x98 that starts no well-formed escape
// (text that never came from UTF-8) becomes U+FFFD.

inline constexpr unsigned char kAnsiEscape = 0x98;

// Unicode code point of a Windows-1251 byte; 0 for the unassigned 0x98.
char32_t AnsiCharToUnicode(unsigned char c);

// Windows-1251 byte of a code point, or -1 when the code page lacks it.
int UnicodeToAnsiChar(char32_t cp);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 (or arbitrary bytes) to engine text, reversibly as described above.
std::string Utf8ToAnsi(std::string_view utf8);

// Engine text to UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

// A native path for an engine-text path, and the reverse.
std::filesystem::path AnsiToPath(std::string_view ansi);
std::string PathToAnsi(const std::filesystem::path& path);

// Length of the well-formed UTF-8 sequence of a non-ASCII character at the start of text, 0
// when there is none (a stray or overlong byte, a surrogate, a sequence cut short).
size_t Utf8SequenceLength(std::string_view text);
bool IsValidUtf8(std::string_view text);
