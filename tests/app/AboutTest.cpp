#include "app/About.h"
#include "app/ProgramIcon.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

template <typename T = QLabel>
T* Part(const QDialog& dialog, const char* name) {
    return dialog.findChild<T*>(QLatin1String(name));
}

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void showsProgramVersionAndMachine() {
        Twnd_pv_About about;
        QCOMPARE(about.windowTitle(), QStringLiteral("关于 Quarn Pictavo"));
        QVERIFY(about.isModal());
        QCOMPARE(Part(about, "lbProgram")->text(), QStringLiteral("Quarn Pictavo"));
        QCOMPARE(Part(about, "lbVersion")->text(), QStringLiteral("版本 " PICTAVO_VERSION));
        for (const QLabel* label : {Part(about, "lbOS"), Part(about, "lbProcessor"), Part(about, "lbMemory")}) {
            QVERIFY2(!label->text().trimmed().isEmpty(), qPrintable(label->objectName()));
            QVERIFY2(label->text() != QStringLiteral("未知"), qPrintable(label->text()));
        }
        QVERIFY(Part(about, "lbOS")->text().contains(QSysInfo::kernelVersion()));
        QVERIFY(Part(about, "lbMemory")->text().startsWith(QStringLiteral("共 ")));
        for (const char* credit : {"Pictavo 开发者", "Qt", "libpng", "zlib"})
            QVERIFY2(Part(about, "lbCredits")->text().contains(QString::fromUtf8(credit)), credit);
    }

    void okCloses() {
        Twnd_pv_About about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(Part<QPushButton>(about, "btOK")->text(), QStringLiteral("确定"));
        Part<QPushButton>(about, "btOK")->click();
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void programIconIsBuiltIn() {
        const QPixmap large(QStringLiteral(":/pictavo.png"));
        QCOMPARE(large.size(), QSize(256, 256));
        const QIcon icon = ProgramIcon();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(16, 16).size(), QSize(16, 16));
    }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
