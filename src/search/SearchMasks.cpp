#include "search/SearchMasks.h"

#include "base/Text.h"

namespace pictavo {

// The platform's enumeration rule: "*" any run of characters, "?" any one (UTF-8) character,
// letters compared without regard to ASCII case; "*.*" and a trailing ".*" also take names
// without a dot.
bool EnumerationMatch(std::string_view name, std::string_view mask) {
    if (mask == "*" || mask == "*.*") return true;
    const auto lower = [](char c) { return LowerAscii(c); };
    auto glob = [&](std::string_view text, std::string_view pattern) {
        // "*" takes whole characters, so that a "?" behind it never starts inside one.
        size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
        while (t < text.size()) {
            if (p < pattern.size() && pattern[p] == '*') {
                starP = p++;
                starT = t;
            } else if (p < pattern.size() && pattern[p] == '?') {
                t += Utf8Step(text, t);
                ++p;
            } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
                ++t;
                ++p;
            } else if (starP != std::string_view::npos) {
                p = starP + 1;
                starT += Utf8Step(text, starT);
                t = starT;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == '*') ++p;
        return p == pattern.size();
    };
    if (glob(name, mask)) return true;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return glob(name, mask.substr(0, mask.size() - 2));
    return false;
}

// The entries of the folder open as fd, in name order compared without regard to ASCII case.
// The listing has a descriptor of its own, closed before this returns, so that no directory
// stream stays open while the walk descends. Answers 0 or the errno of a failed listing (the
// entries read until then are kept).
bool WildcardMatch(std::string_view Text, std::string_view Mask) {
    const auto lower = [](char c) { return LowerAscii(c); };
    size_t t = 0, m = 0;
    while (t < Text.size() && m < Mask.size()) {
        if (Mask[m] == '*') return true;
        if (Mask[m] == '?') {
            t += Utf8Step(Text, t);
        } else {
            if (lower(Mask[m]) != lower(Text[t])) return false;
            ++t;
        }
        ++m;
    }
    if (t < Text.size()) return false;
    while (m < Mask.size() && (Mask[m] == '*' || Mask[m] == '?')) ++m;
    return m == Mask.size();
}

namespace {

// Position of the extension: the last "." after the last "/"; npos when none.
size_t ExtensionAt(std::string_view s) {
    const size_t dot = s.rfind('.');
    if (dot == std::string_view::npos) return dot;
    const size_t sep = s.rfind('/');
    if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
    return dot;
}

// The drive part of a path: "X:" (any first character), or "//server/share"; else empty.
std::string_view DrivePart(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        const size_t server = path.find('/', 2);
        if (server == std::string_view::npos) return path;
        const size_t share = path.find('/', server + 1);
        return share == std::string_view::npos ? path : path.substr(0, share);
    }
    return {};
}

}  // namespace

bool FileNameMatch(std::string_view Name, std::string_view Mask) {
    const size_t maskDot = ExtensionAt(Mask);
    const size_t nameDot = ExtensionAt(Name);
    const std::string_view nameBase = Name.substr(0, nameDot);
    if (maskDot == std::string_view::npos) return WildcardMatch(nameBase, Mask);
    const std::string_view nameExt = nameDot == std::string_view::npos ? std::string_view(".") : Name.substr(nameDot);
    return WildcardMatch(nameExt, Mask.substr(maskDot)) && WildcardMatch(nameBase, Mask.substr(0, maskDot));
}

bool MatchesExclusion(std::string_view Folder, std::string_view Name, std::string_view Pattern) {
    const size_t sep = Pattern.find_last_of("/:");
    std::string_view folderPart = sep == std::string_view::npos ? std::string_view() : Pattern.substr(0, sep + 1);
    const std::string_view namePart = sep == std::string_view::npos ? Pattern : Pattern.substr(sep + 1);
    if (!folderPart.empty()) {
        const std::string_view folderDrive = DrivePart(Folder);
        const std::string_view patternDrive = DrivePart(folderPart);
        if (!patternDrive.empty()) {
            if (folderPart.front() != '*' && folderPart.front() != '?') {
                if (folderDrive.empty()) return false;
                if (!SameTextAscii(folderDrive.substr(0, 1), patternDrive.substr(0, 1))) return false;
            }
            folderPart.remove_prefix(patternDrive.size());
        }
        if (!folderPart.empty()) {
            if (Folder.size() - folderDrive.size() < folderPart.size()) return false;
            if (!SameTextAscii(Folder.substr(Folder.size() - folderPart.size()), folderPart)) return false;
        }
    }
    if (namePart.empty()) return true;
    return FileNameMatch(Name, namePart);
}

}  // namespace pictavo
