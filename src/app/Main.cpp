#include "app/Main.h"

Twnd_pv_Main::Twnd_pv_Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("wnd_pv_Main"));
    setWindowTitle(QStringLiteral("Quarn Pictavo"));
    resize(800, 600);
}
