#include "base/Language.h"

#include "base/LanguageConfig.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pictavo {

namespace {

const char* const kDomain = "pictavo";

// Set once by InitLanguage, before other threads run; read by every Tr.
std::string gLanguage;
bool gTranslated = false;

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The language part of a locale name: "zh" of "zh_CN.UTF-8", "C" of "C.UTF-8".
std::string_view LanguagePart(std::string_view name) { return name.substr(0, name.find_first_of("_.@")); }

// Whether `language` has a catalog (PICTAVO_TRANSLATIONS lists them, separated by ",").
bool HasTranslation(std::string_view language) {
    std::string_view list = PICTAVO_TRANSLATIONS;
    while (!list.empty()) {
        const size_t end = list.find(',');
        if (list.substr(0, end) == language) return true;
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

bool IsFile(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

// Whether a folder was configured by CMake (it holds CMakeCache.txt) and only `owner` (the owner
// of the program's file) may write into it: a build folder of the program's own builder, where
// nobody else can have put a catalog.
bool IsOwnBuildFolder(const std::string& folder, uid_t owner) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == owner &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && IsFile(folder + "/CMakeCache.txt");
}

// The build folder the program runs from (the programs lie in it, the tests one folder down), or
// "" for an installed program. Known from the program's own place rather than a path built in,
// so that builds in two folders give the same bytes; never a folder others may write.
std::string BuildFolder() {
    char* exe = ::realpath("/proc/self/exe", nullptr);
    if (!exe) return {};
    std::string folder(exe);
    std::free(exe);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    for (int up = 0; up < 2; ++up) {
        const size_t slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0) return {};
        folder.resize(slash);
        if (IsOwnBuildFolder(folder, st.st_uid)) return folder;
    }
    return {};
}

// The folder that holds <language>/LC_MESSAGES/pictavo.mo: the build folder's own locale/ for a
// program run from there; else the install's, of the prefix configured, or of the Debian
// package's prefix where only that one has it. Never a folder found above the program's place
// (bin/../share/locale): whoever can make folders above it (a build in /tmp/build,
// /tmp/share/locale) would choose every text.
std::string CatalogFolder(const std::string& language) {
    const std::string file = "/" + language + "/LC_MESSAGES/" + kDomain + ".mo";
    if (const std::string build = BuildFolder(); !build.empty() && IsFile(build + "/locale" + file))
        return build + "/locale";
    if (!IsFile(PICTAVO_LOCALEDIR + file) && IsFile(PICTAVO_PACKAGE_LOCALEDIR + file)) return PICTAVO_PACKAGE_LOCALEDIR;
    return PICTAVO_LOCALEDIR;
}

// Whether a LANGUAGE entry names a language. gettext reads an entry as
// language[_territory][.codeset][@modifier] and looks for its catalog in a folder of that name;
// one with no language part (".en", "_", "@euro"), with other than letters there, or holding a
// "/" (a path, "../../x") has none, and gettext goes on to the next entry.
bool NamesLanguage(std::string_view entry) {
    const std::string_view language = LanguagePart(entry);
    if (language.empty() || entry.find('/') != std::string_view::npos) return false;
    for (const char c : language)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    return true;
}

// --- printf directives

// A numbered argument ("%3$s") above this is refused: the program's texts take a few, and the
// number sizes the list of arguments.
constexpr size_t kMaxFormatArguments = 32;

// What a printf format asks of its arguments: the type of each, in argument order ("s", "ld",
// "*" for a width or precision taken from an argument); Valid is false for a format that is not
// accepted at all (see SameFormatArguments).
struct TFormatArguments {
    bool Valid = false;
    std::vector<std::string> Types;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at text[i] as a number, at most `limit`; false when there is none or it is
// larger.
bool ReadNumber(std::string_view text, size_t& i, size_t limit, size_t& value) {
    if (i >= text.size() || !IsDigit(text[i])) return false;
    value = 0;
    while (i < text.size() && IsDigit(text[i])) {
        value = value * 10 + static_cast<size_t>(text[i] - '0');
        if (value > limit) return false;
        ++i;
    }
    return true;
}

// The directives of `text` as glibc's printf reads them:
// %[argument$][flags][width|*[argument$]][.[precision|*[argument$]]][length]conversion.
TFormatArguments ParseFormat(std::string_view text) {
    TFormatArguments out;
    bool numbered = false, plain = false;  // directives with and without argument numbers
    size_t next = 0;                       // the argument a plain directive takes
    // The argument `number` (from 1; 0 for the next one) is of type `type`.
    auto take = [&](size_t number, std::string type) {
        if (number == 0) {
            plain = true;
            number = ++next;
        } else {
            numbered = true;
        }
        if (number > kMaxFormatArguments) return false;
        if (out.Types.size() < number) out.Types.resize(number);
        std::string& slot = out.Types[number - 1];
        if (!slot.empty() && slot != type) return false;  // one argument read as two types
        slot = std::move(type);
        return true;
    };
    // An argument number "n$" at text[i], or 0 where none is written.
    auto argumentNumber = [&](size_t& i, size_t& number) {
        size_t j = i;
        number = 0;
        if (ReadNumber(text, j, kMaxFormatArguments + 1, number) && j < text.size() && text[j] == '$') {
            i = j + 1;
            return number >= 1;
        }
        number = 0;
        return true;
    };
    // A width or precision at text[i]: digits, or "*" with its own argument.
    auto field = [&](size_t& i) {
        size_t value = 0;
        if (i < text.size() && text[i] == '*') {
            ++i;
            size_t number = 0;
            return argumentNumber(i, number) && take(number, "*");
        }
        if (i < text.size() && IsDigit(text[i])) return ReadNumber(text, i, kMaxFormatWidth, value);
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (++i < text.size() && text[i] == '%') continue;  // "%%", a percent sign
        size_t number = 0;
        if (!argumentNumber(i, number)) return out;
        while (i < text.size() && std::string_view("-+ #0'I").find(text[i]) != std::string_view::npos) ++i;
        if (!field(i)) return out;
        if (i < text.size() && text[i] == '.') {
            ++i;
            if (!field(i)) return out;
        }
        std::string type;
        for (const char* length : {"hh", "ll", "h", "l", "L", "q", "j", "z", "Z", "t"}) {
            if (text.substr(i).starts_with(length)) {
                type = length;
                i += type.size();
                break;
            }
        }
        if (i >= text.size()) return out;  // cut short
        const char conversion = text[i];
        if (conversion == 'm' && number == 0) continue;  // glibc's strerror(errno): no argument
        if (std::string_view("diouxXeEfFgGaAcsCSp").find(conversion) == std::string_view::npos)
            return out;  // %n, a percent sign with flags, an unknown letter
        if (!take(number, type + conversion)) return out;
    }
    if (numbered && plain) return out;  // glibc numbers plain directives its own way there
    for (const std::string& type : out.Types)
        if (type.empty()) return out;  // an argument no directive names: its type is unknown
    out.Valid = true;
    return out;
}

// Whether translation may stand for msgid (and for TrN's, for plural), remembered per text and
// translation so that each is checked once. Another thread may translate at the same time.
bool UsableTranslation(const char* msgid, const char* plural, const char* translation) {
    struct TChecked {
        std::string Plural;  // TrN's plural text
        bool HasPlural;
        std::string Translation;
        bool Usable;
    };
    struct THash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    // Far more forms than any language has: a catalog that gives a text more still gets each of
    // them checked, but no longer remembered.
    constexpr size_t kMaxCheckedPerText = 8;
    static std::mutex mutex;
    // Never destroyed: a thread may still translate while the process ends.
    static auto& checked = *new std::unordered_map<std::string, std::vector<TChecked>, THash, std::equal_to<>>;

    const std::lock_guard lock(mutex);
    auto found = checked.find(std::string_view(msgid));
    if (found == checked.end()) found = checked.emplace(msgid, std::vector<TChecked>()).first;
    for (const TChecked& c : found->second)
        if (c.HasPlural == (plural != nullptr) && (!plural || c.Plural == plural) && c.Translation == translation)
            return c.Usable;
    const bool usable = SameFormatArguments(msgid, translation) || (plural && SameFormatArguments(plural, translation));
    if (found->second.size() < kMaxCheckedPerText)
        found->second.push_back({plural ? plural : "", plural != nullptr, translation, usable});
    return usable;
}

bool IsPlainC(const char* locale) {
    return !locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0;
}

}  // namespace

TLocaleEnvironment CurrentLocaleEnvironment() {
    return {Variable("LANGUAGE"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")};
}

std::string ChooseLanguage(const TLocaleEnvironment& env) {
    const std::string& locale = !env.LcAll.empty() ? env.LcAll : !env.LcMessages.empty() ? env.LcMessages : env.Lang;
    if (locale.empty() || IsPlainC(locale.c_str())) return "";
    std::string_view first = locale;
    std::string_view list = env.Language;
    while (!list.empty()) {
        const size_t end = list.find(':');
        const std::string_view entry = list.substr(0, end);
        if (NamesLanguage(entry)) {
            first = entry;
            break;
        }
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    }
    const std::string_view language = LanguagePart(first);
    if (language == "zh" || language == "C" || language == "POSIX" || language.empty()) return "";
    return HasTranslation(language) ? std::string(language) : "en";
}

void InitLanguage() {
    gLanguage = ChooseLanguage(CurrentLocaleEnvironment());
    gTranslated = !gLanguage.empty();
    if (!gTranslated) return;  // the program's own texts: nothing to load, nothing changed
    // gettext translates nothing while the messages locale is C or POSIX: the case where the
    // user's locale is not installed (setlocale fails) or was never set (the command-line
    // program sets none). C.UTF-8 is always there and changes nothing else.
    if (IsPlainC(std::setlocale(LC_MESSAGES, nullptr)) && !std::setlocale(LC_MESSAGES, "C.UTF-8"))
        std::setlocale(LC_MESSAGES, "C.utf8");
    // gettext takes the catalog of the first language of LANGUAGE it has one for, before the
    // locale's: naming only the chosen one makes the choice above the one it follows, and
    // keeps the system's own messages (strerror) in the same language where it has them.
    ::setenv("LANGUAGE", gLanguage.c_str(), 1);
    ::bindtextdomain(kDomain, CatalogFolder(gLanguage).c_str());
    // The texts are UTF-8 whatever the locale's character set (the program writes UTF-8).
    ::bind_textdomain_codeset(kDomain, "UTF-8");
}

const std::string& UiLanguage() { return gLanguage; }

bool SameFormatArguments(std::string_view source, std::string_view translation) {
    const TFormatArguments expected = ParseFormat(source);
    const TFormatArguments given = ParseFormat(translation);
    return expected.Valid && given.Valid && expected.Types == given.Types;
}

const char* Tr(const char* msgid) {
    if (!gTranslated) return msgid;
    const char* text = ::dgettext(kDomain, msgid);
    return text == msgid || UsableTranslation(msgid, nullptr, text) ? text : msgid;
}

const char* TrN(const char* msgid, const char* plural, unsigned long count) {
    if (!gTranslated) return msgid;
    const char* text = ::dngettext(kDomain, msgid, plural, count);
    return text == msgid || text == plural || UsableTranslation(msgid, plural, text) ? text : msgid;
}

}  // namespace pictavo
