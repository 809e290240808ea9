// A network share that stops answering never freezes the window. The share is a FUSE file system
// of the test's own (tests/support/StallingFs.cpp) serving generated files, which leaves chosen
// requests unanswered for ever: reads past a file's first bytes, every read of a file, a
// folder's listing. The window lists such folders, reads such files and closes while those
// requests wait. Where FUSE cannot be mounted (no /dev/fuse, no permission, built without
// libfuse3) every case skips itself.
//
// A window stuck in the share would keep the case waiting for ever: each mount has a deadline,
// past which the share is ended (every request still waiting then fails) and the case fails.
#include "WindowFixtures.h"

#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/SettingsStore.h"
#include "widgets/ShellTree.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// How long one case may keep the share mounted before it is ended for it.
constexpr std::chrono::seconds kMountDeadline(15);
// How long the helper has to mount the share, and to end when asked.
constexpr int kMountWaitMs = 5000;
constexpr int kEndWaitMs = 3000;
// Files that stall past their first 4 KB: they are larger, so that the folder listing, which
// reads only their first page, is answered, and reading their icons is not.
constexpr int kAnsweredBytes = 4096;
constexpr size_t kStallingFileSize = 3 * 4096;

// The helper serving a folder as a share that stops answering where its rules say, mounted on a
// folder of its own; unmounted, and the helper ended, when it goes.
class TStallingMount {
public:
    TStallingMount(const std::string& source, const QStringList& rules) {
#ifndef PICTAVO_STALLING_FS
        Q_UNUSED(source);
        Q_UNUSED(rules);
        FError = QStringLiteral("built without libfuse3 (pkg-config found no fuse3): no share to stall");
#else
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            FError = QStringLiteral("no FUSE here: /dev/fuse: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        FPoint = FFolder.filePath(QStringLiteral("share"));
        if (!FFolder.isValid() || !QDir().mkdir(FPoint)) {
            FError = QStringLiteral("no folder to mount the share on");
            return;
        }
        FHelper.start(QStringLiteral(PICTAVO_STALLING_FS), QStringList{"-f", Q(source), FPoint} + rules);
        if (!FHelper.waitForStarted(kMountWaitMs)) {
            FError = QStringLiteral("the FUSE helper did not start: %1").arg(FHelper.errorString());
            return;
        }
        QElapsedTimer waited;
        waited.start();
        while (!MountedNow()) {
            if (FHelper.waitForFinished(10) || FHelper.state() == QProcess::NotRunning) {
                FError = QStringLiteral("FUSE could not mount the share (%1)")
                             .arg(QString::fromLocal8Bit(FHelper.readAllStandardError()).trimmed());
                return;
            }
            if (waited.elapsed() > kMountWaitMs) {
                FError = QStringLiteral("the FUSE share was not mounted within %1 ms").arg(kMountWaitMs);
                return;
            }
        }
        FMounted = true;
        FWatchdog = std::thread([this, pid = static_cast<pid_t>(FHelper.processId())] {
            std::unique_lock<std::mutex> lock(FLock);
            if (FWake.wait_for(lock, kMountDeadline, [this] { return FEnding; })) return;
            // Whatever waits in the share comes back (with an error) once its server has gone.
            FExpired = true;
            ::kill(pid, SIGTERM);
        });
#endif
    }

    ~TStallingMount() { End(); }

    // Ends the share: the helper answers what still waits with an error and unmounts it; killed,
    // its end aborts the connection, which ends every request too.
    void End() {
        if (FWatchdog.joinable()) {
            {
                std::lock_guard<std::mutex> lock(FLock);
                FEnding = true;
            }
            FWake.notify_all();
            FWatchdog.join();
        }
        if (FHelper.state() != QProcess::NotRunning) {
            FHelper.terminate();
            if (!FHelper.waitForFinished(kEndWaitMs)) {
                FHelper.kill();
                FHelper.waitForFinished(kEndWaitMs);
            }
        }
        if (!FPoint.isEmpty() && MountedNow()) {
            const QByteArray point = QFile::encodeName(FPoint);
            if (::umount2(point.constData(), MNT_DETACH) != 0) {
                QProcess unmount;
                unmount.start(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), FPoint});
                if (!unmount.waitForFinished(kEndWaitMs)) unmount.kill();
                unmount.waitForFinished(kEndWaitMs);
            }
            if (MountedNow()) {
                qWarning("the share at %s is still mounted", point.constData());
                FFolder.setAutoRemove(false);  // never removes files through a mount
            }
        }
    }

    bool Mounted() const { return FMounted; }
    // Why there is no share.
    const QString& Error() const { return FError; }
    // The share's top folder, or a path in it.
    QString Path(const QString& name = {}) const { return name.isEmpty() ? FPoint : FPoint + u'/' + name; }
    // Waits until the helper has left `request` unanswered ("read s1.ico", "readdir dead", as it
    // reports them).
    bool WaitStalled(const QString& request) {
        return QTest::qWaitFor([&] {
            FHelper.waitForReadyRead(0);
            FReported += QString::fromUtf8(FHelper.readAllStandardOutput());
            const QStringList lines = FReported.split(u'\n');
            return std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
                return line == "stalled " + request || line.startsWith("stalled " + request + u' ');
            });
        });
    }
    // The deadline passed: something was stuck in the share until it was ended.
    bool Expired() const { return FExpired; }

private:
    bool MountedNow() const {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        if (!table.open(QIODevice::ReadOnly)) return false;
        // The fifth field is the mount point.
        for (const QByteArray& line : table.readAll().split('\n'))
            if (line.split(' ').value(4) == QFile::encodeName(FPoint)) return true;
        return false;
    }

    QTemporaryDir FFolder;
    QString FPoint;
    QProcess FHelper;
    QString FError;
    QString FReported;
    bool FMounted = false;
    std::thread FWatchdog;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FEnding = false;
    std::atomic<bool> FExpired = false;
};

// Counts the turns of the window's event loop, as a timer that fires every few milliseconds.
class TTicks {
public:
    TTicks() {
        QObject::connect(&FTimer, &QTimer::timeout, [this] { ++FCount; });
        FTimer.start(10);
    }
    int Count() const { return FCount; }

private:
    QTimer FTimer;
    int FCount = 0;
};

// Once panel 1 shows `busy`, the window's loop keeps turning (a timer fires again and again) for
// a while, with panel 1 showing it and the busy cursor up all along; what went wrong otherwise.
QString AnswersWhileBusy(const Twnd_pv_Main& window, const QString& busy) {
    const auto busyCursor = [] {
        return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    if (!QTest::qWaitFor([&] { return Panel(window, 1) == busy && busyCursor(); }))
        return "panel 1 shows " + Panel(window, 1) + (busyCursor() ? QString() : QStringLiteral(", no busy cursor"));
    TTicks ticks;
    QString wrong;
    const bool wentWrong = QTest::qWaitFor(
        [&] {
            if (Panel(window, 1) != busy) wrong = "panel 1 showed " + Panel(window, 1);
            if (!busyCursor()) wrong = QStringLiteral("the busy cursor went");
            return !wrong.isEmpty();
        },
        300);
    if (!wentWrong && ticks.Count() < 5) wrong = QStringLiteral("the event loop turned %1 times").arg(ticks.Count());
    return wrong;
}

}  // namespace

#define MOUNT_OR_SKIP(mount)                                        \
    do {                                                            \
        if (!(mount).Mounted()) QSKIP(qPrintable((mount).Error())); \
    } while (false)

class StuckShareTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FStart;  // where every window starts: a local folder with one icon file
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    void initTestCase() { WriteIcoFile(FStart.File("start.ico")); }

    // The share's files stop answering partway through a folder listing: the rows of the files
    // before them show, the window answers and shows the listing busy, and a folder chosen next
    // is listed; the same for a folder whose listing itself never answers.
    void listingAStalledFolder() {
        TempDir source, local;
        for (const char* name : {"a1.ico", "a2.ico", "a3.ico", "s.ico", "z.ico"}) WriteIcoFile(source.File(name));
        std::filesystem::create_directory(source.File("dead"));
        WriteIcoFile(source.File("dead/d.ico"));
        WriteIcoFile(local.File("local.ico"));
        TStallingMount share(source.Path(), {"read:s.ico:0", "readdir:dead"});
        MOUNT_OR_SKIP(share);
        auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);

        QVERIFY(Parts(window).ShellTree->SetPath(share.Path()));
        QVERIFY(share.WaitStalled(QStringLiteral("read s.ico")));
        QTRY_COMPARE(ListedNames(*window), (QStringList{"a1.ico", "a2.ico", "a3.ico"}));
        // Panel 1 names the folder being listed.
        QString wrong = AnswersWhileBusy(*window, share.Path() + u'/');
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QVERIFY(Parts(window).Listing.Busy());
        QVERIFY(Parts(window).FBrowsing);

        QVERIFY(Parts(window).ShellTree->SetPath(share.Path(QStringLiteral("dead"))));
        QVERIFY(share.WaitStalled(QStringLiteral("readdir dead")));
        wrong = AnswersWhileBusy(*window, share.Path(QStringLiteral("dead/")));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 0);

        // Neither listing waiting in the share keeps the next one from its turn.
        QVERIFY(Parts(window).ShellTree->SetPath(Q(local.Path())));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), QStringList{"local.ico"});
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        window.reset();
        QVERIFY2(!share.Expired(), "the window was stuck in the share");
    }

    // Files whose first 4 KB answer and whose icons never come: one chosen shows the search busy,
    // and after several of them another file's icons show, on the share and then in a local
    // folder.
    void choosingStalledFiles() {
        // As many stalled files at a time as the window's work service has threads, so that none
        // is left for the next file unless the stalled reads give theirs up.
        const int stalledAtATime = std::max(2, QThread::idealThreadCount());
        TempDir source, local;
        QStringList rules;
        for (int i = 0; i < 2 * stalledAtATime; ++i) {
            const std::string name = "s" + std::to_string(i) + ".ico";
            WriteIcoFile(source.File(name), kStallingFileSize);
            rules << QStringLiteral("read:%1:%2").arg(Q(name)).arg(kAnsweredBytes);
        }
        WriteIcoFile(source.File("n.ico"), kStallingFileSize);
        WriteIcoFile(local.File("local.ico"), kStallingFileSize);
        TStallingMount share(source.Path(), rules);
        MOUNT_OR_SKIP(share);
        auto window = OpenWindow(Store(), share.Path());
        QVERIFY(window);
        QCOMPARE(Parts(window).FileList->model()->rowCount(), 2 * stalledAtATime + 1);

        int next = 0;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < stalledAtATime; ++i, ++next) {
                const QString name = QStringLiteral("s%1.ico").arg(next);
                QVERIFY(SelectFile(*window, name));
                QCOMPARE(Panel(*window, 1), QStringLiteral("正在检索图标..."));
                QVERIFY(share.WaitStalled("read " + name));
                QVERIFY(window->Reading());
                QCOMPARE(Count(Parts(window).IconList), 0);
            }
            if (round == 0) {
                QVERIFY(ChooseFile(*window, QStringLiteral("n.ico")));
                QCOMPARE(Parts(window).FCurrentFile, share.Path(QStringLiteral("n.ico")).toStdString());
            } else {
                QVERIFY(Parts(window).ShellTree->SetPath(Q(local.Path())));
                QVERIFY(WaitIdle(*window));
                QVERIFY(ChooseFile(*window, QStringLiteral("local.ico")));
                QCOMPARE(Parts(window).FCurrentFile, local.File("local.ico"));
            }
            QCOMPARE(Count(Parts(window).IconList), 1);
            QVERIFY2(Panel(*window, 1).startsWith(QStringLiteral("就绪")), qPrintable(Panel(*window, 1)));
        }
        window.reset();
        QVERIFY2(!share.Expired(), "the window was stuck in the share");
    }

    // The window closes at once with a listing and a file's read waiting in the share, its
    // settings saved.
    void closingWithReadsStuck() {
        TempDir source;
        WriteIcoFile(source.File("a.ico"));
        WriteIcoFile(source.File("s.ico"), kStallingFileSize);
        WriteIcoFile(source.File("z.ico"));
        TStallingMount share(source.Path(), {QStringLiteral("read:s.ico:%1").arg(kAnsweredBytes), "open:z.ico"});
        MOUNT_OR_SKIP(share);
        QFile::remove(Store());
        auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        QVERIFY(Parts(window).ShellTree->SetPath(share.Path()));
        QVERIFY(share.WaitStalled(QStringLiteral("open z.ico")));
        QTRY_COMPARE(ListedNames(*window), (QStringList{"a.ico", "s.ico"}));
        QVERIFY(SelectFile(*window, QStringLiteral("s.ico")));
        QVERIFY(share.WaitStalled(QStringLiteral("read s.ico")));
        QVERIFY(Parts(window).Listing.Busy());
        QVERIFY(window->Reading());

        QElapsedTimer closing;
        closing.start();
        window->close();
        window.reset();
        const qint64 closeMs = closing.elapsed();
        qInfo("closing with a listing and a read stuck in the share took %lld ms", closeMs);
        QVERIFY2(closeMs < 1000, qPrintable(QString::number(closeMs)));
        QVERIFY(StoredLines(Store(), QStringLiteral("Main")).contains("  LastFolder = '" + share.Path() + "'"));
        QVERIFY2(!share.Expired(), "the window was stuck in the share");
    }

    // The folder tree reads the folders above the one chosen: one holding a file of unknown type
    // that never answers (the tree names no type by reading a file), then one holding a file
    // whose status never comes (the tree's reader thread stays stuck): the window answers
    // throughout and closes at once.
    void treeBesideFilesThatNeverAnswer() {
        TempDir source;
        for (const char* folder : {"one", "two", "one/sub", "two/sub"})
            std::filesystem::create_directory(source.File(folder));
        WritePlainFile(source.File("one/notes"), 100);
        WriteIcoFile(source.File("one/sub/a.ico"));
        WriteIcoFile(source.File("two/gone.ico"));
        WriteIcoFile(source.File("two/sub/b.ico"));
        TStallingMount share(source.Path(), {"read:one/notes:0", "lookup:two/gone.ico"});
        MOUNT_OR_SKIP(share);
        auto window = OpenWindow(Store(), Q(FStart.Path()));
        QVERIFY(window);
        TShellTree& tree = *Parts(window).ShellTree;
        QStringList loaded;
        // Heard while the tree lives (its model outlives it).
        connect(tree.FileSystem(), &QFileSystemModel::directoryLoaded, &tree,
                [&](const QString& path) { loaded << path; });
        TTicks ticks;

        QVERIFY(tree.SetPath(share.Path(QStringLiteral("one/sub"))));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), QStringList{"a.ico"});
        QTRY_VERIFY(loaded.contains(share.Path(QStringLiteral("one"))));
        QVERIFY(tree.FileSystem()->index(share.Path(QStringLiteral("one/sub"))).isValid());

        QVERIFY(tree.SetPath(share.Path(QStringLiteral("two/sub"))));
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window), QStringList{"b.ico"});
        QVERIFY(share.WaitStalled(QStringLiteral("lookup two/gone.ico")));
        const int before = ticks.Count();
        QTest::qWait(300);
        QVERIFY2(ticks.Count() - before >= 5, qPrintable(QString::number(ticks.Count() - before)));

        QElapsedTimer closing;
        closing.start();
        window->close();
        window.reset();
        const qint64 closeMs = closing.elapsed();
        qInfo("closing with the tree's reader stuck in the share took %lld ms", closeMs);
        QVERIFY2(closeMs < 1000, qPrintable(QString::number(closeMs)));
        QVERIFY2(!share.Expired(), "the window was stuck in the share");
    }

    // The share plays a real network file system: a process killed while it waits for a read
    // ends (the helper answers the kernel's interrupt), so that nothing stays stuck after a test.
    void aReaderKilledInTheShareEnds() {
        TempDir source;
        WriteIcoFile(source.File("s.ico"), kStallingFileSize);
        TStallingMount share(source.Path(), {"read:s.ico:0"});
        MOUNT_OR_SKIP(share);
        const QByteArray path = QFile::encodeName(share.Path(QStringLiteral("s.ico")));
        const pid_t reader = ::fork();
        if (reader == 0) {
            char byte;
            const int fd = ::open(path.constData(), O_RDONLY);
            _exit(fd >= 0 && ::pread(fd, &byte, 1, 0) == 1 ? 0 : 1);
        }
        QVERIFY(reader > 0);
        const bool stalled = share.WaitStalled(QStringLiteral("read s.ico"));
        ::kill(reader, SIGKILL);
        int status = 0;
        const bool ended = QTest::qWaitFor([&] { return ::waitpid(reader, &status, WNOHANG) == reader; }, 3000);
        if (!ended) {
            share.End();  // the reader's read fails now, and it can be reaped
            if (!QTest::qWaitFor([&] { return ::waitpid(reader, &status, WNOHANG) == reader; }, kEndWaitMs))
                qWarning("the reader of the share was not reaped");
        }
        QVERIFY(stalled);
        QVERIFY2(ended, "a process killed while reading the share stayed stuck");
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
};

QTEST_MAIN(StuckShareTest)
#include "StuckShareTest.moc"
