// Binary records of icon directories. Little-endian and packed; read and written byte by
// byte so the layout never depends on the compiler's struct padding or the host's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace pictavo {

class ByteCursor;

inline constexpr uint16_t RT_ICON = 3;
inline constexpr uint16_t RT_GROUP_ICON = 14;

// Header of an .ico file and of a group-icon resource.
struct TIconDir {
    static constexpr size_t Size = 6;
    uint16_t Reserved = 0;  // must be 0
    uint16_t Type = 0;      // must be 1 (icon)
    uint16_t Count = 0;     // entries that follow

    static TIconDir Read(std::span<const uint8_t, Size> b);
    // The record at the cursor, which moves past it; raises EReadError when it is not whole.
    static TIconDir Read(ByteCursor& c);
    void Write(std::span<uint8_t, Size> b) const;
};

// The 12 bytes every directory entry begins with and every image keeps.
struct TIconEntryInfo {
    static constexpr size_t Size = 12;
    uint8_t Width = 0;       // 0 stands for 256
    uint8_t Height = 0;      // 0 stands for 256
    uint8_t ColorCount = 0;  // palette colours, 0 for 256 and more
    uint8_t Reserved = 0;
    uint16_t Planes = 0;
    uint16_t BitCount = 0;    // the image's colour depth everywhere in the program
    uint32_t BytesInRes = 0;  // length of the image bytes

    static TIconEntryInfo Read(std::span<const uint8_t, Size> b);
    void Write(std::span<uint8_t, Size> b) const;
    bool operator==(const TIconEntryInfo&) const = default;
};

// Entry of an .ico file: the info and the image's absolute position in the file.
struct TIconDirEntry {
    static constexpr size_t Size = 16;
    TIconEntryInfo Info;
    uint32_t ImageOffset = 0;

    static TIconDirEntry Read(std::span<const uint8_t, Size> b);
    // The record at the cursor, which moves past it; raises EReadError when it is not whole.
    static TIconDirEntry Read(ByteCursor& c);
    void Write(std::span<uint8_t, Size> b) const;
};

// Entry of a group-icon resource and of an ICL group: the info and an RT_ICON identifier.
struct TGroupIconDirEntry {
    static constexpr size_t Size = 14;
    TIconEntryInfo Info;
    uint16_t IconId = 0;

    static TGroupIconDirEntry Read(std::span<const uint8_t, Size> b);
    // The record at the cursor, which moves past it; raises EReadError when it is not whole.
    static TGroupIconDirEntry Read(ByteCursor& c);
    void Write(std::span<uint8_t, Size> b) const;
};

// The most bytes a group-icon resource's header and entries can take (a 16-bit count of them).
inline constexpr uint64_t kMaxGroupBytes = TIconDir::Size + uint64_t{0xFFFF} * TGroupIconDirEntry::Size;

// Where the bytes of one image of an icon lie in its file, with its directory entry: the
// offset and as many bytes as the file holds of it (never more than its entry or resource says).
struct TImageRange {
    TIconEntryInfo Info;
    uint64_t Offset = 0;
    uint64_t Size = 0;
};

// Where an icon resource lies: its offset and how many of its bytes the file holds.
struct TResourceSpan {
    uint64_t Offset = 0;
    uint64_t Size = 0;
};

// The images a group-icon resource names, in its order, each as much of its icon resource as
// its entry claims and the resource holds. Locate gives the span of the icon resource of an id
// or raises. Empty when Group does not begin with an icon header; an entry cut short raises
// EReadError.
std::vector<TImageRange> GroupImages(std::span<const uint8_t> Group,
                                     const std::function<TResourceSpan(uint16_t IconId)>& Locate);

}  // namespace pictavo
