// The item model behind the icon views: a row per icon of an icon list, in its order (name,
// picture, image count). Adding, removing and clearing go through the model, so that views and
// selections follow every change without renumbering anything. Pictures are made only for the
// rows a view shows and a screen's worth around them (the view tells, see TVisibleRows),
// decoded on the window's work service: a row shows a blank one until its picture arrives
// (with a dataChanged notice), and a picture asked for rows since cleared or refilled never
// arrives. Pictures of rows scrolled far away are let go and made again when the rows come
// back. Rows whose images lie over the very same bytes share one decode and one picture; a
// decode refused only because the file's decode budget was spent at that moment is asked again
// once decoded pixels are let go.
#pragma once

#include "icons/IconImage.h"
#include "widgets/IconDelegates.h"
#include "widgets/PictureBand.h"

#include <QAbstractListModel>
#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace pictavo {

class TAdvancedIcon;
class TIconList;
class TWorkService;
class TWorkChannel;

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
    // on `service`, which must outlive the model.
    TIconListModel(TWorkService& service, TIconList& icons, const QColor& background, int thumbnailSize,
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
    // kKeptScreens screens are let go, and rows waiting beyond a screen stop waiting. Kept for
    // the rows of later refills, clamped to them.
    void SetVisibleRows(int first, int last);
    // Pictures still to come for the rows (decoding, or waiting for memory); rows over the same
    // bytes wait for one picture.
    int PicturesPending() const;
    // Decodes posted and not yet handed back.
    int DecodesQueued() const;
    // Decodes refused for the budget that wait for pixels to be let go.
    int WaitingForMemory() const { return FMemoryWait.Count(); }
    // The bytes of the pictures held (one per group of rows sharing one).
    qsizetype PictureBytes() const;

private:
    // The bytes a picture is made from: the same bytes make the same picture. A buffer is named
    // by its serial, which no other buffer ever takes.
    using TPictureKey = std::tuple<uint64_t, size_t, size_t>;
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
        // Set when no row wants it any more: its decode, if not begun, is skipped, and what it
        // hands back is not shown.
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
    void ShowThumbnail(const TPictureKey& key, const std::shared_ptr<std::atomic<bool>>& dropped, const QImage& picture,
                       bool overBudget, uint64_t releases);
    // Asks again for the pictures refused for the budget that rows still wait for.
    void RetryRefused();

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
    int FVisibleFirst = 0, FVisibleLast = -1;  // as the view told
    std::set<uint64_t> FAsked;                 // ids of the rows whose picture was asked for
    TMemoryWait<TPictureKey> FMemoryWait;
    TWorkChannel* FDecoder;
};

}  // namespace pictavo
