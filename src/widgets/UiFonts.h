// The fonts of the forms: a Chinese text face for captions and texts, and the smaller face of
// the list views.
#pragma once

#include <QFont>
#include <QString>

namespace pictavo {

// "宋体" where it is installed, else a face that covers simplified Chinese (WenQuanYi Zen Hei
// first), else the default sans-serif face.
QString ChineseFontFamily();

// The forms' font: the Chinese face at 12 pixels.
QFont FormFont();

// The list views' font: "MS Sans Serif" where installed, else the default sans-serif face,
// with the Chinese face for the characters it lacks, at 11 pixels.
QFont ListViewFont();

}  // namespace pictavo
