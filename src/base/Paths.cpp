#include "base/Paths.h"

#include "base/Text.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

namespace pictavo {

std::string ExpandFileName(std::string_view path) {
    std::string full;
    if (path.empty() || path.front() != '/') {
        std::vector<char> buf(4096);
        while (getcwd(buf.data(), buf.size()) == nullptr) {
            if (errno != ERANGE || buf.size() > (1u << 20)) {
                buf.assign(2, '\0');
                buf[0] = '/';
                break;
            }
            buf.resize(buf.size() * 2);
        }
        full = buf.data();
        full += '/';
    }
    full.append(path);

    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (auto part : parts) {
        out += '/';
        out.append(part);
    }
    if (out.empty()) out = "/";
    if (path.size() > 1 && path.back() == '/' && out != "/") out += '/';
    return out;
}

std::string ExtractFileName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ChangeFileExtToNone(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(name);
    return std::string(name.substr(0, dot));
}

std::optional<std::string> LocalPathOfArgument(std::string_view argument) {
    // A scheme: a letter, then letters, digits, "+", "-" and ".".
    const size_t colon = argument.find("://");
    auto schemeChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
               c == '.';
    };
    const std::string_view scheme = argument.substr(0, colon == std::string_view::npos ? 0 : colon);
    const bool isUri = !scheme.empty() && std::isalpha(static_cast<unsigned char>(scheme[0])) &&
                       std::all_of(scheme.begin(), scheme.end(), schemeChar);
    std::string_view rest;
    size_t slash = 0;
    if (isUri) {
        if (LowerAscii(scheme) != "file") return std::nullopt;
        rest = argument.substr(colon + 3);
        slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string host = LowerAscii(rest.substr(0, slash));
        if (!host.empty() && host != "localhost") return std::nullopt;
    } else if (argument.size() > 5 && LowerAscii(argument.substr(0, 5)) == "file:" && argument[5] == '/') {
        rest = argument.substr(5);  // "file:/path": the URI form without an authority
    } else {
        return std::string(argument);
    }
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string path;
    for (size_t i = slash; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int hi = i + 2 < rest.size() ? hex(rest[i + 1]) : -1, lo = hi >= 0 ? hex(rest[i + 2]) : -1;
        if (lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return path;
}

}  // namespace pictavo
