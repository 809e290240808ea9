#include "settings/PropFilerEh.h"

#include "base/Text.h"

#include <algorithm>
#include <limits>

namespace pictavo {

namespace {

bool IsIdentStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes 1 to 32 separate tokens; a NUL byte is not text and stops the reading.
bool IsBlank(unsigned char c) { return c != 0 && c <= ' '; }

// Length of the character at s[i] when it may stand between quotes: printable ASCII but the
// quote, or a well-formed UTF-8 character. 0 for a byte that is written as a "#" code: a
// control byte, the quote, and a byte of text that is not UTF-8 (a path in another encoding),
// so that the stored text is always UTF-8 and still gives back the very bytes it was given.
size_t QuotableLength(std::string_view s, size_t i) {
    if (i >= s.size()) return 0;
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < ' ' || c == '\'') return 0;
    return Utf8CharLength(s, i);
}

// The words that open and close an object; no property may be called so.
bool IsKeyword(std::string_view name) {
    return CompareTextAscii(name, "object") == 0 || CompareTextAscii(name, "end") == 0;
}

}  // namespace

// --- values and names --------------------------------------------------------------------

TPropValueEh TPropValueEh::FromInteger(int64_t value) {
    TPropValueEh v;
    v.Kind = TKind::Integer;
    v.Integer = value;
    return v;
}

TPropValueEh TPropValueEh::FromIdent(std::string ident) {
    TPropValueEh v;
    v.Kind = TKind::Ident;
    v.Text = std::move(ident);
    return v;
}

TPropValueEh TPropValueEh::FromString(std::string text) {
    TPropValueEh v;
    v.Kind = TKind::String;
    v.Text = std::move(text);
    return v;
}

bool IsPropIdent(std::string_view name) {
    if (name.empty() || !IsIdentStart(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return IsIdentChar(static_cast<unsigned char>(c)); });
}

bool IsPropName(std::string_view name) {
    size_t start = 0;
    for (;;) {
        const size_t dot = name.find('.', start);
        if (!IsPropIdent(name.substr(start, dot == std::string_view::npos ? dot : dot - start))) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

// --- writer ------------------------------------------------------------------------------

void TPropWriterEh::Indent(int level) { FText.append(static_cast<size_t>(level) * 2, ' '); }

void TPropWriterEh::WriteObjectBegin(std::string_view name, std::string_view className) {
    if (FValuePending) throw EPropWriteError("property value expected before an object");
    if (FOpen.empty() && FWroteObject) throw EPropWriteError("the outermost object is closed");
    if (!IsPropIdent(name)) throw EPropWriteError("not a component name: " + std::string(name));
    if (!IsPropIdent(className)) throw EPropWriteError("not a class name: " + std::string(className));
    Indent(Level());
    FText += "object ";
    FText += name;
    FText += ": ";
    FText += className;
    FText += '\n';
    FOpen.emplace_back(name);
    FWroteObject = true;
}

void TPropWriterEh::WriteObjectEnd() {
    if (FValuePending) throw EPropWriteError("property value expected before \"end\"");
    if (FOpen.empty()) throw EPropWriteError("no object is open");
    FOpen.pop_back();
    Indent(Level());
    FText += "end\n";
}

void TPropWriterEh::EnterComponents(std::span<const TComponentRefEh> chain) {
    if (FValuePending) throw EPropWriteError("property value expected before an object");
    if (FOpen.empty()) throw EPropWriteError("no object is open");
    for (const TComponentRefEh& ref : chain) {
        if (!IsPropIdent(ref.Name)) throw EPropWriteError("not a component name: " + ref.Name);
        if (!IsPropIdent(ref.ClassName)) throw EPropWriteError("not a class name: " + ref.ClassName);
    }
    // FOpen[0] is the outermost object; FOpen[1 + i] is the block of chain[i] when shared.
    size_t common = 0;
    while (common < chain.size() && common + 1 < FOpen.size() && FOpen[common + 1] == chain[common].Name) ++common;
    while (FOpen.size() > common + 1) WriteObjectEnd();
    for (size_t i = common; i < chain.size(); ++i) WriteObjectBegin(chain[i].Name, chain[i].ClassName);
}

void TPropWriterEh::WritePropName(std::string_view name) {
    if (FValuePending) throw EPropWriteError("property value expected");
    if (FOpen.empty()) throw EPropWriteError("no object is open");
    // A name beginning with "end" or "object" would read back as the end of the object or
    // as a nested one.
    if (!IsPropName(name) || IsKeyword(name.substr(0, name.find('.'))))
        throw EPropWriteError("not a property name: " + std::string(name));
    Indent(Level());
    FText += name;
    FText += " = ";
    FValuePending = true;
}

void TPropWriterEh::BeginValue() {
    if (!FValuePending) throw EPropWriteError("a value needs a property name before it");
}

void TPropWriterEh::EndValue() {
    FText += '\n';
    FValuePending = false;
}

void TPropWriterEh::WriteInteger(int64_t value) {
    BeginValue();
    FText += std::to_string(value);
    EndValue();
}

void TPropWriterEh::WriteIdent(std::string_view ident) {
    BeginValue();
    if (!IsPropIdent(ident)) throw EPropWriteError("not an identifier: " + std::string(ident));
    FText += ident;
    EndValue();
}

void TPropWriterEh::WriteBoolean(bool value) { WriteIdent(value ? "True" : "False"); }

void TPropWriterEh::WriteString(std::string_view s) {
    BeginValue();
    const size_t length = s.size();
    if (length == 0) {
        FText += "''";
        EndValue();
        return;
    }
    // Continuation lines are one level deeper than the property.
    const int level = Level() + 1;
    auto newLine = [&] {
        FText += '\n';
        Indent(level);
    };
    if (length > kStringPieceBytes) newLine();
    size_t i = 0;
    size_t lineStart = 0;  // the byte of s that the current line began with
    while (i < length) {
        bool lineBreak = false;
        size_t n = QuotableLength(s, i);
        if (n > 0) {
            // A run of whole characters, as many as the line's piece holds: a cut never falls
            // inside a character.
            const size_t runStart = i;
            while (n > 0 && i + n - lineStart <= kStringPieceBytes) {
                i += n;
                n = QuotableLength(s, i);
            }
            lineBreak = n > 0 || i - lineStart >= kStringPieceBytes;
            if (i > runStart) {
                FText += '\'';
                FText.append(s.substr(runStart, i - runStart));
                FText += '\'';
            }
        } else {
            FText += '#';
            FText += std::to_string(static_cast<unsigned char>(s[i]));
            ++i;
            if (i - lineStart >= kStringPieceBytes) lineBreak = true;
        }
        if (lineBreak && i < length) {
            FText += " +";
            newLine();
            lineStart = i;
        }
    }
    EndValue();
}

void TPropWriterEh::WriteValue(const TPropValueEh& value) {
    switch (value.Kind) {
    case TPropValueEh::TKind::Integer:
        WriteInteger(value.Integer);
        break;
    case TPropValueEh::TKind::Ident:
        WriteIdent(value.Text);
        break;
    case TPropValueEh::TKind::String:
        WriteString(value.Text);
        break;
    }
}

std::vector<std::string> TPropWriterEh::Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < FText.size()) {
        size_t end = FText.find('\n', start);
        if (end == std::string::npos) end = FText.size();
        lines.emplace_back(FText, start, end - start);
        start = end + 1;
    }
    return lines;
}

// --- reader ------------------------------------------------------------------------------

int TPropReaderEh::Line() const {
    // Counted on from the last answer when the reader has moved forward since, so that many
    // failed reads along a long text do not count its lines again and again.
    const size_t end = std::min(FPos, FText.size());
    if (end < FLinePos) {
        FLinePos = 0;
        FLineNumber = 1;
    }
    FLineNumber += static_cast<int>(std::count(FText.begin() + static_cast<ptrdiff_t>(FLinePos),
                                               FText.begin() + static_cast<ptrdiff_t>(end), '\n'));
    FLinePos = end;
    return FLineNumber;
}

void TPropReaderEh::Fail(const std::string& what) const {
    throw EPropReadError("line " + std::to_string(Line()) + ": " + what);
}

void TPropReaderEh::SkipBlanks() {
    while (FPos < FText.size() && IsBlank(static_cast<unsigned char>(FText[FPos]))) ++FPos;
}

TPropReaderEh::TToken TPropReaderEh::Peek() {
    SkipBlanks();
    if (FPos >= FText.size()) return TToken::End;
    const auto c = static_cast<unsigned char>(FText[FPos]);
    if (IsIdentStart(c)) return TToken::Ident;
    if (IsDigit(c) || c == '$') return TToken::Integer;
    if (c == '-' && FPos + 1 < FText.size()) {
        const auto next = static_cast<unsigned char>(FText[FPos + 1]);
        if (IsDigit(next)) return TToken::Integer;
    }
    if (c == '\'' || c == '#') return TToken::String;
    return TToken::Symbol;
}

bool TPropReaderEh::AtEnd() { return Peek() == TToken::End; }

std::string_view TPropReaderEh::ReadIdentToken() {
    if (Peek() != TToken::Ident) Fail("identifier expected");
    const size_t start = FPos;
    while (FPos < FText.size() && IsIdentChar(static_cast<unsigned char>(FText[FPos]))) ++FPos;
    return FText.substr(start, FPos - start);
}

void TPropReaderEh::Expect(char symbol) {
    SkipBlanks();
    if (FPos >= FText.size() || FText[FPos] != symbol) Fail(std::string("\"") + symbol + "\" expected");
    ++FPos;
}

bool TPropReaderEh::NextIsObject() {
    const size_t save = FPos;
    if (Peek() != TToken::Ident) return false;
    const bool is = CompareTextAscii(ReadIdentToken(), "object") == 0;
    FPos = save;
    return is;
}

bool TPropReaderEh::EndOfList() {
    const size_t save = FPos;
    if (Peek() != TToken::Ident) return false;
    const bool is = CompareTextAscii(ReadIdentToken(), "end") == 0;
    FPos = save;
    return is;
}

void TPropReaderEh::ReadListEnd() {
    if (!EndOfList()) Fail("\"end\" expected");
    ReadIdentToken();
}

void TPropReaderEh::ReadObjectHeader(std::string& name, std::string& className) {
    if (!NextIsObject()) Fail("\"object\" expected");
    ReadIdentToken();
    name = std::string(ReadIdentToken());
    Expect(':');
    className = std::string(ReadIdentToken());
}

std::string TPropReaderEh::ReadPropName() {
    std::string name(ReadIdentToken());
    if (IsKeyword(name)) Fail("property name expected");
    while (FPos < FText.size() && FText[FPos] == '.') {
        ++FPos;
        if (FPos >= FText.size() || !IsIdentStart(static_cast<unsigned char>(FText[FPos])))
            Fail("property name expected after \".\"");
        name += '.';
        name += ReadIdentToken();
    }
    Expect('=');
    return name;
}

TPropReaderEh::TValueKind TPropReaderEh::NextValue() {
    switch (Peek()) {
    case TToken::Integer:
        return TValueKind::Integer;
    case TToken::Ident:
        return TValueKind::Ident;
    case TToken::String:
        return TValueKind::String;
    default:
        return TValueKind::None;
    }
}

int64_t TPropReaderEh::ReadInteger() {
    if (Peek() != TToken::Integer) Fail("integer expected");
    bool negative = false;
    if (FText[FPos] == '-') {
        negative = true;
        ++FPos;
    }
    // The magnitude may reach 2^63 for the most negative value.
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
    uint64_t magnitude = 0;
    size_t digits = 0;
    if (FPos < FText.size() && FText[FPos] == '$') {
        ++FPos;
        int h;
        while (FPos < FText.size() && (h = HexValue(static_cast<unsigned char>(FText[FPos]))) >= 0) {
            if (magnitude > (limit - static_cast<uint64_t>(h)) / 16) Fail("integer out of range");
            magnitude = magnitude * 16 + static_cast<uint64_t>(h);
            ++FPos;
            ++digits;
        }
    } else {
        while (FPos < FText.size() && IsDigit(static_cast<unsigned char>(FText[FPos]))) {
            const auto d = static_cast<uint64_t>(FText[FPos] - '0');
            if (magnitude > (limit - d) / 10) Fail("integer out of range");
            magnitude = magnitude * 10 + d;
            ++FPos;
            ++digits;
        }
    }
    if (digits == 0) Fail("integer expected");
    if (FPos < FText.size()) {
        const auto c = static_cast<unsigned char>(FText[FPos]);
        if (IsIdentChar(c) || c == '.') Fail("integer expected");
    }
    if (!negative) return static_cast<int64_t>(magnitude);
    if (magnitude == uint64_t{1} << 63) return std::numeric_limits<int64_t>::min();
    return -static_cast<int64_t>(magnitude);
}

std::string TPropReaderEh::ReadIdent() {
    if (Peek() != TToken::Ident) Fail("identifier expected");
    return std::string(ReadIdentToken());
}

bool TPropReaderEh::ReadBoolean() {
    const size_t save = FPos;
    const std::string ident = ReadIdent();
    if (CompareTextAscii(ident, "True") == 0) return true;
    if (CompareTextAscii(ident, "False") == 0) return false;
    FPos = save;
    Fail("True or False expected");
}

// One quoted run or one "#" code, appended to nothing: the caller joins them.
std::string TPropReaderEh::ReadStringPiece() {
    std::string piece;
    if (FText[FPos] == '#') {
        ++FPos;
        unsigned value = 0;
        size_t digits = 0;
        if (FPos < FText.size() && FText[FPos] == '$') {
            ++FPos;
            int h;
            while (FPos < FText.size() && (h = HexValue(static_cast<unsigned char>(FText[FPos]))) >= 0) {
                value = value * 16 + static_cast<unsigned>(h);
                if (value > 255) Fail("character code out of range");
                ++FPos;
                ++digits;
            }
        } else {
            while (FPos < FText.size() && IsDigit(static_cast<unsigned char>(FText[FPos]))) {
                value = value * 10 + static_cast<unsigned>(FText[FPos] - '0');
                if (value > 255) Fail("character code out of range");
                ++FPos;
                ++digits;
            }
        }
        if (digits == 0) Fail("character code expected after \"#\"");
        piece += static_cast<char>(value);
        return piece;
    }
    ++FPos;  // the opening quote
    for (;;) {
        if (FPos >= FText.size()) Fail("unterminated string");
        const char c = FText[FPos];
        if (c == '\n' || c == '\r' || c == '\0') Fail("unterminated string");
        ++FPos;
        if (c == '\'') {
            if (FPos < FText.size() && FText[FPos] == '\'') {
                piece += '\'';
                ++FPos;
                continue;
            }
            return piece;
        }
        piece += c;
    }
}

std::string TPropReaderEh::ReadString() {
    if (Peek() != TToken::String) Fail("string expected");
    std::string text;
    for (;;) {
        // Quoted runs and codes follow each other without blanks...
        while (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) text += ReadStringPiece();
        // ...and the pieces of a long string are joined by "+" across line breaks.
        const size_t save = FPos;
        SkipBlanks();
        if (FPos < FText.size() && FText[FPos] == '+') {
            ++FPos;
            if (Peek() != TToken::String) Fail("string expected after \"+\"");
            continue;
        }
        FPos = save;
        return text;
    }
}

TPropValueEh TPropReaderEh::ReadValue() {
    switch (NextValue()) {
    case TValueKind::Integer:
        return TPropValueEh::FromInteger(ReadInteger());
    case TValueKind::Ident:
        return TPropValueEh::FromIdent(ReadIdent());
    case TValueKind::String:
        return TPropValueEh::FromString(ReadString());
    case TValueKind::None:
        break;
    }
    Fail("value expected");
}

void TPropReaderEh::SkipValue() { (void)ReadValue(); }

// --- property paths ----------------------------------------------------------------------

std::optional<TPropertyPathEh> TPropertyPathEh::Parse(std::string_view text) {
    std::vector<std::string_view> segments;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        segments.push_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    // "<P>" must be the one segment before the last.
    if (segments.size() < 2 || segments[segments.size() - 2] != "<P>") return std::nullopt;
    TPropertyPathEh path;
    path.Text = std::string(text);
    for (size_t i = 0; i + 2 < segments.size(); ++i) {
        if (!IsPropIdent(segments[i])) return std::nullopt;
        path.Components.emplace_back(segments[i]);
    }
    if (!IsPropIdent(segments.back()) || IsKeyword(segments.back())) return std::nullopt;
    path.Property = std::string(segments.back());
    return path;
}

int TPropertyNamesEh::CompareNames(std::string_view a, std::string_view b) const {
    return FCompare ? FCompare(a, b) : CompareTextAscii(a, b);
}

int TPropertyNamesEh::ComparePaths(const TPropertyPathEh& a, const TPropertyPathEh& b) const {
    for (size_t i = 0;; ++i) {
        const bool aAtP = i == a.Components.size();
        const bool bAtP = i == b.Components.size();
        if (aAtP && bAtP) return CompareNames(a.Property, b.Property);
        if (aAtP) return -1;
        if (bAtP) return 1;
        const int c = CompareNames(a.Components[i], b.Components[i]);
        if (c != 0) return c;
    }
}

void TPropertyNamesEh::SetCompare(TCompare compare) {
    FCompare = std::move(compare);
    std::stable_sort(FItems.begin(), FItems.end(),
                     [this](const TPropertyPathEh& a, const TPropertyPathEh& b) { return ComparePaths(a, b) < 0; });
    FItems.erase(
        std::unique(FItems.begin(), FItems.end(),
                    [this](const TPropertyPathEh& a, const TPropertyPathEh& b) { return ComparePaths(a, b) == 0; }),
        FItems.end());
}

bool TPropertyNamesEh::Add(std::string_view text) {
    std::optional<TPropertyPathEh> path = TPropertyPathEh::Parse(text);
    if (!path) return false;
    const auto at =
        std::lower_bound(FItems.begin(), FItems.end(), *path,
                         [this](const TPropertyPathEh& a, const TPropertyPathEh& b) { return ComparePaths(a, b) < 0; });
    if (at != FItems.end() && ComparePaths(*at, *path) == 0) return false;
    FItems.insert(at, std::move(*path));
    return true;
}

int TPropertyNamesEh::IndexOf(std::string_view text) const {
    const std::optional<TPropertyPathEh> path = TPropertyPathEh::Parse(text);
    if (!path) return -1;
    const auto at =
        std::lower_bound(FItems.begin(), FItems.end(), *path,
                         [this](const TPropertyPathEh& a, const TPropertyPathEh& b) { return ComparePaths(a, b) < 0; });
    if (at == FItems.end() || ComparePaths(*at, *path) != 0) return -1;
    return static_cast<int>(at - FItems.begin());
}

// --- applying a stored text --------------------------------------------------------------

namespace {

void ReadObjectBody(TPropReaderEh& reader, TPropTargetEh* target, int depth) {
    // The object's properties come first, then its nested blocks, then "end".
    while (!reader.EndOfList() && !reader.NextIsObject()) {
        const std::string name = reader.ReadPropName();
        // Find where the value ends first: a value that cannot be read ends the reading, and
        // whatever the target does, reading goes on right after the value.
        const size_t valueStart = reader.Position();
        reader.SkipValue();
        const size_t valueEnd = reader.Position();
        reader.Seek(valueStart);
        if (target) {
            try {
                target->ReadProperty(reader, name);
            } catch (const std::exception&) {
                // A bad value, a property the component no longer has: skip it.
            }
        }
        reader.Seek(valueEnd);
    }
    while (!reader.EndOfList()) {
        std::string name, className;
        reader.ReadObjectHeader(name, className);
        if (depth >= kMaxObjectNesting) throw EPropReadError("components nested too deeply");
        std::unique_ptr<TPropTargetEh> child;
        if (target) {
            try {
                child = target->FindComponent(name, className);
            } catch (const std::exception&) {
                child.reset();
            }
        }
        ReadObjectBody(reader, child.get(), depth + 1);
    }
    reader.ReadListEnd();
}

}  // namespace

void ReadPropertiesText(std::string_view text, TPropTargetEh& root) {
    TPropReaderEh reader(text);
    std::string name, className;
    reader.ReadObjectHeader(name, className);
    ReadObjectBody(reader, &root, 1);
}

}  // namespace pictavo
