// The language of the texts the program shows. Its own texts are Chinese, written in the
// sources; other languages come from gettext catalogs (po/*.po, installed as
// share/locale/<language>/LC_MESSAGES/pictavo.mo). The language follows the locale the user
// set, as gettext reads it; there is no setting of the program's own.
#pragma once

#include <string>

namespace pictavo {

// The environment variables that name the user's languages, as the environment holds them
// (empty: not set).
struct TLocaleEnvironment {
    std::string Language;    // LANGUAGE: a list of languages, "zh_CN:en"
    std::string LcAll;       // LC_ALL
    std::string LcMessages;  // LC_MESSAGES
    std::string Lang;        // LANG
};

// The process's own environment.
TLocaleEnvironment CurrentLocaleEnvironment();

// The language of the texts for a user with these settings: "" for the program's own Chinese
// texts, else the code of a translation ("en"). The messages locale is the first of LC_ALL,
// LC_MESSAGES and LANG that is set; unless it is "C" or "POSIX" (where gettext ignores
// LANGUAGE too), the first entry of LANGUAGE comes before it. Chinese (zh...), C, POSIX, C.UTF-8
// and nothing set give Chinese; a language with a translation gives it, any other English.
std::string ChooseLanguage(const TLocaleEnvironment& env);

// Chooses the language from the environment and loads its catalog; call once at start, before
// any other thread runs. The window calls it after QApplication is made, which sets the
// process's locale from the environment. Without a call every text is the program's own.
void InitLanguage();

// The language InitLanguage chose ("" for the program's own texts).
const std::string& UiLanguage();

// The text in the user's language for one of the program's own texts (the msgid).
const char* Tr(const char* msgid) __attribute__((format_arg(1)));
// The same for a text with a count: msgid and plural are the program's own text (the same
// text, as Chinese has one form), the translation has the form the count needs.
const char* TrN(const char* msgid, const char* plural, unsigned long count) __attribute__((format_arg(1)));

}  // namespace pictavo
