#include "app/ProgramIcon.h"

QIcon ProgramIcon() {
    QIcon builtIn(QStringLiteral(":/pictavo.png"));
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        builtIn.addFile(QStringLiteral(":/pictavo-%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("pictavo"), builtIn);
}
