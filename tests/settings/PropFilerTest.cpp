// The text notation of stored properties: writer, reader, property paths, and the walk that
// applies a stored text.
#include "base/Text.h"
#include "settings/PropFilerEh.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace pictavo;

namespace {

// Whether bytes are well-formed UTF-8 (what a stored line must be to survive the store).
bool ValidUtf8(std::string_view s) {
    for (size_t i = 0, n; i < s.size(); i += n)
        if ((n = Utf8CharLength(s, i)) == 0) return false;
    return true;
}

std::string StringText(std::string_view value) {
    TPropWriterEh w;
    w.WriteObjectBegin("f", "Tf");
    w.WritePropName("S");
    w.WriteString(value);
    w.WriteObjectEnd();
    return w.Text();
}

std::string ReadBack(const std::string& text) {
    TPropReaderEh r(text);
    std::string name, cls;
    r.ReadObjectHeader(name, cls);
    EXPECT_EQ(r.ReadPropName(), "S");
    std::string value = r.ReadString();
    r.ReadListEnd();
    return value;
}

}  // namespace

TEST(PropWriter, MainWindowTextHasTheDocumentedLineList) {
    TPropWriterEh w;
    w.WriteObjectBegin("wnd_pv_Main", "Twnd_pv_Main");
    const std::pair<const char*, int> geometry[] = {
        {"Height", 641}, {"Left", 10}, {"PixelsPerInch", 96}, {"Top", -4}, {"Width", 732}};
    for (const auto& [name, value] : geometry) {
        w.WritePropName(name);
        w.WriteInteger(value);
    }
    w.WritePropName("WindowState");
    w.WriteIdent("wsNormal");
    w.WritePropName("LastFolder");
    w.WriteString("/home");
    const std::vector<TComponentRefEh> iconBox = {
        {"pc", "TPageControl"}, {"TabSheet1", "TTabSheet"}, {"IconBox", "TListBox"}};
    const std::vector<TComponentRefEh> iclBox = {
        {"pc", "TPageControl"}, {"TabSheet2", "TTabSheet"}, {"ICLBox", "TListBox"}};
    const std::vector<TComponentRefEh> panel = {{"ShellPanel", "TPanel"}};
    const std::vector<TComponentRefEh> tree = {{"ShellPanel", "TPanel"}, {"ShellTree", "TShellTreeView"}};
    for (const auto* chain : {&iconBox, &iclBox, &panel, &tree}) {
        w.EnterComponents(*chain);
        w.WritePropName(chain == &panel ? "Height" : "Width");
        w.WriteInteger(200);
    }
    w.EnterComponents({});
    w.WriteObjectEnd();
    ASSERT_TRUE(w.Complete());
    const std::vector<std::string> expected = {"object wnd_pv_Main: Twnd_pv_Main",
                                               "  Height = 641",
                                               "  Left = 10",
                                               "  PixelsPerInch = 96",
                                               "  Top = -4",
                                               "  Width = 732",
                                               "  WindowState = wsNormal",
                                               "  LastFolder = '/home'",
                                               "  object pc: TPageControl",
                                               "    object TabSheet1: TTabSheet",
                                               "      object IconBox: TListBox",
                                               "        Width = 200",
                                               "      end",
                                               "    end",
                                               "    object TabSheet2: TTabSheet",
                                               "      object ICLBox: TListBox",
                                               "        Width = 200",
                                               "      end",
                                               "    end",
                                               "  end",
                                               "  object ShellPanel: TPanel",
                                               "    Height = 200",
                                               "    object ShellTree: TShellTreeView",
                                               "      Width = 200",
                                               "    end",
                                               "  end",
                                               "end"};
    EXPECT_EQ(w.Lines(), expected);
}

TEST(PropWriter, QuotesAndControlBytesAreWrittenAsCodes) {
    EXPECT_EQ(StringText(""), "object f: Tf\n  S = ''\nend\n");
    EXPECT_EQ(StringText("It's"), "object f: Tf\n  S = 'It'#39's'\nend\n");
    EXPECT_EQ(StringText("\ta\r\n"), "object f: Tf\n  S = #9'a'#13#10\nend\n");
    EXPECT_EQ(StringText("''"), "object f: Tf\n  S = #39#39\nend\n");
}

TEST(PropWriter, LongStringsStartOnANewLineInPiecesOf64Bytes) {
    const std::string a64(64, 'a');
    EXPECT_EQ(StringText(a64), "object f: Tf\n  S = '" + a64 + "'\nend\n");
    EXPECT_EQ(StringText(a64 + "bc"), "object f: Tf\n  S = \n    '" + a64 + "' +\n    'bc'\nend\n");
    // Codes count one byte each toward the 64.
    const std::string tabs(70, '\t');
    std::string codes64;
    for (int i = 0; i < 64; ++i) codes64 += "#9";
    EXPECT_EQ(StringText(tabs), "object f: Tf\n  S = \n    " + codes64 + " +\n    #9#9#9#9#9#9\nend\n");
}

TEST(PropWriter, CutsNeverSplitAUtf8Character) {
    // "中" takes bytes 63 to 65: the first piece ends before it.
    const std::string value = std::string(63, 'x') + "中" + std::string(70, 'y');
    const std::string text = StringText(value);
    EXPECT_NE(text.find("\n    '" + std::string(63, 'x') + "' +\n    '中"), std::string::npos) << text;
    // Many mixes of 1- to 4-byte characters and codes: every line stays valid UTF-8 and the
    // value reads back whole.
    const char* pieces[] = {"a", "é", "中", "😀", "'", "\t", "ab", "文件夹"};
    std::mt19937 rng(12345);
    for (int round = 0; round < 500; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 120);
        for (int i = 0; i < n; ++i) s += pieces[rng() % std::size(pieces)];
        const std::string written = StringText(s);
        for (size_t start = 0, end; start < written.size(); start = end + 1) {
            end = written.find('\n', start);
            ASSERT_TRUE(ValidUtf8(written.substr(start, end - start))) << written;
        }
        ASSERT_EQ(ReadBack(written), s);
    }
}

TEST(PropWriter, RefusesMisuseAndNamesTheNotationCannotHold) {
    TPropWriterEh w;
    EXPECT_THROW(w.WritePropName("A"), EPropWriteError);  // no object open
    EXPECT_THROW(w.WriteObjectBegin("a b", "T"), EPropWriteError);
    EXPECT_THROW(w.WriteObjectBegin("1a", "T"), EPropWriteError);
    w.WriteObjectBegin("f", "Tf");
    EXPECT_THROW(w.WriteInteger(1), EPropWriteError);  // value without a name
    EXPECT_THROW(w.WritePropName("end"), EPropWriteError);
    EXPECT_THROW(w.WritePropName("Object.Name"), EPropWriteError);
    EXPECT_THROW(w.WritePropName("a..b"), EPropWriteError);
    w.WritePropName("A");
    EXPECT_THROW(w.WritePropName("B"), EPropWriteError);
    EXPECT_THROW(w.WriteObjectEnd(), EPropWriteError);
    EXPECT_THROW(w.WriteIdent("not ident"), EPropWriteError);
    w.WriteBoolean(true);
    EXPECT_FALSE(w.Complete());
    w.WriteObjectEnd();
    EXPECT_TRUE(w.Complete());
    EXPECT_THROW(w.WriteObjectBegin("g", "Tg"), EPropWriteError);  // one outermost object
}

TEST(PropReader, ReadsBackEveryKindOfValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    TPropWriterEh w;
    w.WriteObjectBegin("f", "Tf");
    const std::vector<TPropValueEh> values = {
        TPropValueEh::FromInteger(0),         TPropValueEh::FromInteger(INT64_MIN),
        TPropValueEh::FromInteger(INT64_MAX), TPropValueEh::FromIdent("wsMaximized"),
        TPropValueEh::FromString(all),        TPropValueEh::FromString("")};
    for (size_t i = 0; i < values.size(); ++i) {
        w.WritePropName("P" + std::to_string(i));
        w.WriteValue(values[i]);
    }
    w.WriteObjectEnd();
    TPropReaderEh r(w.Text());
    std::string name, cls;
    r.ReadObjectHeader(name, cls);
    EXPECT_EQ(name + ":" + cls, "f:Tf");
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(r.ReadPropName(), "P" + std::to_string(i));
        EXPECT_EQ(r.ReadValue(), values[i]) << i;
    }
    EXPECT_TRUE(r.EndOfList());
    r.ReadListEnd();
    EXPECT_TRUE(r.AtEnd());
}

TEST(PropReader, AcceptsHexCodesAnyCaseKeywordsAndDottedNames) {
    TPropReaderEh r("OBJECT f: Tf\n Font.Size = $1F\n S = #$41'b'#67 + 'd'\n B = true\nEnd");
    std::string name, cls;
    r.ReadObjectHeader(name, cls);
    EXPECT_EQ(r.ReadPropName(), "Font.Size");
    EXPECT_EQ(r.ReadInteger(), 31);
    EXPECT_EQ(r.ReadPropName(), "S");
    EXPECT_EQ(r.ReadString(), "AbCd");
    EXPECT_EQ(r.ReadPropName(), "B");
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_TRUE(r.EndOfList());
}

TEST(PropReader, MalformedTextsRaiseWithTheirLine) {
    const char* bad[] = {
        "object f: Tf\n  S = 'open\n  T = 1\nend",       // quote not closed on its line
        "object f: Tf\n  N = 9223372036854775808\nend",  // beyond 64 bits
        "object f: Tf\n  S = #256\nend",
        "object f: Tf\n  N 1\nend",
        "object f: Tf\n  N = 1.5\nend",     // no floats
        "object f: Tf\n  N = [a, b]\nend",  // no sets
        "object f: Tf\n  S = 'a' +\nend",
        "object f: Tf\n  object c: Tc\n  end\n  N = 1\nend",  // property after a block
        "object f: Tf\n  N = 1\n",                            // no end
        "object f Tf\nend",
        "\x01\x02 garbage",
        "",
    };
    // The whole walk over the text, applying nothing.
    struct TDiscard : TPropTargetEh {
        void ReadProperty(TPropReaderEh&, const std::string&) override {}
        std::unique_ptr<TPropTargetEh> FindComponent(const std::string&, const std::string&) override {
            return nullptr;
        }
    } discard;
    auto readAll = [&](const char* text) { ReadPropertiesText(text, discard); };
    for (const char* text : bad) EXPECT_THROW(readAll(text), EPropReadError) << text;
    try {
        TPropReaderEh r("object f: Tf\n  A = 1\n  S = #300\nend");
        std::string n, c;
        r.ReadObjectHeader(n, c);
        r.ReadPropName();
        r.SkipValue();
        r.ReadPropName();
        r.SkipValue();
        FAIL();
    } catch (const EPropReadError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("line 3:", 0), 0u) << e.what();
    }
}

// --- applying a stored text --------------------------------------------------------------

namespace {

// Records what is applied, as "path=value"; knows components by name; raises or reads oddly
// for the properties it is told to.
class TRecordingTarget : public TPropTargetEh {
public:
    TRecordingTarget(std::string path, std::map<std::string, std::string>& applied, std::vector<std::string> known)
        : FPath(std::move(path)), FApplied(applied), FKnown(std::move(known)) {}

    void ReadProperty(TPropReaderEh& reader, const std::string& name) override {
        if (name == "Raises") throw EPropReadError("refused");
        if (name == "Unread") return;
        if (name == "Greedy") {  // reads its value and what follows it
            reader.ReadValue();
            reader.ReadValue();
            return;
        }
        const TPropValueEh v = reader.ReadValue();
        FApplied[FPath + name] = v.Kind == TPropValueEh::TKind::Integer ? std::to_string(v.Integer) : v.Text;
    }

    std::unique_ptr<TPropTargetEh> FindComponent(const std::string& name, const std::string&) override {
        if (std::find(FKnown.begin(), FKnown.end(), name) == FKnown.end()) return nullptr;
        return std::make_unique<TRecordingTarget>(FPath + name + ".", FApplied, FKnown);
    }

private:
    std::string FPath;
    std::map<std::string, std::string>& FApplied;
    std::vector<std::string> FKnown;
};

}  // namespace

TEST(ReadPropertiesText, SkipsFailedPropertiesAndUnknownComponents) {
    const std::string text = "object f: Tf\n  A = 1\n  Raises = 2\n  Unread = 'x'\n  Greedy = 3\n  B = 'b'\n"
                             "  object Gone: TPanel\n    C = 5\n    object Known: TPanel\n      D = 6\n    end\n  end\n"
                             "  object Known: TPanel\n    E = 7\n  end\nend\ntrailing text is ignored";
    std::map<std::string, std::string> applied;
    TRecordingTarget root("", applied, {"Known"});
    ReadPropertiesText(text, root);
    const std::map<std::string, std::string> expected = {{"A", "1"}, {"B", "b"}, {"Known.E", "7"}};
    EXPECT_EQ(applied, expected);
}

TEST(ReadPropertiesText, DamageEndsTheReadingAndKeepsWhatWasApplied) {
    std::map<std::string, std::string> applied;
    TRecordingTarget root("", applied, {});
    EXPECT_THROW(ReadPropertiesText("object f: Tf\n  A = 1\n  B = 'cut", root), EPropReadError);
    EXPECT_EQ(applied, (std::map<std::string, std::string>{{"A", "1"}}));
}

TEST(ReadPropertiesText, RefusesNestingBeyondTheLimit) {
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += "object c: Tc\n";
        for (int i = 0; i < depth; ++i) text += "end\n";
        return text;
    };
    std::map<std::string, std::string> applied;
    TRecordingTarget root("", applied, {"c"});
    EXPECT_NO_THROW(ReadPropertiesText(nested(kMaxObjectNesting), root));
    EXPECT_THROW(ReadPropertiesText(nested(kMaxObjectNesting + 1), root), EPropReadError);
    EXPECT_THROW(ReadPropertiesText(nested(100000), root), EPropReadError);
}

// --- property paths ----------------------------------------------------------------------

TEST(PropertyNames, KeepsTheStoredOrderWhateverTheOrderOfAdding) {
    const std::vector<std::string> sorted = {"<P>.Height",
                                             "<P>.Left",
                                             "<P>.PixelsPerInch",
                                             "<P>.Top",
                                             "<P>.Width",
                                             "<P>.WindowState",
                                             "pc.TabSheet1.IconBox.<P>.Width",
                                             "pc.TabSheet2.ICLBox.<P>.Width",
                                             "ShellPanel.<P>.Height",
                                             "ShellPanel.ShellTree.<P>.Width"};
    std::vector<std::string> shuffled = sorted;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        TPropertyNamesEh names;
        for (const std::string& path : shuffled) ASSERT_TRUE(names.Add(path));
        std::vector<std::string> got;
        for (const TPropertyPathEh& p : names.Items()) got.push_back(p.Text);
        ASSERT_EQ(got, sorted);
    }
}

TEST(PropertyNames, RefusesDuplicatesAndMalformedPaths) {
    TPropertyNamesEh names;
    EXPECT_TRUE(names.Add("ShellPanel.<P>.Height"));
    EXPECT_FALSE(names.Add("shellpanel.<P>.HEIGHT"));
    for (const char* bad :
         {"", "<P>", "Width", "a.<P>", "<P>.a.b", "a..<P>.b", "a.<P>.b.<P>.c", "1a.<P>.x", "a b.<P>.x", "<P>.end"})
        EXPECT_FALSE(names.Add(bad)) << bad;
    EXPECT_EQ(names.Count(), 1u);
    EXPECT_EQ(names.IndexOf("SHELLPANEL.<P>.height"), 0);
    EXPECT_EQ(names.IndexOf("ShellPanel.<P>.Width"), -1);
    const auto path = TPropertyPathEh::Parse("pc.TabSheet1.IconBox.<P>.Width");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->Components, (std::vector<std::string>{"pc", "TabSheet1", "IconBox"}));
    EXPECT_EQ(path->Property, "Width");
}

TEST(PropertyNames, AnotherOrderSortsAgain) {
    TPropertyNamesEh names;
    for (const char* p : {"a.<P>.x", "B.<P>.x", "c.<P>.x"}) names.Add(p);
    names.SetCompare([](std::string_view a, std::string_view b) { return -CompareTextAscii(a, b); });
    EXPECT_EQ(names[0].Text, "c.<P>.x");
    EXPECT_EQ(names[2].Text, "a.<P>.x");
    EXPECT_EQ(names.IndexOf("b.<P>.X"), 1);
}

// Strings of any bytes: bytes that are not UTF-8 are written as codes, so the text stays UTF-8
// and reads back byte for byte; UTF-8 text is written as it is.

TEST(Utf8CharLength, AcceptsOnlyWellFormedCharacters) {
    const std::pair<std::string_view, size_t> cases[] = {
        {"a", 1},
        {"\x7F", 1},
        {"\xC2\x80", 2},
        {"中", 3},
        {"\xEF\xBF\xBF", 3},
        {"😀", 4},
        {"\xF4\x8F\xBF\xBF", 4},
        {"\x80", 0},              // continuation without a lead
        {"\xC0\xAF", 0},          // overlong "/"
        {"\xE0\x9F\xBF", 0},      // overlong three bytes
        {"\xF0\x8F\xBF\xBF", 0},  // overlong four bytes
        {"\xED\xA0\x80", 0},      // surrogate
        {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},
        {"\xFF", 0},
        {"\xE4\xB8", 0},      // cut short by the end
        {"\xE4\x41\x41", 0},  // cut short by another character
        {"", 0},
    };
    for (const auto& [bytes, length] : cases) EXPECT_EQ(Utf8CharLength(bytes, 0), length) << bytes;
}

TEST(StoredStrings, BytesThatAreNotUtf8AreWrittenAsCodes) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xE9", "'caf'#233"},       {"/home/用户/图标", "'/home/用户/图标'"},  // UTF-8 text as it is
        {"\xE4\xB8中", "#228#184'中'"},  // a character cut short, then a whole one
        {"\xC0\xAF..", "#192#175'..'"}, {"\xED\xA0\x80", "#237#160#128"},
    };
    for (const auto& [value, written] : cases) {
        EXPECT_EQ(StringText(value), "object f: Tf\n  S = " + written + "\nend\n");
        EXPECT_EQ(ReadBack(StringText(value)), value);
    }
    // A code byte counts as one byte of its line's piece, like a control byte.
    const std::string value = std::string(62, 'x') + "\xE9\xE9" + "中";
    EXPECT_EQ(StringText(value), "object f: Tf\n  S = \n    '" + std::string(62, 'x') + "'#233#233 +\n    '中'\nend\n");
}

TEST(StoredStrings, AnyBytesReadBackWhileEveryLineStaysUtf8) {
    const char* pieces[] = {"a", "中", "😀", "'", "\t", "\xE9", "\x80", "\xF0\x9F", "\xED\xB0\x80"};
    std::mt19937 rng(2024);
    for (int round = 0; round < 500; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 100);
        for (int i = 0; i < n; ++i)
            s += rng() % 4 ? pieces[rng() % std::size(pieces)] : std::string(1, static_cast<char>(rng()));
        const std::string text = StringText(s);
        ASSERT_TRUE(ValidUtf8(text)) << text;
        ASSERT_EQ(ReadBack(text), s);
    }
}
