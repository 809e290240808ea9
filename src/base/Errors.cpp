#include "base/Errors.h"

#include "base/Language.h"
#include "base/Paths.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pictavo {

namespace {

// vsnprintf into a std::string; args is left as it was.
std::string FormatList(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buf(static_cast<size_t>(needed) + 1);
        va_copy(copy, args);
        std::vsnprintf(buf.data(), buf.size(), fmt, copy);
        va_end(copy);
        out.assign(buf.data(), static_cast<size_t>(needed));
    }
    return out;
}

}  // namespace

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = FormatList(fmt, args);
    va_end(args);
    return out;
}

TMessage Message(const char* msgid) { return {msgid, Tr(msgid)}; }

TMessage FormatMessage(const char* msgid, ...) {
    va_list args;
    va_start(args, msgid);
    TMessage out{FormatList(msgid, args), FormatList(Tr(msgid), args)};
    va_end(args);
    return out;
}

std::string SourceText(const std::exception& error) {
    const auto* own = dynamic_cast<const EPictavoError*>(&error);
    return own ? own->Source() : error.what();
}

std::string SystemErrorText(int err) {
    char buf[256];
    // GNU strerror_r returns a pointer that may or may not be buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    return text ? std::string(text) : Format(Tr("错误 %d"), err);
}

void RaiseOpenError(const std::string& fileName, int err) {
    throw EFOpenError(
        FormatMessage("无法打开文件 \"%s\". %s", ExpandFileName(fileName).c_str(), SystemErrorText(err).c_str()));
}

void RaiseCreateError(const std::string& fileName, int err) {
    const std::string reason = SystemErrorText(err);
    RaiseCreateError(fileName, TMessage{reason, reason});
}

void RaiseCreateError(const std::string& fileName, const TMessage& reason) {
    const TMessage format = Message("无法创建文件 \"%s\". %s");
    const std::string path = ExpandFileName(fileName);
    throw EFCreateError(TMessage{Format(format.Source.c_str(), path.c_str(), reason.Source.c_str()),
                                 Format(format.Local.c_str(), path.c_str(), reason.Local.c_str())});
}

void RaiseWriteError() { throw EWriteError(Message("流写入错误")); }

}  // namespace pictavo
