#include "app/WindowLanguage.h"

#include "base/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <string>

namespace {

// Loads the window's texts in `language`; English where the core has a catalog of a language
// the window has none of. Only from the program's own resources, never from a file: no folder
// found from the program's place, which another user may have made, can choose its texts.
bool LoadWindowTranslation(QTranslator& translator, const std::string& language) {
    const QString folder = QStringLiteral(":/i18n");
    return translator.load(QStringLiteral("pictavo_") + QString::fromStdString(language), folder) ||
           translator.load(QStringLiteral("pictavo_en"), folder);
}

}  // namespace

void InitWindowLanguage() {
    pictavo::InitLanguage();
    const std::string& language = pictavo::UiLanguage();
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Qt's own texts come from Qt's installed translations folder.
    const bool loaded = language.empty() ? translator->load(QStringLiteral("qtbase_zh_CN"),
                                                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                                         : LoadWindowTranslation(*translator, language);
    if (loaded)
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

QString WindowText(const char* context, const char* source) {
    if (QCoreApplication::instance()) return QCoreApplication::translate(context, source);
    const std::string language = pictavo::ChooseLanguage(pictavo::CurrentLocaleEnvironment());
    QTranslator translator;
    if (!language.empty() && LoadWindowTranslation(translator, language)) {
        const QString text = translator.translate(context, source);
        if (!text.isEmpty()) return text;
    }
    return QString::fromUtf8(source);
}
