// Strings of any bytes in the stored text notation: bytes that are not UTF-8 are written as
// codes, so the text stays UTF-8 and reads back byte for byte; UTF-8 text is written as it is.
#include "base/Text.h"
#include "settings/PropFilerEh.h"

#include <gtest/gtest.h>

#include <random>

using namespace pictavo;

namespace {

std::string StoredText(std::string_view value) {
    TPropWriterEh w;
    w.WriteObjectBegin("f", "Tf");
    w.WritePropName("S");
    w.WriteString(value);
    w.WriteObjectEnd();
    return w.Text();
}

std::string ReadStored(const std::string& text) {
    TPropReaderEh r(text);
    std::string name, cls;
    r.ReadObjectHeader(name, cls);
    r.ReadPropName();
    return r.ReadString();
}

bool WellFormed(std::string_view s) {
    for (size_t i = 0, n; i < s.size(); i += n)
        if ((n = Utf8CharLength(s, i)) == 0) return false;
    return true;
}

}  // namespace

TEST(Utf8CharLength, AcceptsOnlyWellFormedCharacters) {
    const std::pair<std::string_view, size_t> cases[] = {
        {"a", 1}, {"\x7F", 1}, {"\xC2\x80", 2}, {"中", 3}, {"\xEF\xBF\xBF", 3}, {"😀", 4},
        {"\xF4\x8F\xBF\xBF", 4},
        {"\x80", 0},              // continuation without a lead
        {"\xC0\xAF", 0},          // overlong "/"
        {"\xE0\x9F\xBF", 0},      // overlong three bytes
        {"\xF0\x8F\xBF\xBF", 0},  // overlong four bytes
        {"\xED\xA0\x80", 0},      // surrogate
        {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0}, {"\xFF", 0},
        {"\xE4\xB8", 0},          // cut short by the end
        {"\xE4\x41\x41", 0},      // cut short by another character
        {"", 0},
    };
    for (const auto& [bytes, length] : cases) EXPECT_EQ(Utf8CharLength(bytes, 0), length) << bytes;
}

TEST(StoredStrings, BytesThatAreNotUtf8AreWrittenAsCodes) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xE9", "'caf'#233"},
        {"/home/用户/图标", "'/home/用户/图标'"},  // UTF-8 text as it is
        {"\xE4\xB8中", "#228#184'中'"},             // a character cut short, then a whole one
        {"\xC0\xAF..", "#192#175'..'"},
        {"\xED\xA0\x80", "#237#160#128"},
    };
    for (const auto& [value, written] : cases) {
        EXPECT_EQ(StoredText(value), "object f: Tf\n  S = " + written + "\nend\n");
        EXPECT_EQ(ReadStored(StoredText(value)), value);
    }
    // A code byte counts as one byte of its line's piece, like a control byte.
    const std::string value = std::string(62, 'x') + "\xE9\xE9" + "中";
    EXPECT_EQ(StoredText(value), "object f: Tf\n  S = \n    '" + std::string(62, 'x') +
                                     "'#233#233 +\n    '中'\nend\n");
}

TEST(StoredStrings, AnyBytesReadBackWhileEveryLineStaysUtf8) {
    const char* pieces[] = {"a", "中", "😀", "'", "\t", "\xE9", "\x80", "\xF0\x9F", "\xED\xB0\x80"};
    std::mt19937 rng(2024);
    for (int round = 0; round < 500; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 100);
        for (int i = 0; i < n; ++i)
            s += rng() % 4 ? pieces[rng() % std::size(pieces)] : std::string(1, static_cast<char>(rng()));
        const std::string text = StoredText(s);
        ASSERT_TRUE(WellFormed(text)) << text;
        ASSERT_EQ(ReadStored(text), s);
    }
}
