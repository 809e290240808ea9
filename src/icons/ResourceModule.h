// A module whose resources can be looked up by type and name: what a group icon and its
// images are read from. The executable readers implement it.
#pragma once

#include "base/ByteBuffer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

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
    // not hold it. Resources over the same bytes of the module share one buffer, so a file
    // that points many resources at one place holds those bytes (and their decoded pixels) once.
    virtual std::optional<TSharedBytes> FindResource(uint16_t Type, const TResourceName& Name) const = 0;

    // An icon resource (type 3) by identifier, looked up once however many images name it.
    // Nothing when the module does not hold it.
    std::optional<TSharedBytes> SharedIcon(uint16_t Id) const;

    // Counts one more image made from the module's resources; raises RaiseTooManyImages() past
    // kMaxImagesPerFile. Group records may name the same images again and again, so this bounds
    // what reading one file can make.
    void CountImage() const;

private:
    mutable std::unordered_map<uint16_t, std::optional<TSharedBytes>> FSharedIcons;
    mutable uint32_t FImagesMade = 0;
};

}  // namespace pictavo
