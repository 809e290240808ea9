#include "widgets/IconPixmaps.h"

#include "icons/IconImage.h"

#include <QPainter>

namespace pictavo {

QImage RasterToImage(const TIconRaster& raster) {
    if (raster.Width <= 0 || raster.Height <= 0) return {};
    // Premultiplied here, pixel by pixel, rather than by a format conversion afterwards: Qt
    // converts large images on threads of its own pool, which a picture made on one of the
    // window's workers has no need of.
    QImage image(raster.Width, raster.Height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
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
    return image;
}

QImage IconThumbnail(const TPixelSource& source, const QColor& background, int size, bool* overBudget) {
    // The thumbnail is all the view keeps: pixels decoded for it are released once it is
    // drawn, so a list of many large icons holds a small picture of each, not their rasters.
    bool refused = false;
    const std::shared_ptr<const TIconRaster> raster = source.Decode(refused);
    if (overBudget) *overBudget = refused;
    if (!raster) return {};
    QImage pixels = RasterToImage(*raster);
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

QImage BoxPicture(const TPixelSource& source, int maxHeight, bool* overBudget) {
    bool refused = false;
    const std::shared_ptr<const TIconRaster> raster = source.Decode(refused);
    if (overBudget) *overBudget = refused;
    if (!raster) return {};
    QImage picture = RasterToImage(*raster);
    if (picture.height() > maxHeight) picture = picture.copy(0, 0, picture.width(), maxHeight);
    return picture;
}

}  // namespace pictavo
