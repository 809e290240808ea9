// An icon: an ordered list of images, read from and written to .ico files.
#pragma once

#include "base/FileIO.h"
#include "icons/IconImage.h"
#include "icons/ResourceModule.h"

#include <memory>
#include <string>

namespace pictavo {

class TStream;
class ByteCursor;

class TAdvancedIcon {
public:
    TAdvancedIcon() = default;
    virtual ~TAdvancedIcon() = default;
    TAdvancedIcon(const TAdvancedIcon&) = delete;
    TAdvancedIcon& operator=(const TAdvancedIcon&) = delete;

    // A new empty icon of the same class (the virtual constructor).
    virtual std::unique_ptr<TAdvancedIcon> Create() const { return std::make_unique<TAdvancedIcon>(); }
    // Replaces the images by independent plain copies of Source's images.
    virtual void Assign(const TAdvancedIcon& Source);

    TIconImageList& Images() { return FImages; }
    const TIconImageList& Images() const { return FImages; }

    // Reads a 6-byte icon directory header at the cursor. False for fewer than 6 bytes,
    // reserved not 0 or type not 1; otherwise Count := the header's count and True.
    bool ReadHeader(ByteCursor& Cursor, uint16_t& Count);

    // Reads a group icon (type 14) of a module and appends its images. False when the group's
    // header is not an icon header. Raises EResNotFound ("找不到资源 %s") when the group or
    // an icon it names is missing, and RaiseTooManyImages() past the module's image bound;
    // images added before stay.
    bool LoadFromResource(const TResourceModule& Instance, const TResourceName& ResName);

    // Replaces the images by those of an .ico file. True when the file has an icon header
    // (even with no entries); False otherwise. Raises EFOpenError when it cannot be opened and
    // EReadError when it is larger than kMaxWholeFileRead.
    bool LoadFromFile(const std::string& FileName);
    // The same read from bytes already at hand (the stream starts at the file's first byte;
    // the header is read at its position).
    bool LoadFromStream(TStream& Stream);
    // The same from a file's bytes read whole; every image shares them.
    bool LoadFromBytes(std::shared_ptr<const TByteBuffer> File);
    // The image bytes a save writes: images over the very same bytes count once.
    uint64_t ImageBytes() const;
    // Writes the icon in .ico layout into an empty stream; nothing for an icon without images.
    void SaveToStream(TStream& Stream) const;
    // Writes the icon as an .ico file, replacing the file atomically; creates nothing when the
    // icon has no images. Raises EFCreateError when the file cannot be created and
    // EWriteError when it cannot be written.
    void SaveToFile(const std::string& FileName, TSaveTarget How = TSaveTarget::FollowLinks) const;

private:
    // The header at the cursor and the images its entries point to in File.
    bool Load(ByteCursor& Cursor, const std::shared_ptr<const TByteBuffer>& File);

    TIconImageList FImages;
};

// An independent copy of Icon that holds only its image at Index (nullptr when there is no
// such image): what saving one image of an icon writes.
std::unique_ptr<TAdvancedIcon> CopyWithOneImage(const TAdvancedIcon& Icon, int Index);

}  // namespace pictavo
