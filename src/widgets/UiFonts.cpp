#include "widgets/UiFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace pictavo {

QString ChineseFontFamily() {
    for (const QString& name : {QStringLiteral("宋体"), QStringLiteral("SimSun")})
        if (QFontDatabase::hasFamily(name)) return name;
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString& name : chinese)
        if (name.startsWith(QLatin1String("WenQuanYi Zen Hei"))) return name;
    if (!chinese.isEmpty()) return chinese.first();
    return QFont().defaultFamily();
}

QFont FormFont() {
    QFont font(ChineseFontFamily());
    font.setPixelSize(12);
    return font;
}

QFont ListViewFont() {
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif"), ChineseFontFamily()});
    font.setPixelSize(11);
    return font;
}

}  // namespace pictavo
