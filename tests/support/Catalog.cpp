#include "support/Catalog.h"

#include <algorithm>
#include <stdexcept>

namespace pictavo::test {

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr size_t kHeaderSize = 28;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) throw std::runtime_error("catalog cut short");
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

// The string of the table entry at `at` (its length, then its offset).
std::string Get(const std::vector<uint8_t>& bytes, size_t at) {
    const uint32_t length = Get32(bytes, at), offset = Get32(bytes, at + 4);
    if (offset > bytes.size() || bytes.size() - offset < size_t{length} + 1)
        throw std::runtime_error("string past end");
    return std::string(bytes.begin() + offset, bytes.begin() + offset + length);
}

}  // namespace

std::vector<uint8_t> MakeCatalog(std::vector<CatalogMessage> messages) {
    messages.push_back({"", "Content-Type: text/plain; charset=UTF-8\n"
                            "Plural-Forms: nplurals=2; plural=(n != 1);\n"});
    std::sort(messages.begin(), messages.end(),
              [](const CatalogMessage& a, const CatalogMessage& b) { return a.Msgid < b.Msgid; });
    const size_t n = messages.size();
    std::vector<uint8_t> out(kHeaderSize + 16 * n);
    Put32(out, 0, kMagic);
    Put32(out, 4, 0);
    Put32(out, 8, static_cast<uint32_t>(n));
    Put32(out, 12, kHeaderSize);
    Put32(out, 16, static_cast<uint32_t>(kHeaderSize + 8 * n));
    Put32(out, 20, 0);
    Put32(out, 24, static_cast<uint32_t>(out.size()));
    auto add = [&](size_t entry, const std::string& text) {
        Put32(out, entry, static_cast<uint32_t>(text.size()));
        Put32(out, entry + 4, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    };
    for (size_t i = 0; i < n; ++i) add(kHeaderSize + 8 * i, messages[i].Msgid);
    for (size_t i = 0; i < n; ++i) add(kHeaderSize + 8 * (n + i), messages[i].Msgstr);
    return out;
}

std::vector<CatalogMessage> ReadCatalog(const std::vector<uint8_t>& bytes) {
    if (Get32(bytes, 0) != kMagic) throw std::runtime_error("not a little-endian .mo file");
    const uint32_t n = Get32(bytes, 8), originals = Get32(bytes, 12), translations = Get32(bytes, 16);
    if (n > bytes.size() / 16) throw std::runtime_error("too many messages");
    std::vector<CatalogMessage> messages;
    for (size_t i = 0; i < n; ++i) {
        CatalogMessage message{Get(bytes, originals + 8 * i), Get(bytes, translations + 8 * i)};
        if (!message.Msgid.empty()) messages.push_back(std::move(message));
    }
    return messages;
}

std::vector<std::string> SplitAtNul(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace pictavo::test
