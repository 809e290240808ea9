// The main window's saving: its save dialogs (the library's, an icon's, a bitmap's, and the
// chooser of the folder icons are saved into) and the commands that save the icons and images
// of a tab.
#pragma once

#include <QString>

#include <optional>
#include <string>

class QFileDialog;
class QWidget;
class TCommandRunner;

namespace pictavo {
class TIconTab;
class TIconLibrary;
}  // namespace pictavo

class TSaveCommands {
public:
    // The dialogs are made as children of `owner` (named "sd", "sdIcon", "sdBMP" and
    // "FolderDialog").
    explicit TSaveCommands(QWidget* owner);

    enum TKind { Library, Icon, Bitmap };
    // Runs the save dialog of the kind proposing `proposal`; the name chosen with the dialog's
    // own extension in place of the one typed, or nothing when the user cancels.
    std::optional<std::string> AskName(TKind kind, const QString& proposal);

    // The image selected in the tab's box as an .ico file, and as a bitmap on a colour chosen
    // in the colour dialog; `library` holds the tab's icons.
    void SaveBoxImageAsIcon(const pictavo::TIconLibrary& library, const pictavo::TIconTab& tab);
    void SaveBoxImageAsBitmap(const pictavo::TIconLibrary& library, const pictavo::TIconTab& tab);
    // The icon selected in the tab's view as an .ico file.
    void SaveSelectedIcon(const pictavo::TIconLibrary& library, const pictavo::TIconTab& tab);
    // The icons listed in the tab's view (all, or the selected) as .ico files in a folder the
    // user chooses.
    void SaveIconsToFolder(const pictavo::TIconLibrary& library, const pictavo::TIconTab& tab, bool all,
                           TCommandRunner& runner);

private:
    QWidget* FOwner;
    QFileDialog* sd;
    QFileDialog* sdIcon;
    QFileDialog* sdBMP;
    QFileDialog* FolderDialog;
};
