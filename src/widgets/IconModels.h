// Item models behind the icon views and the image boxes: one over an icon list (a row per
// icon of the list, in its order: name, picture, image count) and one over the images of one
// icon (sorted by depth: label and the image itself). Adding, removing and clearing go through
// the models, so that views and selections follow every change without renumbering anything.
// Pictures are decoded on worker threads: a row shows a blank one until its picture arrives
// (with a dataChanged notice), and a picture asked for rows since cleared or refilled never
// arrives. Rows whose images lie over the very same bytes share one decode and one picture; a
// decode refused only because the file's decode budget was spent at that moment is tried again
// a little later, a bounded number of times.
#pragma once

#include "icons/IconImage.h"
#include "widgets/IconDelegates.h"

#include <QAbstractListModel>
#include <QColor>
#include <QPixmap>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace pictavo {

class TAdvancedIcon;
class TIconList;
class TWorkQueue;

// Decodes refused for the budget that are tried again, and the wait before the first retry
// (doubled for each one after it): about six seconds in all, long enough for the pictures
// being made elsewhere to be let go, and never endless.
inline constexpr int kMaxBudgetRetries = 6;
inline constexpr int kFirstRetryMs = 100;
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
    // than `thumbnailMaxWidth` (with the most colours among those), else the smallest.
    TIconListModel(TIconList& icons, const QColor& background, int thumbnailSize, int thumbnailMaxWidth,
                   QObject* parent = nullptr);

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
    // Pictures still to come for the rows (decoding, or waiting to be tried again); rows over
    // the same bytes wait for one picture.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;

private:
    // A row: its serial number (rising with the row, never reused) and its picture.
    struct TRow {
        uint64_t Id;
        QPixmap Picture;
        bool Pending = false;  // its picture is on its way
    };
    // The bytes a picture is made from: the same bytes make the same picture.
    using TPictureKey = std::tuple<const TByteBuffer*, size_t, size_t>;
    // A picture shared by the rows over the same bytes: made, or on its way to the rows waiting.
    struct TSharedPicture {
        std::weak_ptr<const TByteBuffer> Buffer;  // expired: the key's buffer is gone
        TPixelSource Source;                      // held while the picture is on its way
        std::vector<uint64_t> Waiting;            // ids of the rows waiting for it
        QPixmap Picture;
        bool Made = false;
        int Retries = 0;
    };
    void TakeRows();
    // Asks for the picture of a row just added (none for an icon without images).
    void RequestThumbnail(int row);
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
    std::map<TPictureKey, TSharedPicture> FPictures;
    uint64_t FRefills = 0;  // raised when the rows are taken anew: retries from before are void
    TWorkQueue* FDecoder;
};

// The bytes of image-box pictures a model keeps at once. An icon may name thousands of large
// images; scrolling through them keeps only the last pictures made (more than a box can show).
inline constexpr qsizetype kMaxBoxPictureBytes = qsizetype{64} << 20;

// The images of one icon, sorted by colour depth, then width: a row per image with its label,
// and as its decoration the picture an image box draws (BoxPicture).
class TIconImagesModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TIconImagesModel(QObject* parent = nullptr);

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
    // Pictures asked for and still being made, or waiting to be tried again.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;

private:
    // A row's picture (DecorationRole) is decoded when a view asks for it; the oldest made are
    // let go past kMaxBoxPictureBytes and made again when drawn again.
    struct TPicture {
        bool Asked = false;
        int Retries = 0;  // decodes refused for the budget so far
        QImage Image;
    };
    void Reset(TAdvancedIcon* icon, int index);
    void ShowPicture(int row, const QImage& picture, bool overBudget);

    TAdvancedIcon* FIcon = nullptr;
    int FIconIndex = -1;
    mutable std::vector<TPicture> FPictures;
    std::deque<int> FMadeRows;  // rows holding a picture, oldest first
    qsizetype FMadeBytes = 0;   // their pictures' bytes
    uint64_t FShown = 0;        // raised for each icon shown: retries from before are void
    int FRetrying = 0;          // pictures waiting to be asked for again
    TWorkQueue* FDecoder = nullptr;
};

}  // namespace pictavo
