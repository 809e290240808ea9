// The search dialog: searches the folder chosen in the main window's tree (and its
// sub-folders) for files that match a mask; the main window's run handlers list those that
// hold icons. Created hidden with the main window and kept while the program runs; closing it
// hides it.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class Twnd_pv_Main;

namespace pictavo {
class TPropStorageEh;
}

class Twnd_pv_Search : public QDialog {
    Q_OBJECT
public:
    explicit Twnd_pv_Search(Twnd_pv_Main& owner);
    ~Twnd_pv_Search() override;

    QLabel* Label1;
    QLabel* Image1;
    QComboBox* cbMask;     // masks separated by ";"
    QCheckBox* cbxSub;     // search the sub-folders too
    QCheckBox* cbxIgnore;  // in every run, skip a name already met in it
    QCheckBox* cbxClear;   // in every run, remove the file list's rows when it begins
    QPushButton* bAction;  // start or stop
    pictavo::TPropStorageEh* Storage;

    // Starts a search, or stops the run in progress.
    void bActionClick();

protected:
    // The dialog sees key presses before its controls.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Escape without Shift, Ctrl or Alt closes the dialog; Enter presses the action button.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    Twnd_pv_Main& FMain;
};

// The text without the blanks and control characters at its ends.
QString TrimBlanks(const QString& text);
