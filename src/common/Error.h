#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The program's general error. Text is Windows-1251 (engine text); MessageId is the
// message-table id it was raised with, or 0 for fixed texts and operating-system errors.
class EShelvaraError : public std::runtime_error {
public:
    EShelvaraError(int messageId, const std::string& text) : std::runtime_error(text), messageId_(messageId) {}
    explicit EShelvaraError(const std::string& text) : EShelvaraError(0, text) {}

    int MessageId() const noexcept { return messageId_; }

private:
    int messageId_;
};

// A date-time value that cannot be converted (for example month 0 in a stored date).
class EConvertError final : public EShelvaraError {
public:
    using EShelvaraError::EShelvaraError;
};

// Raises the error with the current text of message id n.
[[noreturn]] void RaiseError(int messageId);
// The same with the text's "%s" places filled in order from args (engine text).
[[noreturn]] void RaiseError(int messageId, const std::vector<std::string>& args);

// Raises an error with a fixed text that does not come from the message table.
[[noreturn]] void RaiseFixedError(const std::string& text);
// The lists' bounds error: "List <what> out of bounds (<value>)", what being index, capacity or count.
[[noreturn]] void RaiseListError(const char* what, int64_t value);

// Raises an operating-system error for an operation on a file; errnum is an errno value.
[[noreturn]] void RaiseOsError(const std::string& operation, const std::string& fileName, int errnum);
