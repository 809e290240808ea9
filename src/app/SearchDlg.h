// The search dialog: asks for a search of the folder chosen in the main window's tree (and its
// sub-folders) for files that match a mask, or for the run in progress to stop; the main
// window runs it and lists the files that hold icons, and tells the dialog whether a run is in
// progress. Created hidden with the main window and kept while the program runs; closing it
// hides it.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace pictavo {
class TPropStorageEh;
class TRegPropStorageManEh;
}  // namespace pictavo

class Twnd_pv_Search : public QDialog {
    Q_OBJECT
public:
    // Stores its position through the owner's storage manager.
    Twnd_pv_Search(QWidget* owner, pictavo::TRegPropStorageManEh* storageManager);
    ~Twnd_pv_Search() override;

    // The options each run reads: skip a name met before in the run; empty the file list when
    // a run begins.
    bool SkipDuplicates() const;
    bool ClearOnBegin() const;
    // Whether a run is in progress: the action button stops it then.
    void SetRunning(bool running);

signals:
    // A search of the chosen folder for the masks (separated by ";"), with its sub-folders.
    void StartRequested(const QString& masks, bool subfolders);
    void StopRequested();

protected:
    // The dialog sees key presses before its controls.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks for a search, or for the run in progress to stop.
    void bActionClick();
    // Escape without Shift, Ctrl or Alt closes the dialog; Enter presses the action button.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    QLabel* Label1;
    QLabel* Image1;
    QComboBox* cbMask;     // masks separated by ";"
    QCheckBox* cbxSub;     // search the sub-folders too
    QCheckBox* cbxIgnore;  // in every run, skip a name already met in it
    QCheckBox* cbxClear;   // in every run, remove the file list's rows when it begins
    QPushButton* bAction;  // start or stop
    pictavo::TPropStorageEh* Storage;
    bool FRunning = false;
};

// The text without the blanks and control characters at its ends.
QString TrimBlanks(const QString& text);
