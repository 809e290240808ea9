// The main window.
#pragma once

#include <QMainWindow>

namespace pictavo {
class TPropStorageEh;
class TRegPropStorageManEh;
}  // namespace pictavo

class Twnd_pv_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Twnd_pv_Main(QWidget* parent = nullptr);
    ~Twnd_pv_Main() override;

    // Stored settings: the window's own storage (Section "Main") and the manager that keeps
    // them in the per-user store, which the search dialog's storage shares.
    pictavo::TPropStorageEh* Storage;
    pictavo::TRegPropStorageManEh* StorageMan;
};
