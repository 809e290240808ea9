#include "app/Main.h"

#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void captionIsTheProgramTitle() {
        Twnd_pv_Main window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quarn Pictavo"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
