// Program entry of the window.
#include "app/Main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn Pictavo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quarn Pictavo"));
    Twnd_pv_Main window;
    window.show();
    return QApplication::exec();
}
