// A module whose resources can be looked up by type and name: what a group icon and its
// images are read from. The executable readers implement it.
#pragma once

#include "base/ByteBuffer.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <optional>
#include <span>
#include <string>

namespace pictavo {

// A resource name: an integer identifier or a text.
struct TResourceName {
    bool IsId = true;
    uint16_t Id = 0;
    std::string Text;  // UTF-8, cut at the first NUL; only when !IsId

    static TResourceName FromId(uint16_t id) { return {true, id, {}}; }
    static TResourceName FromText(std::string text) { return {false, 0, std::move(text)}; }
    // The name as users see it: the identifier in decimal, or the text.
    std::string Display() const { return IsId ? std::to_string(Id) : Text; }
};

class TResourceModule {
public:
    virtual ~TResourceModule() = default;
    // The bytes of the resource of an integer type and a name; nothing when the module does
    // not hold it. The bytes stay valid while the module lives.
    virtual std::optional<std::span<const uint8_t>> FindResource(uint16_t Type, const TResourceName& Name) const = 0;

    // A copy of an icon resource (type 3) by identifier that every image naming it shares, so
    // that a group listing one icon many times holds its bytes (and its decoded pixels) once.
    // Null when the module does not hold it.
    std::shared_ptr<const TByteBuffer> SharedIcon(uint16_t Id) const;

private:
    mutable std::unordered_map<uint16_t, std::shared_ptr<const TByteBuffer>> FSharedIcons;
};

}  // namespace pictavo
