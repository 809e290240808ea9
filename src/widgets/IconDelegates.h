// The item delegates of the icon views and of the image boxes: the tile view of an icon list
// (caption with a second line), and an image box's owner-drawn items (the image at its own
// size above its label).
#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;
class QListWidgetItem;

namespace pictavo {

class TIconImage;

// The roles of the icon views' items: the icon's index in its library (the item's third
// caption) and the second line of a tile (its second caption).
inline constexpr int kIconIndexRole = Qt::UserRole;
inline constexpr int kIconDetailRole = Qt::UserRole + 1;
// The role of an image box item's object: the image it lists.
inline constexpr int kIconImageRole = Qt::UserRole + 2;

// Draws an icon view's items as tiles when told to: the picture on the left, the caption on
// one line and the second caption on the line under it. Otherwise the items look as the view
// draws them.
class TIconTileDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool Tiles = false;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// How an image box limits its item heights: items taller than 255 pixels get height 0 and are
// not drawn, or they are cut to 255 pixels.
enum class TBoxHeightRule { HideTaller, LimitTo255 };

inline constexpr int kBoxItemDefaultHeight = 48;
inline constexpr int kBoxItemMaxHeight = 255;
// The margin around an item's image and text.
inline constexpr int kBoxItemMargin = 5;

// An image item's height: the image's height, a line of text and three margins, with the rule
// applied to heights over 255.
int ImageItemHeight(const TIconImage& image, const QFontMetrics& font, TBoxHeightRule rule);

// An image box item: the label with the image as its object.
void SetItemImage(QListWidgetItem& item, const TIconImage* image);
const TIconImage* ItemImage(const QModelIndex& index);

// The owner drawing of an image box: each item fills its row with the box's colour (the
// selection colour when selected), draws its image at its own size 5 pixels in from the top
// left, and writes its label 5 pixels above its bottom. Only the images drawn are decoded.
class TIconImageDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TIconImageDelegate(TBoxHeightRule rule, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), FRule(rule) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TBoxHeightRule FRule;
};

}  // namespace pictavo
