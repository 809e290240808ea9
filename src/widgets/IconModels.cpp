#include "widgets/IconModels.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/DecodingService.h"
#include "widgets/IconPixmaps.h"

#include <QCoreApplication>
#include <QIcon>
#include <QTimer>

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>

namespace pictavo {

TIconListModel::TIconListModel(TDecodingService& decoder, TIconList& icons, const QColor& background, int thumbnailSize,
                               int thumbnailMaxWidth, QObject* parent)
    : QAbstractListModel(parent),
      FIcons(icons),
      FBackground(background),
      FThumbnailSize(thumbnailSize),
      FThumbnailMaxWidth(thumbnailMaxWidth),
      FBlank(thumbnailSize, thumbnailSize),
      FDecoder(new TWorkChannel(decoder, this)) {
    FBlank.fill(background);
    FBlankIcon = QIcon(FBlank);
    TakeRows();
}

int TIconListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TIconListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(FIcons.Name(row));
    case Qt::DecorationRole: {
        // Views ask every row for its size: this only reads, and a row whose picture is not
        // made (far from view, or on its way) shows the blank one.
        const TRow& entry = FRows[static_cast<size_t>(row)];
        if (entry.State == TRow::Made) return entry.Picture.isNull() ? QVariant() : QVariant(QIcon(entry.Picture));
        return HidesRow(row) ? QVariant() : QVariant(FBlankIcon);
    }
    case kIconDetailRole: {
        const TAdvancedIcon* icon = FIcons.Icon(row);
        return QCoreApplication::translate("TIconListModel", "图像数量: %1").arg(icon ? icon->Images().Count() : 0);
    }
    default:
        return {};
    }
}

bool TIconListModel::HidesRow(int row) const {
    if (row < 0 || row >= rowCount()) return true;
    const TAdvancedIcon* icon = FIcons.Icon(row);
    return !icon || icon->Images().Count() == 0;
}

void TIconListModel::RequestThumbnail(int row) {
    TRow& entry = FRows[static_cast<size_t>(row)];
    if (entry.State != TRow::None) return;
    TAdvancedIcon* icon = FIcons.Icon(row);
    if (!icon || icon->Images().Count() == 0) return;
    TIconImageList& images = icon->Images();
    images.SortBySize();
    const TIconImage* chosen = images[0];
    for (int i = 0; i < images.Count(); ++i)
        if (images[i]->Width() <= FThumbnailMaxWidth) chosen = images[i];
    TPixelSource source = chosen->OwnSizeSource();
    // Entries over one image's bytes make one picture, whatever follows the image.
    const TPictureKey key{source.Buffer.get(), source.Offset, ImageBytesUsed(chosen->Data())};
    entry.Key = key;
    FAsked.insert(entry.Id);
    const auto [found, fresh] = FPictures.try_emplace(key);
    TSharedPicture& shared = found->second;
    // The bytes an entry was made from may be gone, and others now lie at that address.
    if (!fresh && shared.Buffer.expired()) {
        shared.Dropped->store(true);
        shared = {};
    }
    if (shared.Made) {
        entry.State = TRow::Made;
        entry.Picture = shared.Picture;
        return;
    }
    entry.State = TRow::Pending;
    shared.Waiting.push_back(entry.Id);
    if (shared.Waiting.size() > 1) return;  // its picture is on its way already
    shared.Buffer = source.Buffer;
    shared.Source = std::move(source);
    Decode(key);
}

void TIconListModel::Decode(const TPictureKey& key) {
    const TSharedPicture& shared = FPictures.at(key);
    // The work holds the image's bytes, not the icon, which may go while it is decoded.
    FDecoder->Post([this, key, source = shared.Source, dropped = shared.Dropped, background = FBackground,
                    size = FThumbnailSize]() -> std::function<void()> {
        if (dropped->load()) return {};  // scrolled away before its turn
        QImage picture;
        bool overBudget = false;
        try {
            picture = IconThumbnail(source, background, size, &overBudget);
        } catch (const std::exception&) {
            // an icon whose picture cannot be made is listed without one
        }
        return [this, key, picture = std::move(picture), overBudget] { ShowThumbnail(key, picture, overBudget); };
    });
}

void TIconListModel::ShowThumbnail(const TPictureKey& key, const QImage& picture, bool overBudget) {
    const auto found = FPictures.find(key);
    if (found == FPictures.end() || found->second.Made) return;
    TSharedPicture& shared = found->second;
    if (overBudget && shared.Retries < kMaxBudgetRetries) {
        // Refused only for the pixels held elsewhere at that moment: tried again once some are
        // likely let go, unless the rows are taken anew or scrolled away meanwhile.
        const int delay = kFirstRetryMs << shared.Retries++;
        QTimer::singleShot(delay, this, [this, key, refills = FRefills, dropped = shared.Dropped] {
            const auto again = FPictures.find(key);
            if (refills == FRefills && !dropped->load() && again != FPictures.end() && !again->second.Made) Decode(key);
        });
        return;
    }
    shared.Made = true;
    shared.Source = {};
    // Without a picture (one that cannot be decoded) the rows are listed without one.
    shared.Picture = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    int first = rowCount(), last = -1;
    for (const uint64_t id : std::exchange(shared.Waiting, {})) {
        const int row = RowOf(id);
        if (row < 0 || FRows[static_cast<size_t>(row)].State != TRow::Pending) continue;
        FRows[static_cast<size_t>(row)].State = TRow::Made;
        FRows[static_cast<size_t>(row)].Picture = shared.Picture;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (last >= first) emit dataChanged(index(first), index(last), {Qt::DecorationRole});
}

int TIconListModel::RowOf(uint64_t id) const {
    // Rows keep their rising ids in order, whatever rows were removed before them.
    const auto row =
        std::lower_bound(FRows.begin(), FRows.end(), id, [](const TRow& r, uint64_t value) { return r.Id < value; });
    return row == FRows.end() || row->Id != id ? -1 : static_cast<int>(row - FRows.begin());
}

void TIconListModel::DropRow(int row) {
    TRow& entry = FRows[static_cast<size_t>(row)];
    if (entry.State == TRow::Pending) {
        const auto found = FPictures.find(entry.Key);
        if (found != FPictures.end()) std::erase(found->second.Waiting, entry.Id);
    }
    FAsked.erase(entry.Id);
    entry.State = TRow::None;
    entry.Picture = {};
}

void TIconListModel::SetVisibleRows(int first, int last) {
    FVisibleFirst = first;
    FVisibleLast = last;
    RequestVisible();
}

void TIconListModel::RequestVisible() {
    const int rows = rowCount();
    const int first = std::max(FVisibleFirst, 0), last = std::min(FVisibleLast, rows - 1);
    if (last < first) return;  // nothing on view: what is held stays until something is
    const int screen = last - first + 1;
    const int wantFirst = std::max(first - screen, 0), wantLast = std::min(last + screen, rows - 1);
    const int keepFirst = std::max(first - kKeptScreens * screen, 0);
    const int keepLast = std::min(last + kKeptScreens * screen, rows - 1);
    // Far rows let go of their pictures; rows still waiting for one outside the rows wanted
    // stop waiting, so that scrolling fast does not queue the decodes of every row passed.
    bool dropped = false;
    for (const uint64_t id : std::vector<uint64_t>(FAsked.begin(), FAsked.end())) {
        const int row = RowOf(id);
        if (row < 0) {
            FAsked.erase(id);  // removed
            dropped = true;
            continue;
        }
        const bool far = row < keepFirst || row > keepLast;
        const bool unwanted = row < wantFirst || row > wantLast;
        if (!far && !(unwanted && FRows[static_cast<size_t>(row)].State == TRow::Pending)) continue;
        DropRow(row);
        dropped = true;
    }
    if (dropped) {
        // Pictures no row holds or waits for go, and their decodes not begun are skipped.
        std::set<TPictureKey> used;
        for (const uint64_t id : FAsked) used.insert(FRows[static_cast<size_t>(RowOf(id))].Key);
        std::erase_if(FPictures, [&](auto& entry) {
            if (used.count(entry.first)) return false;
            entry.second.Dropped->store(true);
            return true;
        });
    }
    // The rows on view first, then those after them (the way a list is mostly scrolled), then
    // those before.
    for (int row = first; row <= wantLast; ++row) RequestThumbnail(row);
    for (int row = first - 1; row >= wantFirst; --row) RequestThumbnail(row);
}

int TIconListModel::PicturesPending() const {
    return static_cast<int>(std::count_if(FPictures.begin(), FPictures.end(),
                                          [](const auto& entry) { return !entry.second.Waiting.empty(); }));
}

int TIconListModel::DecodesQueued() const { return FDecoder->Pending(); }

qsizetype TIconListModel::PictureBytes() const {
    qsizetype bytes = 0;
    for (const auto& [key, shared] : FPictures)
        if (shared.Made && !shared.Picture.isNull())
            bytes += qsizetype{shared.Picture.width()} * shared.Picture.height() * shared.Picture.depth() / 8;
    return bytes;
}

void TIconListModel::TakeRows() {
    FDecoder->Abandon();
    for (auto& [key, shared] : FPictures) shared.Dropped->store(true);
    FPictures.clear();
    ++FRefills;
    FRows.clear();
    FRows.reserve(static_cast<size_t>(FIcons.Count()));
    for (int row = 0; row < FIcons.Count(); ++row) FRows.push_back({FNextId++, TRow::None, {}, {}});
    FAsked.clear();
    RequestVisible();
}

void TIconListModel::ShowAppended() {
    const int first = rowCount(), last = FIcons.Count() - 1;
    if (last < first) return;
    beginInsertRows({}, first, last);
    for (int row = first; row <= last; ++row) FRows.push_back({FNextId++, TRow::None, {}, {}});
    endInsertRows();
    RequestVisible();
}

void TIconListModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [this](int row) { return row < 0 || row >= rowCount(); });
    std::vector<std::pair<int, int>> runs;  // runs of neighbouring rows
    for (const int row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
    }
    if (runs.size() > kMaxRemovalNotices) {
        // Rows scattered over the list: one reset, and the list and the rows each lose them in
        // one pass (their pictures stay). Views keep no selection of them.
        beginResetModel();
        FIcons.DeleteMany(rows);
        size_t kept = 0, next = 0;
        for (size_t i = 0; i < FRows.size(); ++i) {
            if (next < rows.size() && static_cast<size_t>(rows[next]) == i)
                ++next;
            else
                FRows[kept++] = std::move(FRows[i]);
        }
        FRows.resize(kept);
        endResetModel();
    } else {
        // A notice per run, from the last, so that the runs still to go keep their numbers and
        // views move their selections along.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            beginRemoveRows({}, run->first, run->second);
            std::vector<int> gone(static_cast<size_t>(run->second - run->first + 1));
            std::iota(gone.begin(), gone.end(), run->first);
            FIcons.DeleteMany(gone);
            FRows.erase(FRows.begin() + run->first, FRows.begin() + run->second + 1);
            endRemoveRows();
        }
    }
    // Pictures whose bytes went with the icons go too.
    std::erase_if(FPictures, [](const auto& entry) { return entry.second.Buffer.expired(); });
    // Other rows move onto the screen.
    RequestVisible();
}

void TIconListModel::Clear() {
    Refill([this] { FIcons.Clear(); });
}

TIconImagesModel::TIconImagesModel(TDecodingService& decoder, QObject* parent)
    : QAbstractListModel(parent), FDecoder(new TWorkChannel(decoder, this)) {}

int TIconImagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FIcon ? 0 : FIcon->Images().Count();
}

QVariant TIconImagesModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = index.row();
    if (role == Qt::DisplayRole) return QString::fromStdString(FIcon->Images()[row]->Label());
    if (role != Qt::DecorationRole) return {};
    const QImage& picture = FPictures[static_cast<size_t>(row)].Image;
    return picture.isNull() ? QVariant() : QVariant(picture);
}

void TIconImagesModel::SetVisibleRows(int first, int last) {
    FVisibleFirst = first;
    FVisibleLast = last;
    const int rows = rowCount();
    first = std::max(first, 0);
    last = std::min(last, rows - 1);
    if (last < first) return;
    const int screen = last - first + 1;
    const int keepFirst = first - kKeptScreens * screen, keepLast = last + kKeptScreens * screen;
    for (int row = 0; row < rows; ++row)
        if (row < keepFirst || row > keepLast) DropPicture(row);
    for (int row = first; row <= std::min(last + screen, rows - 1); ++row) RequestPicture(row);
    for (int row = first - 1; row >= std::max(first - screen, 0); --row) RequestPicture(row);
}

void TIconImagesModel::RequestPicture(int row) {
    TPicture& picture = FPictures[static_cast<size_t>(row)];
    if (picture.Asked) return;
    picture.Asked = true;
    FDecoder->Post([this, row, source = FIcon->Images()[row]->HandleSource()] {
        QImage image;
        bool overBudget = false;
        try {
            image = BoxPicture(source, kBoxItemMaxHeight, &overBudget);
        } catch (const std::exception&) {
            // drawn without its picture, as an image that cannot be decoded
        }
        return [this, row, image = std::move(image), overBudget] { ShowPicture(row, image, overBudget); };
    });
}

void TIconImagesModel::DropPicture(int row) {
    TPicture& picture = FPictures[static_cast<size_t>(row)];
    if (!picture.Made) return;
    FMadeBytes -= picture.Image.sizeInBytes();
    std::erase(FMadeRows, row);
    picture = {};
}

void TIconImagesModel::ShowPicture(int row, const QImage& picture, bool overBudget) {
    if (row < 0 || row >= static_cast<int>(FPictures.size())) return;
    TPicture& made = FPictures[static_cast<size_t>(row)];
    if (!made.Asked || made.Made) return;
    if (overBudget && made.Retries < kMaxBudgetRetries) {
        // Refused only for the pixels held elsewhere at that moment: asked again a little
        // later, if the row is still near the rows on view.
        const int delay = kFirstRetryMs << made.Retries++;
        ++FRetrying;
        QTimer::singleShot(delay, this, [this, row, shown = FShown] {
            if (shown != FShown) return;
            --FRetrying;
            FPictures[static_cast<size_t>(row)].Asked = false;
            const int screen = FVisibleLast - FVisibleFirst + 1;
            if (row >= FVisibleFirst - screen && row <= FVisibleLast + screen) RequestPicture(row);
        });
        return;
    }
    made.Made = true;
    made.Image = picture;
    FMadeRows.push_back(row);
    FMadeBytes += picture.sizeInBytes();
    while (FMadeBytes > kMaxBoxPictureBytes && FMadeRows.size() > 1) DropPicture(FMadeRows.front());
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

int TIconImagesModel::PicturesPending() const { return FDecoder->Pending() + FRetrying; }

int TIconImagesModel::DecodesQueued() const { return FDecoder->Pending(); }

void TIconImagesModel::Reset(TAdvancedIcon* icon, int index) {
    beginResetModel();
    // Pictures on their way are for the rows going now.
    FDecoder->Abandon();
    ++FShown;
    FRetrying = 0;
    FIcon = icon;
    FIconIndex = FIcon ? index : -1;
    if (FIcon) FIcon->Images().SortByDepth();
    FPictures.assign(FIcon ? static_cast<size_t>(FIcon->Images().Count()) : 0, TPicture{});
    FMadeRows.clear();
    FMadeBytes = 0;
    endResetModel();
    // The box shows the new rows where it showed the old ones.
    SetVisibleRows(FVisibleFirst, FVisibleLast);
}

void TIconImagesModel::ShowIcon(TIconList& icons, int index) {
    Reset(index >= 0 && index < icons.Count() ? icons.Icon(index) : nullptr, index);
}

void TIconImagesModel::Clear() {
    if (FIcon) Reset(nullptr, -1);
}

const TIconImage* TIconImagesModel::Image(int row) const {
    if (!FIcon || row < 0 || row >= FIcon->Images().Count()) return nullptr;
    return FIcon->Images()[row];
}

const TIconImage* TIconImagesModel::ImageAt(const QModelIndex& index) {
    const auto* model = qobject_cast<const TIconImagesModel*>(index.model());
    return model ? model->Image(index.row()) : nullptr;
}

}  // namespace pictavo
