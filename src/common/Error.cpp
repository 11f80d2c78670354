#include "common/Error.h"

#include <cstring>

#include "common/Encoding.h"
#include "common/MessageTable.h"

void RaiseError(int messageId) {
    throw EShelvaraError(messageId, MessageText(messageId));
}

void RaiseError(int messageId, const std::vector<std::string>& args) {
    throw EShelvaraError(messageId, FormatMessageText(MessageText(messageId), args));
}

void RaiseFixedError(const std::string& text) {
    throw EShelvaraError(text);
}

void RaiseOsError(const std::string& operation, const std::string& fileName, int errnum) {
    // strerror texts are ASCII or UTF-8 depending on the locale; bring them into engine text.
    throw EShelvaraError(operation + " \"" + fileName + "\": " + Utf8ToAnsi(std::strerror(errnum)));
}

void RaiseListError(const char* what, int64_t value) {
    RaiseFixedError(std::string("List ") + what + " out of bounds (" + std::to_string(value) + ")");
}
