#pragma once

#include <QString>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/MessageTable.h"

// Engine text (Windows-1251) crosses into Qt here and nowhere else.
inline QString ToQ(const std::string& ansi) {
    return QString::fromStdString(AnsiToUtf8(ansi));
}

inline std::string FromQ(const QString& text) {
    return Utf8ToAnsi(text.toStdString());
}

// The current text of a message id.
inline QString Msg(int id) {
    return ToQ(MessageText(id));
}

// A message with each %s filled in turn by the engine texts given.
inline QString MsgWith(int id, const std::vector<std::string>& args) {
    return ToQ(FormatMessageText(MessageText(id), args));
}
