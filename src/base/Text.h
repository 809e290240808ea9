// Text conversions between the encodings files carry and the UTF-8 used everywhere else.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pictavo {

// UTF-16LE bytes (an odd last byte is ignored) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16leToUtf8(std::span<const uint8_t> bytes);

}  // namespace pictavo
