// The item delegates of the icon views and of the image boxes: the tile view of an icon list
// (caption with a second line), and an image box's owner-drawn items (the image at its own
// size above its label).
#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

namespace pictavo {

class TIconImage;

// The role of an icon row's second caption, its image count ("图像数量: N"), drawn on a tile's
// second line.
inline constexpr int kIconDetailRole = Qt::UserRole + 1;

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

// The owner drawing of an image box over a TIconImagesModel: each item fills its row with the box's colour (the
// selection colour when selected), draws its image at its own size 5 pixels in from the top
// left, and writes its label 5 pixels above its bottom. Only the images drawn are decoded.
class TIconImageDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TIconImageDelegate(TBoxHeightRule rule, QObject* parent = nullptr) : QStyledItemDelegate(parent), FRule(rule) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TBoxHeightRule FRule;
};

}  // namespace pictavo
