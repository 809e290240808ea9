#include "base/Language.h"

#include "base/LanguageConfig.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>

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

// The folder that holds <language>/LC_MESSAGES/pictavo.mo, found from the program's own place:
// installed (bin/../share/locale), in the build folder (build/locale), or a test's in the build
// folder (build/tests/../locale); else the folder the install puts it in.
std::string CatalogFolder(const std::string& language) {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        const std::string exe(buf, static_cast<size_t>(n));
        const std::string dir = exe.substr(0, exe.rfind('/') + 1);
        for (const char* relative : {PICTAVO_LOCALEDIR_FROM_BINDIR, "locale", "../locale"}) {
            const std::string folder = dir + relative;
            if (IsFile(folder + "/" + language + "/LC_MESSAGES/" + kDomain + ".mo")) return folder;
        }
    }
    return PICTAVO_LOCALEDIR;
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
        if (end != 0) {
            first = list.substr(0, end);
            break;
        }
        list.remove_prefix(1);
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

const char* Tr(const char* msgid) { return gTranslated ? ::dgettext(kDomain, msgid) : msgid; }

const char* TrN(const char* msgid, const char* plural, unsigned long count) {
    return gTranslated ? ::dngettext(kDomain, msgid, plural, count) : msgid;
}

}  // namespace pictavo
