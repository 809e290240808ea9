// The window program as its command-line tests start it (PICTAVO_WINDOW, its path).
#pragma once

#include <QProcess>
#include <QStringList>

// Starts the window program with `args` in the test's environment without a display, or on the
// window platform `platform` where one is named.
inline void StartWindowProgram(QProcess& program, const QStringList& args, const QString& platform) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
    if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(PICTAVO_WINDOW), args);
}
