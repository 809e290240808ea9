// The window's language: the one the core chooses from the locale (base/Language.h), with no
// setting of the window's own. The window's texts are Chinese, written in the sources and
// marked for Qt's translation (tr, QT_TR_NOOP, QT_TRANSLATE_NOOP); other languages come from
// Qt Linguist files, translations/pictavo_<language>.ts, which the build compiles into the
// program as ":/i18n/pictavo_<language>.qm".
#pragma once

#include <QString>

// Chooses the language, loads the core's catalog (pictavo::InitLanguage) and installs the
// window's translation; for the program's own Chinese texts, Qt's Chinese texts instead (file
// choosers, message boxes), where installed. Call once, after the QApplication is made: it
// sets the process's locale from the environment, which the core's catalog needs.
void InitWindowLanguage();

// The window's text `source` of `context` in the user's language, also before the application
// exists (the command line's messages), where the language comes from the environment.
QString WindowText(const char* context, const char* source);
