#include "widgets/IconTab.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/PropStorageEh.h"
#include "widgets/RightButtonBand.h"
#include "widgets/Splitter.h"
#include "widgets/UiFonts.h"
#include "widgets/VisibleRows.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QListView>
#include <QMouseEvent>
#include <QSplitter>

using namespace pictavo;

namespace {

constexpr int kThumbnailSize = 32;
// A thumbnail is the largest image up to this width.
constexpr int kThumbnailMaxWidth = 32;
// The design width of an image box.
constexpr int kBoxWidth = 200;
// A tile of the tile view: the picture beside two lines of text.
const QSize kTileSize(180, 44);

QListView* NewList(QWidget* parent, const char* name, const char* storedClass, const char* hint, const QFont& font,
                   bool tooltipColours) {
    auto* list = new QListView(parent);
    list->setObjectName(QLatin1String(name));
    SetStoredClassName(list, QLatin1String(storedClass));
    list->setFont(font);
    list->setToolTip(QCoreApplication::translate("Twnd_pv_Main", hint));  // the main window's text
    if (tooltipColours) {
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
        palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
        list->setPalette(palette);
    }
    return list;
}

}  // namespace

TIconTab::TIconTab(TWorkService& service, TIconList& icons, const TLayout& layout, QWidget* parent)
    : QWidget(parent), FIconList(icons) {
    setObjectName(QLatin1String(layout.SheetName));
    SetStoredClassName(this, QStringLiteral("TTabSheet"));
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    FSplitter = NewSplitter(Qt::Horizontal, this, layout.SplitterName);
    box->addWidget(FSplitter);

    // The icon view, in the list views' font.
    FList = NewList(FSplitter, layout.ListName, "TListView", layout.ListHint, ListViewFont(), layout.TooltipColours);
    FList->setViewMode(QListView::IconMode);
    FList->setSelectionMode(layout.Selection);
    FList->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    // The icons flow anew into the view's width whenever it is resized: nothing lies beyond it
    // sideways, so no horizontal scroll bar is shown (between a resize and the new flow the view
    // would briefly, or with many icons lastingly, offer one over an empty area).
    FList->setResizeMode(QListView::Adjust);
    FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A batch of icons is laid out at a time, the first at once: a list of tens of thousands
    // shows its first screen without waiting for the sizes of all.
    FList->setLayoutMode(QListView::Batched);
    FTiles = new TIconTileDelegate(FList);
    FList->setItemDelegate(FTiles);
    new TRightButtonBand(FList);
    FIcons = new TIconListModel(service, icons, layout.ThumbnailBackground, kThumbnailSize, kThumbnailMaxWidth, this);
    FList->setModel(FIcons);
    // Pictures are made for the icons on screen and around them.
    new TVisibleRows(FList, [this](int first, int last) { FIcons->SetVisibleRows(first, last); });

    // The image box, a list box in the form's font: its items are as wide as the box, which
    // never scrolls sideways; its right clicks select (BoxMouseDown).
    FBox = NewList(FSplitter, layout.BoxName, "TListBox", layout.BoxHint, FormFont(), layout.TooltipColours);
    FBox->setItemDelegate(new TIconImageDelegate(FBox));
    FBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FBoxViewport = FBox->viewport();
    FBoxViewport->installEventFilter(this);
    new TRightButtonBand(FBox, false);
    FImages = new TIconImagesModel(service, this);
    FImages->SetMaxPictureSide(BoxPictureMaxSide(QFontMetrics(FBox->font())));
    FBox->setModel(FImages);
    new TVisibleRows(FBox, [this](int first, int last) { FImages->SetVisibleRows(first, last); });

    FSplitter->setStretchFactor(0, 1);
    FSplitter->setStretchFactor(1, 0);
    FSplitter->setSizes({layout.Width - kBoxWidth, kBoxWidth});
}

void TIconTab::IconSelectionChanged(int row, bool selected) {
    if (selected)
        FImages->ShowIcon(FIconList, row);
    else
        FImages->Clear();
}

void TIconTab::SetTileView(bool tiles) {
    FTiles->Tiles = tiles;
    FList->setViewMode(tiles ? QListView::ListMode : QListView::IconMode);
    FList->setFlow(QListView::LeftToRight);
    FList->setWrapping(true);
    FList->setResizeMode(QListView::Adjust);
    FList->setGridSize(tiles ? kTileSize : QSize());
    FList->doItemsLayout();
}

void TIconTab::HideIconsWithoutImages() {
    for (int row = 0; row < FIcons->rowCount(); ++row) FList->setRowHidden(row, FIcons->HidesRow(row));
}

int TIconTab::ListedIcons() const {
    int listed = 0;
    for (int row = 0; row < FIcons->rowCount(); ++row) listed += FList->isRowHidden(row) ? 0 : 1;
    return listed;
}

void TIconTab::ShowAppended() {
    FIcons->ShowAppended();
    HideIconsWithoutImages();
}

void TIconTab::RemoveSelected() {
    // The box lets go of the icon it shows before the icon may go.
    FImages->Clear();
    // The selected rows go with their icons; the model tells the view and its selection.
    std::vector<int> rows;
    for (const QModelIndex& index : FList->selectionModel()->selectedIndexes()) rows.push_back(index.row());
    FIcons->RemoveRows(std::move(rows));
    // Nothing stays selected, so that a second press removes nothing more.
    FList->selectionModel()->clear();
}

bool TIconTab::SelectedImage(int& iconIndex, int& imageIndex) const {
    const QModelIndexList selected = FBox->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return false;
    iconIndex = FImages->IconIndex();
    if (iconIndex < 0 || iconIndex >= FIconList.Count()) return false;
    const TAdvancedIcon* icon = FIconList.Icon(iconIndex);
    if (!icon || icon != FImages->Icon()) return false;
    // The line's own image (the one the box draws on it, whatever reordered the icon's images
    // since it was listed), and its place in the icon.
    const TIconImage* image = FImages->Image(selected.first().row());
    for (imageIndex = 0; imageIndex < icon->Images().Count(); ++imageIndex)
        if (icon->Images()[imageIndex] == image) return true;
    return false;
}

void TIconTab::BoxMouseDown(Qt::MouseButton button, const QPoint& pos) {
    if (button != Qt::RightButton) return;
    const QModelIndex index = FBox->indexAt(pos);
    if (index.isValid())
        FBox->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        FBox->selectionModel()->clear();
}

bool TIconTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FBoxViewport && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        BoxMouseDown(mouse->button(), mouse->position().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}
