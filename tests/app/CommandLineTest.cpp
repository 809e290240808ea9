// The window program's command line: --help and --version need no display, a start without
// any display ends with a message and status 1, and a file is found by the bytes of its name.
#include "WindowProgram.h"

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void run_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM, none when empty
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");  // the beginning of stdout
        QTest::addColumn<QByteArray>("err");  // in stderr

        const QByteArray version = "pictavo " PICTAVO_VERSION "\n";
        const QByteArray noDisplay = "pictavo: 没有可用的图形显示 (未设置 DISPLAY 或 WAYLAND_DISPLAY)\n";
        QTest::newRow("version") << QStringList{"--version"} << "" << 0 << version << QByteArray();
        QTest::newRow("-V") << QStringList{"-V"} << "" << 0 << version << QByteArray();
        QTest::newRow("-v") << QStringList{"-v", "a.ico"} << "" << 0 << version << QByteArray();
        QTest::newRow("help") << QStringList{"--help"} << "" << 0 << QByteArray("用法: pictavo [选项] [文件夹]\n")
                              << QByteArray();
        QTest::newRow("no display") << QStringList() << "" << 1 << QByteArray() << noDisplay;
        QTest::newRow("no display, a file") << QStringList{"a.ico"} << "" << 1 << QByteArray() << noDisplay;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "offscreen" << 2 << QByteArray()
                                        << QByteArray("pictavo: 未知选项 --bogus\n用法: ");
        QTest::newRow("two files") << QStringList{"a.ico", "b.ico"} << "offscreen" << 2 << QByteArray()
                                   << QByteArray("pictavo: 只能指定一个文件夹\n");
        QTest::newRow("missing folder") << QStringList{"/nonexistent/folder"} << "offscreen" << 1 << QByteArray()
                                        << QByteArray("pictavo: 找不到文件夹 /nonexistent/folder\n");
    }

    void run() {
        QFETCH(QStringList, args);
        QFETCH(QString, platform);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess pictavo;
        StartWindowProgram(pictavo, args, platform);
        QVERIFY(pictavo.waitForFinished(30'000));
        QCOMPARE(pictavo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(pictavo.exitCode(), status);
        const QByteArray gotOut = pictavo.readAllStandardOutput();
        const QByteArray gotErr = pictavo.readAllStandardError();
        QVERIFY2(out.isEmpty() ? gotOut.isEmpty() : gotOut.startsWith(out), gotOut.constData());
        QVERIFY2(err.isEmpty() ? gotErr.isEmpty() : gotErr.contains(err), gotErr.constData());
    }

    // A file whose name is not UTF-8 (named in another code page, as "Open with" passes it)
    // is found by its bytes: the window starts rather than saying there is no such folder.
    void nameThatIsNotUtf8() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const std::string name = home.path().toStdString() + "/bad\xff.ico";
        std::ofstream(name) << "not an icon";
        const std::string homeEnv = "HOME=" + home.path().toStdString();
        const std::string configEnv = "XDG_CONFIG_HOME=" + home.path().toStdString() + "/config";
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            char* const argv[] = {const_cast<char*>("pictavo"), const_cast<char*>(name.c_str()), nullptr};
            char* const envp[] = {const_cast<char*>("QT_QPA_PLATFORM=offscreen"), const_cast<char*>(homeEnv.c_str()),
                                  const_cast<char*>(configEnv.c_str()), nullptr};
            ::execve(PICTAVO_WINDOW, argv, envp);
            ::_exit(127);
        }
        // A name it cannot find ends the program at once with status 1; a window keeps running.
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 30 && ended == 0; ++i) {
            QTest::qWait(100);
            ended = ::waitpid(child, &status, WNOHANG);
        }
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        QVERIFY2(ended == 0, qPrintable(QStringLiteral("ended with status %1").arg(WEXITSTATUS(status))));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
