#include "base/Language.h"

#include <gtest/gtest.h>

using namespace pictavo;

// The language of the texts for each combination of the variables that name the user's
// languages: gettext's order (LANGUAGE's first entry, then LC_ALL, LC_MESSAGES, LANG), LANGUAGE
// ignored where the messages locale is C or POSIX as gettext ignores it, Chinese for zh*, C,
// POSIX, C.UTF-8 and nothing set, English for every other language.
TEST(Language, ChosenFromTheLocaleVariables) {
    const struct {
        TLocaleEnvironment env;  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        const char* language;
    } cases[] = {
        {{"", "", "", ""}, ""},
        {{"", "", "", "C"}, ""},
        {{"", "", "", "POSIX"}, ""},
        {{"", "", "", "C.UTF-8"}, ""},
        {{"", "", "", "zh_CN.UTF-8"}, ""},
        {{"", "", "", "zh_TW"}, ""},
        {{"", "", "", "zh_HK.UTF-8@stroke"}, ""},
        {{"", "", "", "en_US.UTF-8"}, "en"},
        {{"", "", "", "en_GB"}, "en"},
        {{"", "", "", "fr_FR.UTF-8"}, "en"},
        {{"", "", "", "de"}, "en"},
        // LC_ALL before LC_MESSAGES before LANG.
        {{"", "zh_CN.UTF-8", "en_US.UTF-8", "fr_FR.UTF-8"}, ""},
        {{"", "en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8"}, "en"},
        {{"", "", "zh_CN.UTF-8", "en_US.UTF-8"}, ""},
        {{"", "", "fr_FR.UTF-8", "zh_CN.UTF-8"}, "en"},
        {{"", "C", "", "fr_FR.UTF-8"}, ""},
        {{"", "", "POSIX", "fr_FR.UTF-8"}, ""},
        {{"", "C.UTF-8", "", "fr_FR.UTF-8"}, ""},
        // LANGUAGE: its first entry wins over the locale...
        {{"zh_CN:en", "", "", "en_US.UTF-8"}, ""},
        {{"fr:en", "", "", "zh_CN.UTF-8"}, "en"},
        {{"fr:zh_CN", "", "", "zh_CN.UTF-8"}, "en"},
        {{"en", "", "", "C.UTF-8"}, "en"},
        {{":zh_TW:en", "", "", "en_US.UTF-8"}, ""},
        {{"C", "", "", "en_US.UTF-8"}, ""},
        // ...unless the locale is C or POSIX (or nothing), where gettext ignores it.
        {{"en", "C", "", ""}, ""},
        {{"en", "", "POSIX", "fr_FR.UTF-8"}, ""},
        {{"en", "", "", "C"}, ""},
        {{"en", "", "", ""}, ""},
        {{"zh_CN", "C", "", ""}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseLanguage(c.env), c.language) << "LANGUAGE=" << c.env.Language << " LC_ALL=" << c.env.LcAll
                                                     << " LC_MESSAGES=" << c.env.LcMessages << " LANG=" << c.env.Lang;
    }
}
