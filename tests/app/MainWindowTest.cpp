#include "app/CommandRunner.h"
#include "app/Main.h"
#include "widgets/PanelStatusBar.h"

#include <QtTest>

#include <future>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void captionIsTheProgramTitle() {
        Twnd_pv_Main window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quarn Pictavo"));
    }

    // While a background command is on its way, the commands that end meanwhile leave its busy
    // text and cursor showing; its own end, or its abandonment, shows "就绪".
    void backgroundCommandStaysBusyUntilItEnds() {
        QWidget owner;
        pictavo::TPanelStatusBar bar({100, -1}, &owner);
        TCommandRunner runner(&owner, &bar);
        pictavo::TWorkService service;
        pictavo::TWorkChannel queue(service);
        std::promise<void> gate;
        std::shared_future<void> open = gate.get_future().share();
        const auto waiting = [open](int&, const std::atomic<bool>&) { open.wait(); };
        TCommandSteps adding;
        adding.BusyText = QStringLiteral("添加文件到图标库...");
        runner.RunInBackground<int>(adding, queue, waiting, [](int&) {});
        TCommandSteps other;
        other.BusyText = QStringLiteral("正在检索图标...");
        runner.Run(other, [] {});
        QCOMPARE(bar.PanelText(1), adding.BusyText);
        QVERIFY(QApplication::overrideCursor());
        gate.set_value();
        QTRY_COMPARE_WITH_TIMEOUT(bar.PanelText(1), QStringLiteral("就绪"), 5000);
        QVERIFY(!QApplication::overrideCursor());

        std::promise<void> second, started;
        std::promise<bool> told;
        std::shared_future<void> held = second.get_future().share();
        runner.RunInBackground<int>(
            adding, queue,
            [held, &started, &told](int&, const std::atomic<bool>& cancel) {
                started.set_value();
                held.wait();
                told.set_value(cancel.load());
            },
            [](int&) {});
        started.get_future().wait();  // running, so abandoning it tells it to stop
        runner.Abandon(queue);
        QCOMPARE(bar.PanelText(1), QStringLiteral("就绪"));
        QVERIFY(!QApplication::overrideCursor());
        second.set_value();
        QVERIFY(told.get_future().get());  // the abandoned work was told to stop
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
