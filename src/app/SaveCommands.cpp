#include "app/SaveCommands.h"

#include "app/ColorDlg.h"
#include "app/CommandRunner.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "icons/IconTools.h"
#include "library/IconFolder.h"
#include "library/IconLibrary.h"
#include "widgets/ColorPicker.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/IconTab.h"

#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <QStandardPaths>

using namespace pictavo;

namespace {

// The window's text `source` in the user's language.
QString Text(const char* source) { return QCoreApplication::translate("TSaveCommands", source); }

// A save dialog: it asks before replacing a file, and takes a name only in a folder that exists.
QFileDialog* NewSaveDialog(QWidget* parent, const char* name, const char* title, const char* suffix,
                           const char* filter) {
    auto* dialog = new QFileDialog(parent, Text(title));
    dialog->setObjectName(QLatin1String(name));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QLatin1String(suffix));
    dialog->setNameFilters({Text(filter), Text(QT_TRANSLATE_NOOP("TSaveCommands", "所有文件 (*)"))});
    return dialog;
}

// In Qt's own file dialogs the completion popup of their name field is closed with the
// dialog, so that it never stays on screen taking the keys meant for the window.
void CloseCompletionWithDialog(QFileDialog* dialog) {
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QCompleter* completer : dialog->findChildren<QCompleter*>())
            if (completer->popup()) completer->popup()->hide();
    });
}

// The name proposed for an image of an icon: the icon's name and the image's index, made safe.
QString ImageProposal(const TIconLibrary& library, int iconIndex, int imageIndex) {
    return QString::fromStdString(SafeFileName(Format("%s_%d", library.Icons().Name(iconIndex).c_str(), imageIndex)));
}

}  // namespace

TSaveCommands::TSaveCommands(QWidget* owner) : FOwner(owner) {
    sd = NewSaveDialog(owner, "sd", QT_TRANSLATE_NOOP("TSaveCommands", "保存图标库"), "icl",
                       QT_TRANSLATE_NOOP("TSaveCommands", "图标库 (*.icl)"));
    sdIcon = NewSaveDialog(owner, "sdIcon", QT_TRANSLATE_NOOP("TSaveCommands", "保存为图标"), "ico",
                           QT_TRANSLATE_NOOP("TSaveCommands", "图标 (*.ico)"));
    sdBMP = NewSaveDialog(owner, "sdBMP", QT_TRANSLATE_NOOP("TSaveCommands", "保存为位图"), "bmp",
                          QT_TRANSLATE_NOOP("TSaveCommands", "位图 (*.bmp)"));
    FolderDialog = new QFileDialog(owner, Text(QT_TRANSLATE_NOOP("TSaveCommands", "选择目标")));
    FolderDialog->setObjectName(QStringLiteral("FolderDialog"));
    FolderDialog->setFileMode(QFileDialog::Directory);
    FolderDialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
    for (QFileDialog* dialog : {sd, sdIcon, sdBMP, FolderDialog}) CloseCompletionWithDialog(dialog);
}

std::optional<std::string> TSaveCommands::AskName(TKind kind, const QString& proposal) {
    QFileDialog* dialog = kind == Library ? sd : kind == Icon ? sdIcon : sdBMP;
    QString proposed = proposal;
    for (;;) {
        dialog->selectFile(proposed);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
        // The extension is always the dialog's own, whatever the user typed.
        const QFileInfo chosen(dialog->selectedFiles().first());
        const QString name = QString::fromStdString(ChangeFileExtToNone(chosen.fileName().toStdString())) + u'.' +
                             dialog->defaultSuffix();
        const QString forced = chosen.dir().filePath(name);
        // The dialog asked about replacing the name typed; a forced name is another file, and
        // one that exists is only replaced when the user says so (else the dialog comes back).
        if (forced == chosen.filePath() || !QFileInfo::exists(forced) ||
            QMessageBox::question(dialog->parentWidget(), dialog->windowTitle(),
                                  Text(QT_TRANSLATE_NOOP("TSaveCommands", "%1 已存在。\n要替换它吗?")).arg(name)) ==
                QMessageBox::Yes)
            return QFile::encodeName(forced).toStdString();
        proposed = name;
    }
}

void TSaveCommands::SaveBoxImageAsIcon(const TIconLibrary& library, const TIconTab& tab) {
    int iconIndex = 0, imageIndex = 0;
    if (!tab.SelectedImage(iconIndex, imageIndex)) return;
    const std::optional<std::string> fileName = AskName(Icon, ImageProposal(library, iconIndex, imageIndex));
    if (!fileName) return;
    CopyWithOneImage(*library.Icons().Icon(iconIndex), imageIndex)->SaveToFile(*fileName);
}

void TSaveCommands::SaveBoxImageAsBitmap(const TIconLibrary& library, const TIconTab& tab) {
    int iconIndex = 0, imageIndex = 0;
    if (!tab.SelectedImage(iconIndex, imageIndex)) return;
    // A copy of the one image: the icons on view stay as they are.
    const std::unique_ptr<TAdvancedIcon> copy = CopyWithOneImage(*library.Icons().Icon(iconIndex), imageIndex);
    const TIconImage& image = *copy->Images()[0];
    uint32_t colour = 0xFFFFFF;
    if (!SelectBackgroundColor(*image.CreateGraphic(), colour, FOwner)) return;
    const std::optional<std::string> fileName = AskName(Bitmap, ImageProposal(library, iconIndex, imageIndex));
    if (!fileName) return;
    SaveImageAsBitmap(image, ColorToRGB(colour), *fileName);
}

void TSaveCommands::SaveSelectedIcon(const TIconLibrary& library, const TIconTab& tab) {
    const QModelIndexList selected = tab.List()->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    const int i = selected.first().row();
    const TAdvancedIcon* icon = library.Icons().Icon(i);
    if (!icon) return;
    const std::optional<std::string> fileName =
        AskName(Icon, QString::fromStdString(SafeFileName(library.Icons().Name(i))));
    if (fileName) icon->SaveToFile(*fileName);
}

void TSaveCommands::SaveIconsToFolder(const TIconLibrary& library, const TIconTab& tab, bool all,
                                      TCommandRunner& runner) {
    const QItemSelectionModel* selection = tab.List()->selectionModel();
    if (!all && !selection->hasSelection()) return;
    // It starts at the desktop, or at the home folder where there is no desktop folder.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    FolderDialog->setDirectory(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
    if (FolderDialog->exec() != QDialog::Accepted || FolderDialog->selectedFiles().isEmpty()) return;
    const QString folder = FolderDialog->selectedFiles().first();
    TCommandSteps steps;
    steps.BusyText = Text(QT_TRANSLATE_NOOP("TSaveCommands", "正在保存图标到 %1...")).arg(folder);
    runner.Run(steps, [&] {
        // Names made safe and unique, never written through a link: each file lands in the folder.
        TIconFolder target(folder.toStdString());
        for (int i = 0; i < tab.Icons()->rowCount(); ++i) {
            if (tab.List()->isRowHidden(i) || (!all && !selection->isRowSelected(i, {}))) continue;
            const TAdvancedIcon* icon = library.Icons().Icon(i);
            if (icon && icon->Images().Count() > 0) target.Save(*icon, library.Icons().Name(i));
        }
    });
}
