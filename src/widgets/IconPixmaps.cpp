#include "widgets/IconPixmaps.h"

#include "base/ByteBuffer.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"

#include <QPainter>

#include <cstdlib>
#include <utility>

namespace pictavo {

namespace {

// Premultiplied here, pixel by pixel, rather than by a format conversion afterwards: Qt
// converts large images on threads of its own pool, which a picture made on one of the
// window's workers has no need of.
void FillFromRaster(const TIconRaster& raster, QImage& image) {
    for (int y = 0; y < raster.Height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < raster.Width; ++x) {
            const uint32_t colour = raster.Pixel(x, y);
            if (raster.HasAlpha)
                line[x] = qPremultiply(colour);
            else
                line[x] = raster.MaskBit(x, y) ? 0u : (colour | 0xFF000000u);
        }
    }
}

}  // namespace

QImage RasterToImage(const TIconRaster& raster) {
    if (raster.Width <= 0 || raster.Height <= 0) return {};
    QImage image(raster.Width, raster.Height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    FillFromRaster(raster, image);
    return image;
}

namespace {

// A converted picture's pixels, whose bytes go back to its file's budget when the last copy of
// the picture goes.
struct THeldPixels {
    std::shared_ptr<TDecodeBudget> Budget;
    uint64_t Bytes;
    uchar* Pixels;
};

void ReleaseHeld(void* info) {
    auto* held = static_cast<THeldPixels*>(info);
    std::free(held->Pixels);
    held->Budget->Release(held->Bytes);
    delete held;
}

// The source's pixels at the size it asks, as a premultiplied image whose bytes count against
// the file's decode budget for as long as it is held, as the raster's did: a worker converting
// a large picture holds both for a moment, and both are counted. Null with `refused` set when
// the budget cannot hold them now.
QImage CountedImage(const TPixelSource& source, bool& refused) {
    refused = false;
    const std::shared_ptr<const TIconRaster> raster = source.Decode(refused);
    if (!raster || raster->Width <= 0 || raster->Height <= 0) return {};
    const uint64_t bytes = static_cast<uint64_t>(raster->Width) * static_cast<uint64_t>(raster->Height) * 4;
    const std::shared_ptr<TDecodeBudget>& budget = source.Buffer->SharedBudget();
    if (!budget->Reserve(bytes)) {
        refused = budget->CouldFit(RasterBytes(raster->Width, raster->Height) + bytes);
        return {};
    }
    const qsizetype line = qsizetype{raster->Width} * 4;
    auto* held = new THeldPixels{budget, bytes, static_cast<uchar*>(std::malloc(static_cast<size_t>(bytes)))};
    if (!held->Pixels) {
        ReleaseHeld(held);
        return {};
    }
    QImage image(held->Pixels, raster->Width, raster->Height, line, QImage::Format_ARGB32_Premultiplied, ReleaseHeld,
                 held);
    FillFromRaster(*raster, image);
    return image;
}

}  // namespace

QImage IconThumbnail(const TPixelSource& source, const QColor& background, int size, bool* overBudget) {
    // The thumbnail is all the view keeps: pixels decoded for it are released once it is
    // drawn, so a list of many large icons holds a small picture of each, not their rasters.
    bool refused = false;
    QImage pixels = CountedImage(source, refused);
    if (overBudget) *overBudget = refused;
    if (pixels.isNull()) return {};
    if (pixels.width() != size || pixels.height() != size) {
        // Enlarged pixels stay crisp squares; reduced ones are averaged.
        const bool larger = pixels.width() < size && pixels.height() < size;
        pixels = pixels.scaled(size, size, Qt::IgnoreAspectRatio,
                               larger ? Qt::FastTransformation : Qt::SmoothTransformation);
    }
    QImage thumbnail(size, size, QImage::Format_ARGB32_Premultiplied);
    thumbnail.fill(background);
    QPainter painter(&thumbnail);
    painter.drawImage(0, 0, pixels);
    return thumbnail;
}

QImage BoxPicture(const TPixelSource& source, int maxSide, bool* overBudget) {
    bool refused = false;
    const QImage picture = CountedImage(source, refused);
    if (overBudget) *overBudget = refused;
    if (picture.isNull()) return {};
    // A picture larger than a box's item is drawn whole, scaled down to fit it; the box keeps
    // a copy of its own, not the counted pixels.
    if (picture.width() > maxSide || picture.height() > maxSide)
        return picture.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture.copy();
}

}  // namespace pictavo
