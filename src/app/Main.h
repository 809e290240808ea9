// The main window.
#pragma once

#include <QMainWindow>

class Twnd_pv_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Twnd_pv_Main(QWidget* parent = nullptr);
};
