#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/MessageIds.h"

// One entry of the message table: current text (Windows-1251) and its fixed key.
struct TLangRec {
    std::string Text;
    std::string Key;
};

inline constexpr int kFirstInterfaceId = 1001;
inline constexpr int kLastInterfaceId = 1381;
inline constexpr int kFirstErrorId = 10000;
inline constexpr int kLastErrorId = 10041;

// True for ids 1001..1305 and 10000..10027.
bool IsMessageId(int id);

// Current text of id n (Windows-1251); an unknown id gives an empty text.
const std::string& MessageText(int id);
// Fills a format text from the message table: each "%s" takes the next argument in order (an
// empty text when they run out); every other "%" stays as it is. Texts are engine text.
std::string FormatMessageText(const std::string& format, const std::vector<std::string>& args);

// A count with its noun from a text of plural forms separated by "|", each with a "%s" for the
// number: three forms take the Russian rule (1, 2-4, 5 and more: "книга|книги|книг"), two the
// English one ("book|books").
std::string CountMessage(int id, int64_t count);

// Fixed key of id n (for example "rsOk"); empty for an unknown id.
const std::string& MessageKey(int id);

// Replaces the current text of id n; unknown ids are ignored. Called from the GUI thread only.
void SetMessageText(int id, const std::string& text);

// Id of the entry whose key equals the given one without regard to case: the interface
// table first, then the error table; 0 when none.
int FindMessageByKey(const std::string& key);

// Puts the built-in default texts back into every entry.
void ResetMessageTexts();

// Interface ids whose default text is still a placeholder ("[key]").
std::vector<int> MessageIdsWithoutDefault();
