// Exceptions that carry the program's user-facing message, in the user's language and as the
// program's own (Chinese) text.
#pragma once

#include <stdexcept>
#include <string>

namespace pictavo {

// A message to the user: the program's own text, and the same in the user's language (see
// base/Language.h). The two are the same text where the user's language is the program's.
struct TMessage {
    std::string Source;  // as the program writes it: what machine-readable output carries
    std::string Local;   // in the user's language: what is shown
};

// One of the program's own texts, without formatting.
TMessage Message(const char* msgid);
// A printf-style message whose format is one of the program's own texts.
TMessage FormatMessage(const char* msgid, ...) __attribute__((format(printf, 1, 2)));

// Base of every error the core raises on purpose. what() is the text shown to the user, in the
// user's language; Source() the program's own text.
class EPictavoError : public std::runtime_error {
public:
    explicit EPictavoError(const TMessage& message) : std::runtime_error(message.Local), FSource(message.Source) {}
    // A text that is the same in every language (a name, the system's own text).
    explicit EPictavoError(const std::string& text) : std::runtime_error(text), FSource(text) {}
    const char* Source() const noexcept { return FSource.what(); }

private:
    std::runtime_error FSource;  // copied without throwing, as an exception must be
};

// The program's own text of any exception: Source() of the program's errors, what() of others.
std::string SourceText(const std::exception& error);

// A file could not be opened for reading: "无法打开文件 "%s". %s".
class EFOpenError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// A file could not be created or written when saving: "无法创建文件 "%s". %s".
class EFCreateError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// Not every byte of a file being saved could be written: "流写入错误".
class EWriteError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// A stream ran out of bytes where a whole record was required.
class EReadError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// A resource the module does not hold: "找不到资源 %s".
class EResNotFound : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// An operation asked a list for more than its 16-bit count can hold, or an index out of range.
class EListError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// printf-style formatting into a std::string (the program's Format).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The system's text for an errno value.
std::string SystemErrorText(int err);

// "无法打开文件 "%s". %s" / "无法创建文件 "%s". %s" with the full path and the reason.
[[noreturn]] void RaiseOpenError(const std::string& fileName, int err);
[[noreturn]] void RaiseCreateError(const std::string& fileName, int err);
[[noreturn]] void RaiseCreateError(const std::string& fileName, const TMessage& reason);
// "流写入错误".
[[noreturn]] void RaiseWriteError();

}  // namespace pictavo
