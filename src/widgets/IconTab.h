// One tab sheet of icons, used for the file on view and for the library: the icon view of an
// icon list beside the image box of the icon chosen in it, their splitter, the switch between
// icon and tile view, and the icon whose images the box shows.
#pragma once

#include "widgets/IconDelegates.h"

#include <QAbstractItemView>
#include <QColor>
#include <QWidget>

class QListView;
class QSplitter;

namespace pictavo {

class TWorkService;
class TIconList;
class TIconListModel;
class TIconImagesModel;
class TIconTileDelegate;

class TIconTab : public QWidget {
    Q_OBJECT
public:
    // The names its parts are stored and found under, and how they look and select.
    struct TLayout {
        const char* SheetName;
        const char* SplitterName;
        const char* ListName;
        const char* BoxName;
        const char* ListHint;
        const char* BoxHint;
        QAbstractItemView::SelectionMode Selection;
        int Width;  // at design size: the icon view takes what the image box leaves
        QColor ThumbnailBackground;
        bool TooltipColours;  // the list and box in the colours of a tooltip
    };
    // Its pictures are decoded on `service`.
    TIconTab(TWorkService& service, TIconList& icons, const TLayout& layout, QWidget* parent = nullptr);

    QListView* List() const { return FList; }
    QListView* Box() const { return FBox; }
    TIconListModel* Icons() const { return FIcons; }
    TIconImagesModel* Images() const { return FImages; }

    // The selection of a row changed: the box lists that icon's images, or none.
    void IconSelectionChanged(int row, bool selected);
    // Icon view, or tile view (the picture beside the name and, under it, the image count).
    void SetTileView(bool tiles);
    // The view lists no icon without images; how many it lists.
    void HideIconsWithoutImages();
    int ListedIcons() const;
    // Rows for the icons appended to the list since it was last shown.
    void ShowAppended();
    // Removes the selected icons from the list; nothing stays selected and the box is empty.
    void RemoveSelected();
    // The index of the icon whose image is selected in the box, and the image's index in it;
    // false when no line is selected.
    bool SelectedImage(int& iconIndex, int& imageIndex) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A right click in the box selects the line under the point, or none below the last.
    void BoxMouseDown(Qt::MouseButton button, const QPoint& pos);

    TIconList& FIconList;
    QSplitter* FSplitter;
    QListView* FList;
    QListView* FBox;
    QObject* FBoxViewport;  // compared with what the filter sees
    TIconTileDelegate* FTiles;
    TIconListModel* FIcons;
    TIconImagesModel* FImages;
};

}  // namespace pictavo
