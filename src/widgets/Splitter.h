// The window's splitters: named, their handles of one width, their parts never collapsed.
#pragma once

#include <Qt>

class QSplitter;
class QWidget;

namespace pictavo {

inline constexpr int kSplitterWidth = 3;

QSplitter* NewSplitter(Qt::Orientation orientation, QWidget* parent, const char* name);

}  // namespace pictavo
