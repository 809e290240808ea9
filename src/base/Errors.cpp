#include "base/Errors.h"

#include "base/Paths.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pictavo {

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buf(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, args);
        out.assign(buf.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

std::string SystemErrorText(int err) {
    char buf[256];
    // GNU strerror_r returns a pointer that may or may not be buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    return text ? std::string(text) : Format("错误 %d", err);
}

void RaiseOpenError(const std::string& fileName, int err) {
    throw EFOpenError(Format("无法打开文件 \"%s\". %s", ExpandFileName(fileName).c_str(),
                             SystemErrorText(err).c_str()));
}

void RaiseCreateError(const std::string& fileName, int err) { RaiseCreateError(fileName, SystemErrorText(err)); }

void RaiseCreateError(const std::string& fileName, const std::string& reason) {
    throw EFCreateError(Format("无法创建文件 \"%s\". %s", ExpandFileName(fileName).c_str(), reason.c_str()));
}

void RaiseWriteError() { throw EWriteError("流写入错误"); }

}  // namespace pictavo
