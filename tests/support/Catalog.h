// gettext catalogs (.mo files) built and read by tests: hostile ones where the programs must not
// trust them, and the build's own to check every translation it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo::test {

// One message: msgid and its translation. A text with a count has "msgid\0plural" and its forms
// "form0\0form1..." (as .mo files keep them).
struct CatalogMessage {
    std::string Msgid;
    std::string Msgstr;
};

// The bytes of a .mo file holding these messages, behind a header entry that declares UTF-8 and
// English plurals. Little-endian, without the hash table: gettext then finds a message by a
// binary search of the sorted msgids.
std::vector<uint8_t> MakeCatalog(std::vector<CatalogMessage> messages);

// The messages of a .mo file (the header entry left out); throws on bytes that are not one.
std::vector<CatalogMessage> ReadCatalog(const std::vector<uint8_t>& bytes);

// The parts of a text split at NUL characters ("a\0b" gives "a" and "b").
std::vector<std::string> SplitAtNul(const std::string& text);

}  // namespace pictavo::test
