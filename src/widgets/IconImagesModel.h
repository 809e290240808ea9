// The item model behind the image boxes: the images of one icon, sorted by colour depth, then
// width, a row per image with its label and, as its decoration, the picture the box draws.
// Pictures are made for the rows near those on screen only, on the window's work service, and
// kept by the image they show, never by a row number: whatever reorders the icon's images
// meanwhile, a row draws, and a save of it writes, that row's image.
#pragma once

#include "widgets/IconDelegates.h"
#include "widgets/PictureBand.h"

#include <QAbstractListModel>
#include <QImage>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>

namespace pictavo {

class TAdvancedIcon;
class TIconImage;
class TIconList;
class TWorkService;
class TWorkChannel;

// The bytes of image-box pictures a model keeps at once. An icon may name thousands of large
// images; scrolling through them keeps only the last pictures made (more than a box can show).
inline constexpr qsizetype kMaxBoxPictureBytes = qsizetype{64} << 20;

class TIconImagesModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TIconImagesModel(TWorkService& service, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Lists the images of the icon at `index` of `icons` (sorting them), or none for an index
    // outside the list; the icon must stay in the list while it is shown.
    void ShowIcon(TIconList& icons, int index);
    // Lists nothing.
    void Clear();
    // The index in its list of the icon shown, -1 for none.
    int IconIndex() const { return FIconIndex; }
    const TAdvancedIcon* Icon() const { return FIcon; }
    // The image of a row, null outside the rows.
    const TIconImage* Image(int row) const;
    // The image of an index of a TIconImagesModel, null for any other.
    static const TIconImage* ImageAt(const QModelIndex& index);
    // Pictures larger than a square of this side are scaled down to fit it (the box's tallest
    // item less its margins and its line of text).
    void SetMaxPictureSide(int side) { FMaxPictureSide = side; }
    // The rows a box shows (none for last < first): their pictures are asked for, and those
    // of a screen's worth of rows around them; pictures farther than kKeptScreens screens are
    // let go, and so are the oldest made past kMaxBoxPictureBytes; rows waiting beyond a screen
    // stop waiting.
    void SetVisibleRows(int first, int last);
    // Pictures asked for and still being made, or waiting for memory.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;
    // The bytes of the pictures held.
    qsizetype PictureBytes() const { return FMadeBytes; }

private:
    // The picture of an image: asked for, or made.
    struct TPicture {
        bool Made = false;
        QImage Image;
        // Set when it is let go: its decode, if not begun, is skipped, and what it hands back
        // is not shown.
        std::shared_ptr<std::atomic<bool>> Dropped = std::make_shared<std::atomic<bool>>(false);
    };
    void Reset(TAdvancedIcon* icon, int index);
    void RequestPicture(int row);
    void Decode(const TIconImage* image);
    void ShowPicture(const TIconImage* image, const std::shared_ptr<std::atomic<bool>>& dropped, const QImage& picture,
                     bool overBudget, uint64_t releases);
    void RetryRefused();
    // Lets go of the picture of an image, its bytes no longer counted.
    void DropPicture(const TIconImage* image);
    // The row showing an image now, -1 for none.
    int RowOf(const TIconImage* image) const;

    TAdvancedIcon* FIcon = nullptr;
    int FIconIndex = -1;
    int FMaxPictureSide = kBoxItemMaxHeight;
    std::unordered_map<const TIconImage*, TPicture> FPictures;
    mutable std::unordered_map<const TIconImage*, int> FRows;  // rows as last seen, checked before use
    int FVisibleFirst = 0, FVisibleLast = -1;                  // as the box told
    std::deque<const TIconImage*> FMadeOrder;                  // images holding a picture, oldest first
    qsizetype FMadeBytes = 0;                                  // their pictures' bytes
    TMemoryWait<const TIconImage*> FMemoryWait;
    TWorkChannel* FDecoder;
};

}  // namespace pictavo
