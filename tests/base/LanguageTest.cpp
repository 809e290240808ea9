#include "base/Language.h"

#include "base/Errors.h"
#include "base/LanguageConfig.h"
#include "support/Catalog.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <libintl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

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
        // An entry that names no language is passed over, as gettext finds no catalog for it:
        // the next entry decides, or the locale where none is left.
        {{".en", "", "", "en_US.UTF-8"}, "en"},
        {{"_", "", "", "en_US.UTF-8"}, "en"},
        {{"@", "", "", "fr_FR.UTF-8"}, "en"},
        {{"@euro", "", "", "de_DE.UTF-8"}, "en"},
        {{"../../x", "", "", "en_US.UTF-8"}, "en"},
        {{"::.:_:@:", "", "", "en_US.UTF-8"}, "en"},
        {{".zh_CN:en", "", "", "zh_CN.UTF-8"}, "en"},
        {{"_:@:fr", "", "", "zh_CN.UTF-8"}, "en"},
        {{"../../zh:en", "", "", "zh_CN.UTF-8"}, "en"},
        {{"en/../zh", "", "", "zh_CN.UTF-8"}, ""},
        {{"/usr/share/locale/en", "", "", "zh_CN.UTF-8"}, ""},
        {{"1en:zh_TW", "", "", "en_US.UTF-8"}, ""},
        {{"e-n", "", "", "zh_CN.UTF-8"}, ""},
        {{".en:", "", "", "zh_CN.UTF-8"}, ""},
        {{".en", "C", "", ""}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseLanguage(c.env), c.language) << "LANGUAGE=" << c.env.Language << " LC_ALL=" << c.env.LcAll
                                                     << " LC_MESSAGES=" << c.env.LcMessages << " LANG=" << c.env.Lang;
    }
}

// The printf directives of a translation against its text's: the same arguments, of the same
// types, in the same order, or the translation is not used.
TEST(Language, TranslationTakesTheSameFormatArguments) {
    const std::string sixteen = [] {
        std::string text;
        for (int i = 0; i < 16; ++i) text += "%s";
        return text;
    }();
    const struct {
        const char* source;
        std::string translation;
        bool same;
    } cases[] = {
        {"缺少文件", "Missing file", true},
        {"", "", true},
        {"未知命令 %s", "Unknown command %s", true},
        {"未知命令 %s", "Unknown command", false},
        {"未知命令 %s", "Unknown command %s %s", false},
        {"未知命令 %s", "Unknown command " + sixteen, false},
        {"缺少文件", "Missing file " + sixteen, false},
        {"缺少文件", "Missing file %d", false},
        // %n is never accepted, not even for a text that has one.
        {"(%d 个图像)", "(%d images)%n", false},
        {"(%d 个图像)", "(%n images)", false},
        {"(%d 个图像)", "(%ln images)", false},
        {"%n", "%n", false},
        {"%d%n", "%d", false},
        // Type: the conversion letter and its length modifier.
        {"%d", "%s", false},
        {"%d", "%i", false},
        {"%d", "%u", false},
        {"%d", "%ld", false},
        {"%u", "%lu", false},
        {"%lu", "%llu", false},
        {"%lu", "%zu", false},
        {"%hhd", "%hd", false},
        {"%s", "%ls", false},
        {"%s", "%S", false},
        {"%f", "%Lf", false},
        {"%lu bytes", "%lu B", true},
        {"%zu", "%zu", true},
        {"%p", "%p", true},
        {"%c", "%c", true},
        // Order.
        {"图像 %d x %d - %dbit", "Image %d x %d (%d bits)", true},
        {"%s: %d", "%d: %s", false},
        // Flags, widths and precisions change the layout only; a "*" takes an argument.
        {"%d", "%5d", true},
        {"%d", "%-+ #0'I5d", true},
        {"%1.2f", "%.3f", true},
        {"%s", "%.10s", true},
        {"%x", "%#08x", true},
        {"%d", "%*d", false},
        {"%*d", "%*d", true},
        {"%.*s", "%.*s", true},
        {"%.*s", "%*s", true},
        {"%*d", "%d", false},
        {"%d", "%256d", true},
        {"%d", "%257d", false},
        {"%s", "%.999999999s", false},
        {"%d", "%2147483648d", false},
        // Numbered arguments, compared by their numbers: a translation may reorder them.
        {"无法赋值 %s 到 %s", "%2$s := %1$s", true},
        {"%s %d", "%2$d %1$s", true},
        {"%s %d", "%1$d %2$s", false},
        {"%s", "%1$s", true},
        {"%1$s", "%s", true},
        {"%s", "%1$s and %1$s", true},
        {"%s %d", "%1$s %1$d", false},
        {"%s %s", "%2$s", false},
        {"%s", "%2$s", false},
        {"%s", "%0$s", false},
        {"%s", "%33$s", false},
        {"%s %s", "%1$s %s", false},
        {"%s %s", "%2$s %s", false},
        {"%s %d", "%1$d %2$d %1$s", false},
        {"%3$s %1$s", "%3$s %1$s", false},
        {"%*d", "%2$*1$d", true},
        {"%*d", "%1$*2$d", false},
        {"%*d", "%*2$d", false},
        // Percent signs and glibc's %m, which take no argument.
        {"100%%", "100 %%", true},
        {"%s %%", "%% %s", true},
        {"%s: %m", "%m (%s)", true},
        {"%s", "%s %", false},
        {"%s", "%s %5%", false},
        {"%s", "%y", false},
        {"%s", "%l", false},
        {"%s", "%1$m", false},
        // A text that is no well-formed format gets no translation.
        {"100%", "100%", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameFormatArguments(c.source, c.translation), c.same) << c.source << " -> " << c.translation;
}

// Every translation of the build's catalogs passes the check: the check refuses no good
// translation of the program's texts.
TEST(Language, EveryTranslationOfTheCatalogsIsUsed) {
    std::string languages = PICTAVO_TRANSLATIONS;
    size_t checked = 0;
    for (size_t start = 0, end; start < languages.size(); start = end + 1) {
        end = std::min(languages.find(',', start), languages.size());
        const std::string language = languages.substr(start, end - start);
        const auto messages =
            ReadCatalog(ReadBytes(PICTAVO_BUILD_LOCALEDIR "/" + language + "/LC_MESSAGES/pictavo.mo"));
        for (const CatalogMessage& message : messages) {
            const auto texts = SplitAtNul(message.Msgid);
            for (const std::string& form : SplitAtNul(message.Msgstr)) {
                EXPECT_TRUE(SameFormatArguments(texts.front(), form) || SameFormatArguments(texts.back(), form))
                    << language << ": " << texts.front() << " -> " << form;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 50u);
}

namespace {

// Runs in a process of its own (the language is the whole process's): chooses English, reads
// the catalog in `folder` and writes each text that is not as expected to standard error. Ends
// the process, with status 0 when all were.
[[noreturn]] void CheckTextsOfCatalog(const std::string& folder) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANGUAGE");
    ::setenv("LANG", "en_US.UTF-8", 1);
    InitLanguage();
    ::bindtextdomain("pictavo", folder.c_str());
    int failures = 0;
    auto expect = [&](const std::string& text, const std::string& expected) {
        if (text == expected) return;
        std::fprintf(stderr, "\"%s\", not \"%s\"\n", text.c_str(), expected.c_str());
        ++failures;
    };
    for (int round = 0; round < 2; ++round) {  // the second from what the first remembered
        expect(Format(Tr("未知命令 %s"), "x"), "未知命令 x");
        expect(Format(Tr("缺少文件")), "缺少文件");
        expect(Format(Tr("无法打开文件 \"%s\". %s"), "a.ico", "gone"), "Cannot open \"a.ico\": gone");
        expect(Format(Tr("无法赋值 %s 到 %s"), "a", "b"), "b := a");
        expect(Format(TrN("(%d 个图像)", "(%d 个图像)", 1), 1), "(1 个图像)");
        expect(Format(TrN("(%d 个图像)", "(%d 个图像)", 3), 3), "(3 images)");
        expect(Format(TrN("%u 字节", "%u 字节", 1), 1u), "1 字节");
        expect(Format(TrN("%u 字节", "%u 字节", 2), 2u), "2 字节");
    }
    std::fflush(stderr);
    std::exit(failures == 0 ? 0 : 1);
}

}  // namespace

// A catalog whose translations ask printf for other arguments than their texts (sixteen %s,
// %n, another type) cannot crash the program or write its memory: those texts are the
// program's own, the well-formed translations beside them are used.
TEST(Language, HostileCatalogShowsTheProgramsOwnTexts) {
    TempDir dir;
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "%s";
    std::filesystem::create_directories(dir.File("en/LC_MESSAGES"));
    using namespace std::string_literals;
    WriteBytes(dir.File("en/LC_MESSAGES/pictavo.mo"), MakeCatalog({
                                                          {"未知命令 %s", "Unknown command " + sixteen},
                                                          {"缺少文件", "%n" + sixteen},
                                                          {"无法打开文件 \"%s\". %s", "Cannot open \"%s\": %s"},
                                                          {"无法赋值 %s 到 %s", "%2$s := %1$s"},
                                                          {"(%d 个图像)\0(%d 个图像)"s, "(%d image)%n\0(%d images)"s},
                                                          {"%u 字节\0%u 字节"s, "%s byte\0%n%s bytes"s},
                                                      }));
    EXPECT_EXIT(CheckTextsOfCatalog(dir.Path()), ::testing::ExitedWithCode(0), "");
}
