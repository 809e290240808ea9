// One image of an icon (its directory info, its bytes and its lazily made pixels) and the
// owning list of images an icon holds.
#pragma once

#include "base/ByteBuffer.h"
#include "icons/IconRaster.h"
#include "icons/IconTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace pictavo {

class TStream;
class THiResIcon;

// What an image's pixels are made from, apart from the image object: its bytes (held) and the
// size to make them at. Decoding touches nothing but these and the buffer's shared cache and
// budget, so it may run on another thread while the image is used, changed or freed.
struct TPixelSource {
    std::shared_ptr<const TByteBuffer> Buffer;
    size_t Offset = 0;
    size_t Size = 0;
    int Width = 0, Height = 0;  // 0 x 0: the picture's own size

    // The pixels, shared with every holder of the same ones; null when the bytes cannot be
    // decoded, or (with overBudget set) when the file's images hold too many decoded pixels.
    std::shared_ptr<const TIconRaster> Decode(bool& overBudget) const;
};

class TIconImage {
public:
    // An empty image: no bytes, no handle, every field 0.
    TIconImage() = default;
    virtual ~TIconImage() = default;
    TIconImage(const TIconImage&) = delete;
    TIconImage& operator=(const TIconImage&) = delete;

    // A plain TIconImage with Source's info and bytes. The bytes are immutable, so the copy
    // shares them and stays valid and unchanged whatever becomes of Source; nothing is decoded
    // for it, and it makes its pixels on first use like any image.
    static std::unique_ptr<TIconImage> CreateCopy(const TIconImage& Source);

    // The decoded pixels at the entry's width and height bytes (0 = the image's own size),
    // made on first use; nullptr when the bytes cannot be decoded (the "0 handle").
    const TIconRaster* GetHandle() const;
    // The pixels at the image's own width and height (not squared to the entry's size), for
    // exporting the picture whole; made on each call unless someone still holds them, and
    // not kept by the image. Null when the bytes cannot be decoded or the file's decode
    // budget is spent.
    std::shared_ptr<const TIconRaster> OwnSizePixels() const;
    // Where the handle's pixels and the own-size pixels are made from, for decoding elsewhere.
    TPixelSource HandleSource() const;
    TPixelSource OwnSizeSource() const;
    // A graphic over this image's pixels; the pixels stay the image's.
    std::unique_ptr<THiResIcon> CreateGraphic() const;
    // Derives the square size from the image bytes and writes its low 8 bits into the
    // width and height bytes of the info; derives Depth().
    void UpdateSize();
    // Writes bytes-in-resource bytes of the image at the stream's position.
    void WriteData(TStream& Stream) const;
    // Draws the pixels with their mask and alpha applied, top-left at (X, Y), at the entry's
    // size (a size byte of 0, a 256-pixel image, draws at the image's own size).
    void Draw(struct TRasterCanvas& Canvas, int X, int Y) const;

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    const TIconEntryInfo& Info() const { return FInfo; }
    // The entry's bit count, as stored and written back.
    uint16_t BitCount() const { return FInfo.BitCount; }
    // The colour depth shown and sorted by: the entry's bit count, or where that is 0 (as in
    // many real files) the depth the image's own header gives.
    uint16_t Depth() const { return FDepth; }
    // The image bytes: exactly bytes-in-resource bytes.
    std::span<const uint8_t> Data() const {
        return FBuffer ? FBuffer->Bytes().subspan(FOffset, FInfo.BytesInRes) : std::span<const uint8_t>();
    }
    bool HasData() const { return FInfo.BytesInRes > 0; }
    // The buffer the bytes lie in and where in it they begin.
    const std::shared_ptr<const TByteBuffer>& Buffer() const { return FBuffer; }
    size_t Offset() const { return FOffset; }
    // Takes the same bytes from another buffer, at Offset of it (a copy of just the image's
    // bytes, so that the buffer of a whole file need not be kept). Pixels already made stay.
    void Rebase(std::shared_ptr<const TByteBuffer> Buffer, size_t Offset);
    bool IsPng() const { return IsPngData(Data()); }
    // "%d x %d - %dbit": width, height and Depth().
    std::string Label() const;

protected:
    // Takes the info and a copy of the bytes. The bytes-in-resource field never claims more
    // bytes than the image holds: when fewer exist it is lowered to what exists, so nothing
    // downstream reads or writes past them. Bytes beyond the field are kept but not used.
    void SetContent(const TIconEntryInfo& Info, std::span<const uint8_t> Data);
    // The same over bytes shared with other images: at most Available of them from Offset
    // (never past the buffer's end).
    void SetContent(const TIconEntryInfo& Info, std::shared_ptr<const TByteBuffer> Buffer, size_t Offset,
                    size_t Available = SIZE_MAX);

private:
    // The size the entry asks the pixels to be made and drawn at; 0 means the image's own.
    std::pair<int, int> EntrySize() const;

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    uint16_t FDepth = 0;
    // The pixels, shared by every image over the same bytes (the bytes never change).
    mutable std::shared_ptr<const TIconRaster> FHandle;
    mutable bool FDecodeFailed = false;  // the bytes never change, so neither does a refusal
    TIconEntryInfo FInfo;
    // The bytes: FInfo.BytesInRes of them from FOffset in an immutable, possibly shared buffer.
    std::shared_ptr<const TByteBuffer> FBuffer;
    size_t FOffset = 0;
};

// An image read from an .ico file: its directory entry and the bytes the entry points to.
class TFileIconImage : public TIconImage {
public:
    // The image an entry of the file describes, over the file's bytes (shared with its other
    // images). Bytes the file does not have are not invented.
    TFileIconImage(const TIconDirEntry& Entry, std::shared_ptr<const TByteBuffer> File);
};

class TResourceModule;

// An image of a group-icon resource: the group entry and the bytes of the icon resource
// (type 3) it names, shared with every image over the same bytes. Raises EResNotFound
// ("找不到资源 %d") when the module lacks that resource, and RaiseTooManyImages() when the
// module has made kMaxImagesPerFile images already.
class TResourceIconImage : public TIconImage {
public:
    TResourceIconImage(const TGroupIconDirEntry& Entry, const TResourceModule& Instance);
};

// Decodes image bytes (as DecodeIconImage) with the pixels counted against a file's budget for
// as long as the result is held. Null when the bytes cannot be decoded, or, with overBudget
// set, when the file's images already hold too many decoded pixels for these to fit now (a
// picture larger than the whole budget is refused without it: it never fits).
std::shared_ptr<const TIconRaster> DecodeWithinBudget(std::span<const uint8_t> bytes, int width, int height,
                                                      const std::shared_ptr<TDecodeBudget>& budget, bool& overBudget);

// The bytes of an image that its picture is made from: for a PNG, those up to the end of its
// IEND chunk (a decoder reads nothing after it), found within its first kMaxPngChunksWalked
// chunks; all of them for any other image, or a PNG whose end lies further. Entries over one
// image that differ only in what follows it make the same picture.
size_t ImageBytesUsed(std::span<const uint8_t> bytes);
inline constexpr int kMaxPngChunksWalked = 64;

// The colour depth an image is shown and sorted by: its entry's bit count, or where that is 0
// the depth its own header gives (0 without a header).
inline uint16_t ImageDepth(uint16_t EntryBitCount, const std::optional<TImageHeader>& Header) {
    return EntryBitCount ? EntryBitCount : (Header ? Header->BitCount : uint16_t{0});
}

// Image objects that reading one file may make. Group records may name the same images again
// and again, so a file of a few hundred kilobytes could otherwise ask for billions of them;
// real files hold a few thousand at most.
inline constexpr uint32_t kMaxImagesPerFile = 1u << 18;
// Raises EPictavoError ("文件中的图像太多 (超过 %d 个)") for a file past kMaxImagesPerFile.
[[noreturn]] void RaiseTooManyImages();

// Images whose bytes overlap are each written whole when saved, so a small file whose entries
// overlap could make a saved file hundreds of times its own size. A save writes image bytes
// at most this many times the distinct bytes they cover, plus a fixed allowance.
inline constexpr uint64_t kMaxSaveRepeat = 2;
inline constexpr uint64_t kSaveAllowance = 16 * 1024 * 1024;
// Raises EPictavoError ("图像数据互相重叠, 写出的文件会过大") when writing `Written` bytes of
// these images' data would pass that bound.
void CheckSaveSize(const std::vector<const TIconImage*>& Images, uint64_t Written);

// An owning list of images with a 16-bit count.
class TIconImageList {
public:
    static constexpr uint16_t kMaxCount = 0xFFFF;

    TIconImageList() = default;
    ~TIconImageList() { Clear(); }
    TIconImageList(const TIconImageList&) = delete;
    TIconImageList& operator=(const TIconImageList&) = delete;

    uint16_t Count() const { return static_cast<uint16_t>(FItems.size()); }
    uint16_t Capacity() const { return FCapacity; }
    void SetCapacity(uint16_t N);
    // Takes ownership and appends; raises EListError when the list already holds 65,535.
    void Add(std::unique_ptr<TIconImage> Image);
    // An index out of range does nothing. Without FreeImage the image is handed back.
    std::unique_ptr<TIconImage> RemoveAt(int Index, bool FreeImage);
    void Delete(int Index) { RemoveAt(Index, true); }
    // nullptr for an index out of range.
    TIconImage* GetItem(int Index) const;
    TIconImage* operator[](int Index) const { return GetItem(Index); }
    void Clear();
    // Width ascending, then depth.
    void SortBySize();
    // The images in the order SortBySize would give them, the list left as it is.
    std::vector<const TIconImage*> SortedBySize() const;
    // Depth ascending, then width.
    void SortByDepth();

private:
    using Compare = int (*)(const TIconImage*, const TIconImage*);
    void QuickSort(Compare compare);

    std::vector<std::unique_ptr<TIconImage>> FItems;
    uint16_t FCapacity = 0;
};

}  // namespace pictavo
