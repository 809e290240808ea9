#include "base/Paths.h"

#include <unistd.h>

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

}  // namespace pictavo
