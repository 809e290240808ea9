// Exceptions that carry the program's user-facing (Chinese) message.
#pragma once

#include <stdexcept>
#include <string>

namespace pictavo {

// Base of every error the core raises on purpose. what() is the text shown to the user.
class EPictavoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
[[noreturn]] void RaiseCreateError(const std::string& fileName, const std::string& reason);
// "流写入错误".
[[noreturn]] void RaiseWriteError();

}  // namespace pictavo
