// Text conversions between the encodings files carry and the UTF-8 used everywhere else.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pictavo {

// UTF-16LE bytes (an odd last byte is ignored) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16leToUtf8(std::span<const uint8_t> bytes);

// Bytes of the GB18030 code page (a superset of GBK) to UTF-8; a byte sequence that is not
// GB18030 becomes U+FFFD.
std::string Gb18030ToUtf8(std::span<const uint8_t> bytes);

// UTF-8 text to GB18030 bytes, at most maxBytes of them, never ending inside a character.
// Bytes that are not valid UTF-8 become "?".
std::string Utf8ToGb18030(std::string_view text, size_t maxBytes = std::string::npos);

// Length (1 to 4) of the well-formed UTF-8 character that begins at text[pos]; 0 when the
// bytes there are not one (a stray continuation byte, a cut or overlong sequence, a surrogate,
// a code point above U+10FFFF) or pos is past the end.
size_t Utf8CharLength(std::string_view text, size_t pos);
// Whether a byte continues a UTF-8 character rather than beginning one.
inline bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// The bytes to step over at text[pos] (pos < text.size()) to pass one character: a whole
// well-formed character, or 1 for a byte that does not begin one.
inline size_t Utf8Step(std::string_view text, size_t pos) {
    const size_t n = Utf8CharLength(text, pos);
    return n ? n : 1;
}

// An ASCII letter lowered; any other byte as it is.
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
// ASCII letters lowered; other bytes as they are.
std::string LowerAscii(std::string_view text);
// Case-insensitive comparison for ASCII letters; other bytes compare as they are.
bool SameTextAscii(std::string_view a, std::string_view b);
// Order of two texts with ASCII letters lowered, byte by byte, a text before its longer
// continuations: negative, zero or positive.
int CompareTextAscii(std::string_view a, std::string_view b);

// Text folded for comparisons without regard to case: ASCII letters lowered, other letters
// mapped through Unicode's simple case mappings (upper, then lower, so that "Σ", "σ" and "ς"
// fold alike). Bytes that are not valid UTF-8 stay as they are.
std::string FoldCase(std::string_view text);

// The longest start of a UTF-8 text of at most maxBytes bytes that does not end inside a
// character.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);

}  // namespace pictavo
