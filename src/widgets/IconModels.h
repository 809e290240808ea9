// Item models behind the icon views and the image boxes: one over an icon list (a row per
// icon of the list, in its order: name, picture, image count) and one over the images of one
// icon (sorted by depth: label and the image itself). Adding, removing and clearing go through
// the models, so that views and selections follow every change without renumbering anything.
// Pictures are made only for the rows a view shows and a screen's worth around them (the view
// tells, see TVisibleRows), decoded by the window's decoding service: a row shows a blank one
// until its picture arrives (with a dataChanged notice), and a picture asked for rows since
// cleared or refilled never arrives. Pictures of rows scrolled far away are let go and made
// again when the rows come back. Rows whose images lie over the very same bytes share one
// decode and one picture; a decode refused only because the file's decode budget was spent at
// that moment is tried again a little later, a bounded number of times.
#pragma once

#include "icons/IconImage.h"
#include "widgets/IconDelegates.h"

#include <QAbstractListModel>
#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace pictavo {

class TAdvancedIcon;
class TIconList;
class TDecodingService;
class TWorkChannel;

// Decodes refused for the budget that are tried again, and the wait before the first retry
// (doubled for each one after it): about six seconds in all, long enough for the pictures
// being made elsewhere to be let go, and never endless.
inline constexpr int kMaxBudgetRetries = 6;
inline constexpr int kFirstRetryMs = 100;
// Rows on screen make a screen; pictures are asked for the screen and one more screen above and
// below it, and let go beyond this many screens away.
inline constexpr int kKeptScreens = 2;
// Removing rows sends a notice per run of neighbouring rows up to this many runs (views keep
// their selections); more runs are removed under one reset, so that the work stays linear.
inline constexpr size_t kMaxRemovalNotices = 32;

// The icons of a list, one row per icon at the icon's own index. The list is the model's to
// change through RemoveRows and Clear; icons appended to it elsewhere appear with
// ShowAppended. An icon without images has a row without picture; views hide such rows
// (HidesRow).
class TIconListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Pictures `thumbnailSize` square over `background`, made from the largest image not wider
    // than `thumbnailMaxWidth` (with the most colours among those), else the smallest; decoded
    // by `decoder`, which must outlive the model's work (the model waits for it at its end).
    TIconListModel(TDecodingService& decoder, TIconList& icons, const QColor& background, int thumbnailSize,
                   int thumbnailMaxWidth, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    TIconList& Icons() const { return FIcons; }
    // True for the row of an icon without images, which no view lists.
    bool HidesRow(int row) const;
    // Rows for the icons appended to the list since the model last looked at it.
    void ShowAppended();
    // Shows the list anew after it was refilled; `change` refills it between the reset's
    // notices, also when it raises.
    template <typename Change>
    void Refill(Change&& change) {
        beginResetModel();
        struct End {
            TIconListModel* model;
            ~End() {
                model->TakeRows();
                model->endResetModel();
            }
        } end{this};
        change();
    }
    // Removes the icons of these rows from the list (and the model), in time linear in the
    // list's length.
    void RemoveRows(std::vector<int> rows);
    // Empties the list.
    void Clear();
    // The rows a view shows (none for last < first): their pictures are asked for first, then
    // those of a screen's worth of rows before and after them; pictures of rows farther than
    // kKeptScreens screens are let go. Kept for the rows of later refills, clamped to them.
    void SetVisibleRows(int first, int last);
    // Pictures still to come for the rows (decoding, or waiting to be tried again); rows over
    // the same bytes wait for one picture.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;
    // The bytes of the pictures held (one per group of rows sharing one).
    qsizetype PictureBytes() const;

private:
    // The bytes a picture is made from: the same bytes make the same picture.
    using TPictureKey = std::tuple<const TByteBuffer*, size_t, size_t>;
    // A row: its serial number (rising with the row, never reused), the bytes its picture is
    // made from once asked for, and its picture.
    struct TRow {
        uint64_t Id;
        enum TState : uint8_t { None, Pending, Made } State = None;
        TPictureKey Key{};  // once asked for
        QPixmap Picture;
    };
    // A picture shared by the rows over the same bytes: made, or on its way to the rows waiting.
    struct TSharedPicture {
        std::weak_ptr<const TByteBuffer> Buffer;  // expired: the key's buffer is gone
        TPixelSource Source;                      // held while the picture is on its way
        std::vector<uint64_t> Waiting;            // ids of the rows waiting for it
        QPixmap Picture;
        bool Made = false;
        int Retries = 0;
        // Set when no row wants it any more: its decode, if not begun, is skipped.
        std::shared_ptr<std::atomic<bool>> Dropped = std::make_shared<std::atomic<bool>>(false);
    };
    void TakeRows();
    // Asks for the picture of a row (none for an icon without images, or one asked for).
    void RequestThumbnail(int row);
    // The row of an id, -1 once removed.
    int RowOf(uint64_t id) const;
    // Asks for the pictures around the rows on view and lets go of those far away.
    void RequestVisible();
    // Lets go of the picture of a row (or its place among the rows waiting for one).
    void DropRow(int row);
    void Decode(const TPictureKey& key);
    void ShowThumbnail(const TPictureKey& key, const QImage& picture, bool overBudget);

    TIconList& FIcons;
    QColor FBackground;
    int FThumbnailSize;
    int FThumbnailMaxWidth;
    // One entry per row shown; the rows are the list's first FRows.size() icons.
    std::vector<TRow> FRows;
    uint64_t FNextId = 0;
    // What a row shows until its picture comes: the background at the picture's size, so that
    // views lay the row out as it will stay.
    QPixmap FBlank;
    QIcon FBlankIcon;
    std::map<TPictureKey, TSharedPicture> FPictures;
    uint64_t FRefills = 0;                     // raised when the rows are taken anew: retries from before are void
    int FVisibleFirst = 0, FVisibleLast = -1;  // as the view told
    std::set<uint64_t> FAsked;                 // ids of the rows whose picture was asked for
    TWorkChannel* FDecoder;
};

// The bytes of image-box pictures a model keeps at once. An icon may name thousands of large
// images; scrolling through them keeps only the last pictures made (more than a box can show).
inline constexpr qsizetype kMaxBoxPictureBytes = qsizetype{64} << 20;

// The images of one icon, sorted by colour depth, then width: a row per image with its label,
// and as its decoration the picture an image box draws (BoxPicture).
class TIconImagesModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TIconImagesModel(TDecodingService& decoder, QObject* parent = nullptr);

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
    // The rows a box shows (none for last < first): their pictures are asked for, and those
    // of a screen's worth of rows around them; pictures farther than kKeptScreens screens are
    // let go, and so are the oldest made past kMaxBoxPictureBytes.
    void SetVisibleRows(int first, int last);
    // Pictures asked for and still being made, or waiting to be tried again.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;
    // The bytes of the pictures held.
    qsizetype PictureBytes() const { return FMadeBytes; }

private:
    // A row's picture (DecorationRole) is decoded once the row is near the rows on view; the
    // pictures let go are made again when the rows come near again.
    struct TPicture {
        bool Asked = false;
        bool Made = false;
        int Retries = 0;  // decodes refused for the budget so far
        QImage Image;
    };
    void Reset(TAdvancedIcon* icon, int index);
    void RequestPicture(int row);
    void ShowPicture(int row, const QImage& picture, bool overBudget);
    // Lets go of the picture of a row, its bytes no longer counted.
    void DropPicture(int row);

    TAdvancedIcon* FIcon = nullptr;
    int FIconIndex = -1;
    std::vector<TPicture> FPictures;
    int FVisibleFirst = 0, FVisibleLast = -1;  // as the box told
    std::deque<int> FMadeRows;                 // rows holding a picture, oldest first
    qsizetype FMadeBytes = 0;                  // their pictures' bytes
    uint64_t FShown = 0;                       // raised for each icon shown: retries from before are void
    int FRetrying = 0;                         // pictures waiting to be asked for again
    TWorkChannel* FDecoder;
};

}  // namespace pictavo
