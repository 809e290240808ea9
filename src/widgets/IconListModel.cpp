#include "widgets/IconListModel.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconPixmaps.h"
#include "widgets/WorkService.h"

#include <QCoreApplication>
#include <QIcon>

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>

namespace pictavo {

TIconListModel::TIconListModel(TWorkService& service, TIconList& icons, const QColor& background, int thumbnailSize,
                               int thumbnailMaxWidth, QObject* parent)
    : QAbstractListModel(parent),
      FIcons(icons),
      FBackground(background),
      FThumbnailSize(thumbnailSize),
      FThumbnailMaxWidth(thumbnailMaxWidth),
      FBlank(thumbnailSize, thumbnailSize),
      FDecoder(new TWorkChannel(service, this)) {
    FBlank.fill(background);
    FBlankIcon = QIcon(FBlank);
    connect(&service, &TWorkService::MemoryReleased, this, &TIconListModel::RetryRefused);
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
    const TAdvancedIcon* icon = FIcons.Icon(row);
    if (!icon || icon->Images().Count() == 0) return;
    // The largest image not wider than the thumbnail in the order of sizes (the one with the
    // most colours among those), else the smallest; the icon's own order is left as it is, for
    // the image box and the saves that follow it.
    const std::vector<const TIconImage*> bySize = icon->Images().SortedBySize();
    const TIconImage* chosen = bySize.front();
    for (const TIconImage* image : bySize)
        if (image->Width() <= FThumbnailMaxWidth) chosen = image;
    TPixelSource source = chosen->OwnSizeSource();
    // Entries over one image's bytes make one picture, whatever follows the image.
    const TPictureKey key{source.Buffer ? source.Buffer->Serial() : 0, source.Offset, ImageBytesUsed(chosen->Data())};
    entry.Key = key;
    FAsked.insert(entry.Id);
    TSharedPicture& shared = FPictures[key];
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
        const uint64_t releases = DecodeReleases();
        QImage picture;
        bool overBudget = false;
        try {
            picture = IconThumbnail(source, background, size, &overBudget);
        } catch (const std::exception&) {
            // an icon whose picture cannot be made is listed without one
        }
        return [this, key, dropped, picture = std::move(picture), overBudget, releases] {
            ShowThumbnail(key, dropped, picture, overBudget, releases);
        };
    });
}

void TIconListModel::ShowThumbnail(const TPictureKey& key, const std::shared_ptr<std::atomic<bool>>& dropped,
                                   const QImage& picture, bool overBudget, uint64_t releases) {
    const auto found = FPictures.find(key);
    // A picture let go, or asked for again since, is not this decode's to show.
    if (dropped->load() || found == FPictures.end() || found->second.Dropped != dropped || found->second.Made) return;
    TSharedPicture& shared = found->second;
    if (overBudget) {
        // Refused only for the pixels held elsewhere at that moment: asked again once some are
        // let go.
        if (FMemoryWait.Refused(key, releases)) Decode(key);
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

void TIconListModel::RetryRefused() {
    for (const TPictureKey& key : FMemoryWait.TakeAll()) {
        const auto found = FPictures.find(key);
        if (found != FPictures.end() && !found->second.Made && !found->second.Waiting.empty()) Decode(key);
    }
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
    const TRowBand band = TRowBand::Of(FVisibleFirst, FVisibleLast, rowCount());
    if (band.Empty()) return;  // nothing on view: what is held stays until something is
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
        if (band.Keeps(row) && (band.Wants(row) || FRows[static_cast<size_t>(row)].State != TRow::Pending)) continue;
        DropRow(row);
        dropped = true;
    }
    if (dropped) {
        // Pictures no row holds or waits for go; so do their decodes on their way, the channel's
        // queue then holding only those still wanted.
        std::set<TPictureKey> used;
        for (const uint64_t id : FAsked) used.insert(FRows[static_cast<size_t>(RowOf(id))].Key);
        bool abandoned = false;
        std::erase_if(FPictures, [&](auto& entry) {
            if (used.count(entry.first)) return false;
            if (!entry.second.Made) abandoned = true;
            entry.second.Dropped->store(true);
            FMemoryWait.Forget(entry.first);
            return true;
        });
        if (abandoned) {
            FDecoder->Abandon();
            for (auto& [key, shared] : FPictures) {
                if (shared.Made || shared.Waiting.empty()) continue;
                shared.Dropped = std::make_shared<std::atomic<bool>>(false);
                FMemoryWait.Forget(key);
                Decode(key);
            }
        }
    }
    band.ForWanted([this](int row) { RequestThumbnail(row); });
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
    FMemoryWait.Clear();
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
    std::erase_if(FPictures, [this](auto& entry) {
        if (!entry.second.Buffer.expired()) return false;
        entry.second.Dropped->store(true);
        FMemoryWait.Forget(entry.first);
        return true;
    });
    // Other rows move onto the screen.
    RequestVisible();
}

void TIconListModel::Clear() {
    Refill([this] { FIcons.Clear(); });
}

}  // namespace pictavo
