#include "base/Text.h"

#include "base/ByteReader.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace pictavo {

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
}  // namespace

std::string Utf16leToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    const size_t units = bytes.size() / 2;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const uint32_t u = LoadU16le(bytes.subspan(2 * i).first<2>());
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const uint32_t v = LoadU16le(bytes.subspan(2 * i + 2).first<2>());
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

namespace {

// One conversion descriptor per call; glibc's iconv is cheap to open.
class Converter {
public:
    Converter(const char* to, const char* from) : FCd(iconv_open(to, from)) {
        if (FCd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert GB18030");
    }
    ~Converter() { iconv_close(FCd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible of [in, in + n) into out; returns the bytes consumed, or
    // 0 when the first character is invalid or incomplete.
    size_t Step(const char* in, size_t n, std::string& out) {
        char buf[64];
        char* src = const_cast<char*>(in);
        size_t left = n;
        char* dst = buf;
        size_t room = sizeof buf;
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(FCd, &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        (void)r;
        return n - left;
    }

private:
    iconv_t FCd;
};

// Length of the UTF-8 sequence starting with byte c (1 for a stray byte).
size_t Utf8Length(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF4) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC2 && c <= 0xDF) return 2;
    return 1;
}

}  // namespace

std::string Gb18030ToUtf8(std::span<const uint8_t> bytes) {
    Converter cv("UTF-8", "GB18030");
    std::string out;
    const char* p = reinterpret_cast<const char*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        // A GB18030 character is 1, 2 or 4 bytes; convert one at a time so a bad one is
        // replaced alone.
        size_t used = 0;
        for (size_t len : {size_t{1}, size_t{2}, size_t{4}}) {
            if (len > left) break;
            std::string piece;
            if (cv.Step(p, len, piece) == len && !piece.empty()) {
                out += piece;
                used = len;
                break;
            }
        }
        if (used == 0) {
            out += "\xEF\xBF\xBD";
            used = 1;
        }
        p += used;
        left -= used;
    }
    return out;
}

std::string Utf8ToGb18030(std::string_view text, size_t maxBytes) {
    Converter cv("GB18030", "UTF-8");
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t len = std::min(Utf8Length(static_cast<unsigned char>(text[i])), text.size() - i);
        std::string piece;
        if (cv.Step(text.data() + i, len, piece) != len || piece.empty()) piece.assign(1, '?');
        if (out.size() + piece.size() > maxBytes) break;
        out += piece;
        i += len;
    }
    return out;
}

size_t Utf8CharLength(std::string_view text, size_t pos) {
    if (pos >= text.size()) return 0;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return 1;
    size_t length;
    // The range the second byte must lie in: narrower than 80..BF after E0 (overlong), ED
    // (surrogates), F0 (overlong) and F4 (above U+10FFFF).
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - pos < length) return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (!IsUtf8Continuation(text[pos + i])) return 0;
    return length;
}

namespace {

// The code point of the well-formed UTF-8 character at text[i] and its length; length 0 when
// the bytes there are not one.
std::pair<uint32_t, size_t> DecodeUtf8(std::string_view text, size_t i) {
    const size_t n = Utf8CharLength(text, i);
    if (n == 0) return {0, 0};
    uint32_t cp = static_cast<unsigned char>(text[i]) & (n == 1 ? 0x7F : 0x7F >> n);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return {cp, n};
}

// The C library's Unicode character tables, whatever locale the program runs in.
locale_t UnicodeLocale() {
    static const locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l ? l : ::newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

}  // namespace

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i])), y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const locale_t locale = UnicodeLocale();
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += LowerAscii(static_cast<char>(c));
            ++i;
            continue;
        }
        const auto [cp, n] = DecodeUtf8(text, i);
        if (n == 0 || !locale) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const wint_t folded = ::towlower_l(::towupper_l(static_cast<wint_t>(cp), locale), locale);
        AppendUtf8(out, static_cast<uint32_t>(folded));
        i += n;
    }
    return out;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Back to the first byte of the character that the cut would split.
    while (end > 0 && IsUtf8Continuation(text[end])) --end;
    return text.substr(0, end);
}

}  // namespace pictavo
