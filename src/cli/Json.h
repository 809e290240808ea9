// Minimal JSON text output for the command line.
#pragma once

#include <string>
#include <string_view>

namespace pictavo::cli {

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace pictavo::cli
