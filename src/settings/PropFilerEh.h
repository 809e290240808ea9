// The text notation of stored window properties: the writer, the reader, the sorted list of
// property paths, and the walk that applies a stored text to a form and its components.
//
// A stored text reads like this (two spaces of indentation per level):
//
//   object wnd_pv_Main: Twnd_pv_Main
//     Height = 641
//     WindowState = wsNormal
//     LastFolder = '/home/user/icons'
//     object ShellPanel: TPanel
//       Height = 250
//     end
//   end
//
// Values are integers in decimal, identifiers, or strings: single-quoted runs of bytes with
// "#" and a decimal code outside the quotes for a byte below 32, for a quote and for a byte
// that is not part of a well-formed UTF-8 character ('caf'#233 for the Latin-1 bytes of
// "café"). A string over 64 bytes starts on a new line and is cut into pieces of 64 bytes,
// joined by " +" and a line break; the text is UTF-8 whatever bytes a string holds, and a cut
// never falls inside a character.
#pragma once

#include "base/Errors.h"
#include "base/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo {

// A stored text that cannot be read: a syntax error, a value of another kind than asked for,
// nesting deeper than kMaxObjectNesting. what() begins with the line number.
class EPropReadError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// The writer was used out of order or given a name the notation cannot hold.
class EPropWriteError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// Component blocks nest at most this deep in a stored text; a deeper text is refused rather
// than followed into ever deeper recursion.
inline constexpr int kMaxObjectNesting = 32;

// Strings are cut into pieces of this many bytes.
inline constexpr size_t kStringPieceBytes = 64;

// One stored value.
struct TPropValueEh {
    enum class TKind { Integer, Ident, String };
    TKind Kind = TKind::Integer;
    int64_t Integer = 0;
    std::string Text;  // the identifier, or the string's bytes

    static TPropValueEh FromInteger(int64_t value);
    static TPropValueEh FromIdent(std::string ident);
    static TPropValueEh FromString(std::string text);
    bool operator==(const TPropValueEh&) const = default;
};

// Whether a name can be written as a component, class, property or identifier: a letter or
// "_", then letters, digits and "_" (ASCII). Property names may join such names with ".".
bool IsPropIdent(std::string_view name);
bool IsPropName(std::string_view name);

// A component block of a property path: the component's name and the class name written
// after it.
struct TComponentRefEh {
    std::string Name;
    std::string ClassName;
};

// Writes the text form. The object header opens a level, WriteObjectEnd closes it; a property
// is a name followed by exactly one value. Misuse raises EPropWriteError.
class TPropWriterEh {
public:
    // "object NAME: CLASS" at the current level; what follows is one level deeper.
    void WriteObjectBegin(std::string_view name, std::string_view className);
    // "end" of the innermost open object.
    void WriteObjectEnd();

    // Makes `chain` (outermost first) the nested component blocks open below the outermost
    // object: blocks of the common leading components stay open, the others are closed with
    // "end" and the new ones opened. An empty chain closes every nested block.
    void EnterComponents(std::span<const TComponentRefEh> chain);

    // "NAME = ", to be followed by one value.
    void WritePropName(std::string_view name);
    void WriteInteger(int64_t value);
    void WriteIdent(std::string_view ident);
    void WriteBoolean(bool value);  // True / False
    void WriteString(std::string_view text);
    void WriteValue(const TPropValueEh& value);

    // Open objects (the outermost counts as one).
    int Level() const { return static_cast<int>(FOpen.size()); }
    // Every object closed and no property waiting for its value.
    bool Complete() const { return FOpen.empty() && !FValuePending && FWroteObject; }

    // The text, each line ended by "\n"; and the same split into lines without line breaks.
    const std::string& Text() const { return FText; }
    std::vector<std::string> Lines() const;

private:
    void Indent(int level);
    void BeginValue();
    void EndValue();

    std::string FText;
    std::vector<std::string> FOpen;  // names of the open objects, outermost first
    bool FValuePending = false;
    bool FWroteObject = false;
};

// Reads the text form token by token. Line breaks and blanks between tokens do not matter;
// a quoted run must end on its own line. Every method raises EPropReadError when the text
// does not hold what it asks for; the reader never reads past the text.
class TPropReaderEh {
public:
    enum class TValueKind { Integer, Ident, String, None };

    explicit TPropReaderEh(std::string_view text) : FText(text) {}

    // "object NAME: CLASS".
    void ReadObjectHeader(std::string& name, std::string& className);
    // The next token is the word "object" / "end" (in any case).
    bool NextIsObject();
    bool EndOfList();
    // Reads "end".
    void ReadListEnd();

    // "NAME =" (NAME may be dotted), returning NAME.
    std::string ReadPropName();

    // The kind of the value that follows; None when no value follows.
    TValueKind NextValue();
    int64_t ReadInteger();
    std::string ReadIdent();
    bool ReadBoolean();  // the identifiers True and False, in any case
    std::string ReadString();
    TPropValueEh ReadValue();
    void SkipValue();

    // Nothing but blanks and line breaks left.
    bool AtEnd();

    size_t Position() const { return FPos; }
    void Seek(size_t position) { FPos = position < FText.size() ? position : FText.size(); }
    // 1-based line of the current position.
    int Line() const;

private:
    enum class TToken { End, Ident, Integer, String, Symbol };
    TToken Peek();
    void SkipBlanks();
    std::string_view ReadIdentToken();
    void Expect(char symbol);
    [[noreturn]] void Fail(const std::string& what) const;
    std::string ReadStringPiece();

    std::string_view FText;
    size_t FPos = 0;
    mutable size_t FLinePos = 0;  // Line() was last asked at this position...
    mutable int FLineNumber = 1;  // ...and answered this
};

// One parsed property path: the component names before "<P>" (empty for the form's own
// property) and the property name after it.
struct TPropertyPathEh {
    std::string Text;
    std::vector<std::string> Components;
    std::string Property;

    // "pc.TabSheet1.IconBox.<P>.Width" -> {pc, TabSheet1, IconBox}, Width. Nothing for a path
    // that is not of this form (empty segments, no "<P>" or more than one, more than one
    // segment after it, names that are not identifiers).
    static std::optional<TPropertyPathEh> Parse(std::string_view text);
};

// The stored property paths, kept sorted segment by segment: a "<P>" segment before any
// component name at the same level, names in case-insensitive order (by default ASCII; the
// window sets the user's locale order). Duplicates are not added.
class TPropertyNamesEh {
public:
    // Negative, zero or positive as a sorts before, equal to or after b.
    using TCompare = std::function<int(std::string_view a, std::string_view b)>;

    TPropertyNamesEh() = default;

    // Sets the order of names and sorts again (duplicates under the new order are dropped).
    void SetCompare(TCompare compare);

    // Adds a path at its place; false when it is malformed or already there.
    bool Add(std::string_view path);
    void Clear() { FItems.clear(); }
    size_t Count() const { return FItems.size(); }
    const TPropertyPathEh& operator[](size_t index) const { return FItems.at(index); }
    const std::vector<TPropertyPathEh>& Items() const { return FItems; }
    // Index of an equal path, or -1.
    int IndexOf(std::string_view path) const;

    int ComparePaths(const TPropertyPathEh& a, const TPropertyPathEh& b) const;

private:
    int CompareNames(std::string_view a, std::string_view b) const;

    TCompare FCompare;
    std::vector<TPropertyPathEh> FItems;
};

// What a stored text is applied to: the form at the top, its components below.
class TPropTargetEh {
public:
    virtual ~TPropTargetEh() = default;
    // Reads the value of property `name` (the reader stands at the value) and applies it. It
    // may raise or leave the value unread; either way reading goes on after the value.
    virtual void ReadProperty(TPropReaderEh& reader, const std::string& name) = 0;
    // The component of this name inside this one, or null when there is none; its block is
    // then read and discarded.
    virtual std::unique_ptr<TPropTargetEh> FindComponent(const std::string& name, const std::string& className) = 0;
};

// Reads a whole stored text and applies it to `root`. A property whose reading or applying
// raises is skipped and reading goes on with the next one. A text that cannot be read raises
// EPropReadError there; what was applied before stays. Anything after the outermost "end"
// is ignored.
void ReadPropertiesText(std::string_view text, TPropTargetEh& root);

}  // namespace pictavo
