#include "app/Main.h"

#include "widgets/PropStorageEh.h"

Twnd_pv_Main::Twnd_pv_Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("wnd_pv_Main"));
    setWindowTitle(QStringLiteral("Quarn Pictavo"));
    resize(800, 600);
    pictavo::SetFormPosition(this, pictavo::TFormPositionEh::ScreenCenter);

    StorageMan = new pictavo::TRegPropStorageManEh(this);
    StorageMan->setObjectName(QStringLiteral("StorageMan"));
    StorageMan->SetPath(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x"));
    Storage = new pictavo::TPropStorageEh(this);
    Storage->SetSection(QStringLiteral("Main"));
    Storage->SetStorageManager(StorageMan);
    Storage->SetStoredProps({QStringLiteral("<P>.Height"), QStringLiteral("<P>.Left"),
                             QStringLiteral("<P>.PixelsPerInch"), QStringLiteral("<P>.Top"),
                             QStringLiteral("<P>.Width"), QStringLiteral("<P>.WindowState")});
}

Twnd_pv_Main::~Twnd_pv_Main() {
    // Saves what was restored and not saved yet, while the whole window still exists.
    Storage->FormDestroy();
}
