// The language of the texts the program shows. Its own texts are Chinese, written in the
// sources; other languages come from gettext catalogs (po/*.po, installed as
// share/locale/<language>/LC_MESSAGES/pictavo.mo). The language follows the locale the user
// set, as gettext reads it; there is no setting of the program's own.
#pragma once

#include <string>
#include <string_view>

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
// LANGUAGE too), the first entry of LANGUAGE that names a language comes before it. An entry
// that names none (empty, ".en", "_", "@euro", a path) is passed over, as gettext finds no
// catalog for it. Chinese (zh...), C, POSIX, C.UTF-8 and nothing set give Chinese; a language
// with a translation gives it, any other English.
std::string ChooseLanguage(const TLocaleEnvironment& env);

// Chooses the language from the environment and loads its catalog; call once at start, before
// any other thread runs. The window calls it after QApplication is made, which sets the
// process's locale from the environment. Without a call every text is the program's own.
// Catalogs are read only from the places fixed when the build was configured: the install's
// (share/locale of the prefix configured, then of the Debian package's /usr) and, for a
// program run from its build folder, that folder's locale/. Never from a folder found from the
// program's place, which another user may have made (/tmp/share/locale above /tmp/build).
void InitLanguage();

// The language InitLanguage chose ("" for the program's own texts).
const std::string& UiLanguage();

// The text in the user's language for one of the program's own texts (the msgid). Texts are
// printf formats, so a translation whose directives ask for other arguments than the msgid's
// (SameFormatArguments) is not used: the msgid is returned instead, and a wrong catalog can at
// worst show wrong words. The check is made once per text and translation.
const char* Tr(const char* msgid) __attribute__((format_arg(1)));
// The same for a text with a count: msgid and plural are the program's own text (the same
// text, as Chinese has one form), the translation has the form the count needs. A translation
// that asks for other arguments than msgid and plural is not used: msgid is returned.
const char* TrN(const char* msgid, const char* plural, unsigned long count) __attribute__((format_arg(1)));

// Whether `translation` may be given to printf with the arguments meant for `source`: both are
// well-formed printf formats that take the same arguments, of the same types, in the same order.
// A type is the conversion letter with its length modifier ("%ld" is not "%d", nor "%i" "%d"),
// and a width or precision given as "*" takes an int. Directives that number their argument
// ("%2$s") are compared by that number, so a translation may reorder them. Never accepted:
// %n (it writes memory), a format mixing numbered and plain directives, a numbered argument
// left out, an unknown conversion, a width or precision above kMaxFormatWidth. Flags and widths
// may differ: they change only the layout.
bool SameFormatArguments(std::string_view source, std::string_view translation);

// The largest width or precision a format may write: one of a billion would make printf produce
// a billion bytes.
inline constexpr unsigned kMaxFormatWidth = 256;

}  // namespace pictavo
