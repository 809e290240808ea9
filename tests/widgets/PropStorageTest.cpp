// Stored window properties through the real per-user store, with real windows on the offscreen
// platform. Every test gets its own XDG config folder.
#include "widgets/PropStorageEh.h"
#include "widgets/SettingsStore.h"

#include <QtTest>

#include <QApplication>
#include <QCloseEvent>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <sys/stat.h>
#include <map>
#include <memory>
#include <random>

using namespace pictavo;

namespace {

const QString kPath = QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x");

// A window with the main window's stored properties and custom values: "LastFolder" and
// ExtraProps values "ExtraN" holding Marker.
class TStoredForm : public QWidget {
public:
    TStoredForm(const QString& name, const QString& section, TRegPropStorageManEh* manager) {
        setObjectName(name);
        SetStoredClassName(this, u'T' + name);
        resize(400, 300);
        auto add = [](QWidget* parent, const char* childName, const char* className, int width) {
            auto* w = new QWidget(parent);
            w->setObjectName(QLatin1String(childName));
            SetStoredClassName(w, QLatin1String(className));
            w->resize(width, 100);
            return w;
        };
        QWidget* pc = add(this, "pc", "TPageControl", 380);
        add(add(pc, "TabSheet1", "TTabSheet", 370), "IconBox", "TListBox", 200);
        add(add(pc, "TabSheet2", "TTabSheet", 370), "ICLBox", "TListBox", 200);
        add(add(this, "ShellPanel", "TPanel", 380), "ShellTree", "TShellTreeView", 250);

        Storage = new TPropStorageEh(this);
        Storage->SetSection(section);
        Storage->SetStorageManager(manager);
        Storage->SetStoredProps({"<P>.Height", "<P>.Left", "<P>.PixelsPerInch", "<P>.Top", "<P>.Width",
                                 "<P>.WindowState", "pc.TabSheet1.IconBox.<P>.Width", "pc.TabSheet2.ICLBox.<P>.Width",
                                 "ShellPanel.<P>.Height", "ShellPanel.ShellTree.<P>.Width"});
        Storage->ScreenPixelsPerInch = [this](const QWidget*) { return Ppi; };
        Storage->OnSaveError = [this](TPropStorageEh*, const QString& m) { Errors << m; };
        Storage->AfterSaveProps = [this](TPropStorageEh*) { ++Saves; };
        Storage->OnWriteCustomProps = [this](TPropStorageEh*, TPropWriterEh& w) {
            w.WritePropName("LastFolder");
            w.WriteString(LastFolder.toStdString());
            for (int i = 0; i < ExtraProps; ++i) {
                w.WritePropName("Extra" + std::to_string(i));
                w.WriteString(Marker.toStdString());
            }
        };
        Storage->OnReadProp = [this](TPropStorageEh*, TPropReaderEh& r, const QString& prop, bool& processed) {
            if (prop.compare(QLatin1String("LastFolder"), Qt::CaseInsensitive) == 0) {
                processed = true;
                const QString folder = QString::fromStdString(r.ReadString());
                if (folder == QLatin1String("/cannot/select")) throw std::runtime_error("Error setting path");
                LastFolder = folder;
            } else if (prop.startsWith(QLatin1String("Extra"))) {
                processed = true;
                Extras[prop] = QString::fromStdString(r.ReadString());
            }
        };
    }
    ~TStoredForm() override { Storage->FormDestroy(); }

    int ChildWidth(const char* name) const { return findChild<QWidget*>(name)->width(); }

    TPropStorageEh* Storage;
    QString LastFolder;
    QString Marker;
    int ExtraProps = 0;
    std::map<QString, QString> Extras;
    int Ppi = 96;
    QStringList Errors;
    int Saves = 0;
    bool RefuseClose = false;

protected:
    void closeEvent(QCloseEvent* e) override { e->setAccepted(!RefuseClose); }
};

// The child process of twoProcessesSavingAtOnce: saves `rounds` times, alternating a longer and
// a shorter text whose custom values all hold `marker`.
int RunStoreWriter(int argc, char** argv) {
    QApplication app(argc, argv);
    TRegPropStorageManEh manager;
    manager.SetPath(kPath);
    manager.SetStoreFileName(QString::fromLocal8Bit(argv[2]));
    TStoredForm form(QStringLiteral("wnd_pv_Main"), QStringLiteral("Main"), &manager);
    form.Marker = QString::fromLocal8Bit(argv[3]);
    const int rounds = std::atoi(argv[4]);
    for (int i = 0; i < rounds; ++i) {
        form.ExtraProps = i % 2 ? 5 : 12;
        form.Storage->SaveProperties();
    }
    form.Storage->SetActive(false);
    return 0;
}

}  // namespace

class PropStorageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FConfig;
    TRegPropStorageManEh FManager;

    QString StoreFile() const { return FConfig->path() + QStringLiteral("/Quarn/Pictavo.ini"); }
    std::unique_ptr<TStoredForm> Form(const QString& name = QStringLiteral("wnd_pv_Main"),
                                      const QString& section = QStringLiteral("Main")) {
        return std::make_unique<TStoredForm>(name, section, &FManager);
    }
    static void ShowAndClose(TStoredForm& form) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
    }
    QStringList ValueNames(const QString& section) {
        TSettingsStore store(StoreFile());
        if (!store.OpenKey(kPath + u'\\' + section, false)) return {};
        QStringList names = store.GetValueNames();
        names.sort();
        return names;
    }
    QStringList Lines(const QString& section) {
        TSettingsStore store(StoreFile());
        QStringList lines;
        if (!store.OpenKey(kPath + u'\\' + section, false)) return lines;
        for (int i = 0; store.ValueExists(TRegPropStorageManEh::LineName(i)); ++i)
            lines << store.ReadString(TRegPropStorageManEh::LineName(i));
        return lines;
    }
    void WriteLines(const QStringList& lines, const QString& section = QStringLiteral("Main")) {
        TSettingsStore store(StoreFile());
        store.BeginUpdate();
        store.OpenKey(kPath + u'\\' + section, true);
        for (int i = 0; i < lines.size(); ++i) store.WriteString(TRegPropStorageManEh::LineName(i), lines[i]);
        store.EndUpdate();
    }
    static QStringList Text(const QString& props) {
        return (QStringLiteral("object wnd_pv_Main: Twnd_pv_Main\n") + props + QStringLiteral("\nend")).split(u'\n');
    }

private slots:
    void init() {
        FConfig = std::make_unique<QTemporaryDir>();
        QVERIFY(FConfig->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
        FManager.SetPath(kPath);
        FManager.SetStoreFileName(QString());
    }

    void firstRunKeepsTheDesignedLayoutAndCloseCreatesTheStore() {
        QCOMPARE(FManager.StoreFileName(), StoreFile());
        auto form = Form();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->size(), QSize(400, 300));
        QVERIFY(!QFile::exists(StoreFile()));
        form->close();
        QVERIFY(form->Errors.isEmpty());
        const QStringList lines = Lines(QStringLiteral("Main"));
        QVERIFY(lines.size() > 10);
        QCOMPARE(lines.first(), QStringLiteral("object wnd_pv_Main: Twnd_pv_Main"));
        QCOMPARE(lines.last(), QStringLiteral("end"));
        QCOMPARE(ValueNames(QStringLiteral("Main")).size(), lines.size());
    }

    void bothWindowsRoundTrip() {
        // Chinese, a quote, a tab, and more than 64 bytes: stored over several lines.
        const QString folder =
            QStringLiteral("/home/用户/图标库/It's\there/") + QString(40, u'x') + QStringLiteral("/最后的文件夹");
        QRect mainRect, searchRect;
        {
            auto main = Form();
            auto search = Form(QStringLiteral("wnd_pv_Search"), QStringLiteral("Search"));
            main->show();
            search->show();
            QVERIFY(QTest::qWaitForWindowExposed(search.get()));
            main->setGeometry(60, 70, 520, 410);
            search->setGeometry(100, 110, 343, 128);
            mainRect = main->geometry();
            searchRect = search->geometry();
            main->findChild<QWidget*>("IconBox")->resize(181, 10);
            main->findChild<QWidget*>("ICLBox")->resize(182, 10);
            main->findChild<QWidget*>("ShellPanel")->resize(10, 233);
            main->findChild<QWidget*>("ShellTree")->resize(244, 10);
            main->LastFolder = folder;
            search->close();
            main->close();
            QVERIFY(main->Errors.isEmpty() && search->Errors.isEmpty());
        }
        const QStringList lines = Lines(QStringLiteral("Main"));
        const int at = lines.indexOf(QStringLiteral("  LastFolder = "));
        QVERIFY2(at > 0, qPrintable(lines.join(u'\n')));
        QVERIFY(lines[at + 1].startsWith(QStringLiteral("    '/home/用户/")) && lines[at + 1].endsWith(u'+'));
        QCOMPARE(Lines(QStringLiteral("Search")).first(), QStringLiteral("object wnd_pv_Search: Twnd_pv_Search"));

        auto main = Form();
        auto search = Form(QStringLiteral("wnd_pv_Search"), QStringLiteral("Search"));
        main->show();
        search->show();
        QCOMPARE(main->geometry(), mainRect);
        QCOMPARE(search->geometry(), searchRect);
        QCOMPARE(main->ChildWidth("IconBox"), 181);
        QCOMPARE(main->ChildWidth("ICLBox"), 182);
        QCOMPARE(main->findChild<QWidget*>("ShellPanel")->height(), 233);
        QCOMPARE(main->ChildWidth("ShellTree"), 244);
        QCOMPARE(main->LastFolder, folder);
    }

    void shrinkingTextLeavesNoOldLines() {
        auto form = Form();
        form->Storage->StoredProps().Clear();  // the lines are then the custom values
        form->Storage->SaveProperties();
        const int base = Lines(QStringLiteral("Main")).size();
        form->ExtraProps = 30 - base;
        form->Storage->SaveProperties();
        QCOMPARE(ValueNames(QStringLiteral("Main")).size(), 30);
        form->ExtraProps = 25 - base;
        form->Storage->SaveProperties();
        QStringList expected;
        for (int i = 0; i < 25; ++i) expected << TRegPropStorageManEh::LineName(i);
        QCOMPARE(ValueNames(QStringLiteral("Main")), expected);
        QCOMPARE(expected.last(), QStringLiteral("Line0000000024"));
    }

    void gapEndsTheText() {
        WriteLines(Text(QStringLiteral("  Height = 222\n  Left = 33\n  Top = 44\n  Width = 555")));
        {
            TSettingsStore store(StoreFile());
            store.OpenKey(kPath + QStringLiteral("\\Main"), false);
            QVERIFY(store.DeleteValue(QStringLiteral("Line0000000003")));
            store.CloseKey();
        }
        auto form = Form();
        form->show();
        // Lines 0 to 2 only: Height and Left, read before the text broke off.
        QCOMPARE(form->height(), 222);
        QCOMPARE(form->geometry().x(), 33);
        QCOMPARE(form->width(), 400);
    }

    void geometryIsScaledByPixelsPerInch() {
        WriteLines(
            Text(QStringLiteral("  Height = 240\n  Left = 80\n  PixelsPerInch = 96\n  Top = 50\n  Width = 320")));
        auto form = Form();
        form->Ppi = 120;
        form->show();
        QCOMPARE(form->geometry(), QRect(100, 63, 400, 300));  // 62.5 rounds up
    }

    void maximisedWindowKeepsItsRestoredRectangle() {
        const QRect normal(40, 50, 300, 200);
        {
            auto form = Form();
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            form->setGeometry(normal);
            form->showMaximized();
            QTRY_VERIFY(form->geometry() != normal);
            form->close();
        }
        const QStringList lines = Lines(QStringLiteral("Main"));
        for (const char* line :
             {"  Height = 200", "  Left = 40", "  Top = 50", "  Width = 300", "  WindowState = wsMaximized"})
            QVERIFY2(lines.contains(QLatin1String(line)), line);
        auto form = Form();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->isMaximized());
        QCOMPARE(form->normalGeometry(), normal);
        form->showNormal();
        QTRY_COMPARE(form->geometry(), normal);
    }

    void corruptedStoresStartWithoutACrash_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("folder");
        QTest::newRow("not the notation")
            << QStringList{QStringLiteral("garbage 'x"), QStringLiteral("end")} << QSize(400, 300) << QString();
        QTest::newRow("line cut inside a string")
            << Text(QStringLiteral("  Height = 210\n  Width = 310\n  LastFolder = '/ho")) << QSize(310, 210)
            << QString();
        QTest::newRow("bad values in the middle")
            << Text(QStringLiteral("  Height = abc\n  Width = 0\n  WindowState = 7x\n  LastFolder = '/a'"))
            << QSize(400, 300) << QString();
        QTest::newRow("a bad value, the rest applied")
            << Text(QStringLiteral("  Height = 'x'\n  Width = 311\n  LastFolder = '/b'")) << QSize(311, 300)
            << QStringLiteral("/b");
        QTest::newRow("unknown property and component, failing handler")
            << Text(QStringLiteral("  Colour = 5\n  LastFolder = '/cannot/select'\n  Width = 312\n"
                                   "  object Gone: TPanel\n    Width = 1\n  end"))
            << QSize(312, 300) << QString();
    }

    void corruptedStoresStartWithoutACrash() {
        QFETCH(QStringList, lines);
        QFETCH(QSize, size);
        QFETCH(QString, folder);
        WriteLines(lines);
        auto form = Form();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->size(), size);
        QCOMPARE(form->LastFolder, folder);
    }

    void randomBytesAsTheStoreFile() {
        QDir().mkpath(FConfig->path() + QStringLiteral("/Quarn"));
        std::mt19937 rng(99);
        for (int round = 0; round < 20; ++round) {
            QByteArray junk;
            for (int i = 0; i < 4000; ++i) junk += static_cast<char>(rng());
            if (round % 2) junk.prepend("[SOFTWARE]\nQuarn\\Pictavo\\2.x\\Main\\Line0000000000=object a: Tb\n");
            QFile file(StoreFile());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(junk);
            file.close();
            auto form = Form();
            form->show();
            QCOMPARE(form->size(), QSize(400, 300));
            form->close();  // and the store can be written again
            QVERIFY(form->Errors.isEmpty());
            QCOMPARE(Lines(QStringLiteral("Main")).first(), QStringLiteral("object wnd_pv_Main: Twnd_pv_Main"));
        }
    }

    void offScreenGeometryMovesOntoThePrimaryScreen() {
        WriteLines(Text(QStringLiteral("  Left = 9000\n  Top = -7000\n  Width = 320\n  Height = 200")));
        auto form = Form();
        form->show();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(area.contains(form->geometry()));
        QCOMPARE(form->size(), QSize(320, 200));
    }

    void positionRuleGivenUpOnceLeftOrTopIsRead() {
        WriteLines(Text(QStringLiteral("  Width = 320\n  Height = 200")));
        auto centred = Form();
        SetFormPosition(centred.get(), TFormPositionEh::ScreenCenter);
        centred->show();
        QCOMPARE(centred->geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        QCOMPARE(FormPosition(centred.get()), TFormPositionEh::ScreenCenter);
        centred->Storage->SetActive(false);

        WriteLines(Text(QStringLiteral("  Left = 12\n  Width = 320")));
        auto placed = Form();
        SetFormPosition(placed.get(), TFormPositionEh::ScreenCenter);
        placed->show();
        QCOMPARE(FormPosition(placed.get()), TFormPositionEh::Designed);
        QCOMPARE(placed->geometry().x(), 12);
    }

    void olderSingleValueLayoutIsReadOnceAndRemoved() {
        QDir().mkpath(FConfig->path() + QStringLiteral("/Quarn"));
        for (bool binary : {false, true}) {
            {
                QSettings raw(StoreFile(), QSettings::IniFormat);
                const QByteArray text = "object wnd_pv_Main: Twnd_pv_Main\n  Width = 333\n  LastFolder = '/old'\nend";
                raw.setValue(QStringLiteral("SOFTWARE/Quarn/Pictavo/2.x/Main"),
                             binary ? QVariant(text) : QVariant(QString::fromUtf8(text)));
            }
            WriteLines(Text(QStringLiteral("  Width = 222")));
            auto form = Form();
            form->show();
            QCOMPARE(form->width(), 333);
            QCOMPARE(form->LastFolder, QStringLiteral("/old"));
            TSettingsStore store(StoreFile());
            QVERIFY(store.OpenKey(kPath, false));
            QVERIFY(!store.ValueExists(QStringLiteral("Main")));
            form->Storage->SetActive(false);
            auto next = Form();  // now the lines
            next->show();
            QCOMPARE(next->width(), 222);
            next->Storage->SetActive(false);
        }
    }

    void onlyStoredPropertiesAreApplied() {
        WriteLines(Text(QStringLiteral("  windowTitle = 'changed'\n  enabled = False")));
        auto form = Form();
        form->setWindowTitle(QStringLiteral("designed"));
        form->show();
        QCOMPARE(form->windowTitle(), QStringLiteral("designed"));
        QVERIFY(form->isEnabled());
        form->Storage->SetActive(false);
        auto listed = Form();
        listed->Storage->StoredProps().Add("<P>.windowTitle");
        listed->show();
        QCOMPARE(listed->windowTitle(), QStringLiteral("changed"));
        QVERIFY(listed->isEnabled());
    }

    void saveFailureIsShownAndTheWindowCloses() {
        QFile blocker(FConfig->path() + QStringLiteral("/not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        FManager.SetStoreFileName(blocker.fileName() + QStringLiteral("/Pictavo.ini"));
        auto form = Form();
        ShowAndClose(*form);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->Errors.size(), 1);
        QVERIFY2(form->Errors.first().startsWith(QStringLiteral("无法创建文件 \"") + blocker.fileName()),
                 qPrintable(form->Errors.first()));
    }

    void refusedCloseSavesNothingAndDestroySavesWhatWasLoaded() {
        {
            auto never = Form();  // never shown: the stored layout is not overwritten
        }
        QVERIFY(!QFile::exists(StoreFile()));
        auto form = Form();
        form->RefuseClose = true;
        ShowAndClose(*form);
        QVERIFY(form->isVisible());
        QCOMPARE(form->Saves, 0);
        QVERIFY(!form->Storage->Saved());
        form->RefuseClose = false;
        form->close();
        QCOMPARE(form->Saves, 1);
        QVERIFY(form->Storage->Saved());
        form.reset();  // saved already: no second save on destruction
        QVERIFY(QFile::exists(StoreFile()));

        auto shown = Form();
        shown->show();
        shown->resize(345, 234);
        shown.reset();  // destroyed without a close: saves on destruction
        auto again = Form();
        again->show();
        QCOMPARE(again->size(), QSize(345, 234));
    }

    void storeValueOperations() {
        TSettingsStore store(StoreFile());
        QVERIFY(!store.KeyExists(kPath));
        QVERIFY(!store.OpenKey(kPath + QStringLiteral("\\Main"), false));
        QVERIFY(store.OpenKey(kPath + QStringLiteral("\\Main"), true));
        store.WriteString(QStringLiteral("A"), QStringLiteral("  'x'#9'; , = 中'"));
        store.CloseKey();
        QVERIFY(store.KeyExists(kPath));
        TSettingsStore other(StoreFile());
        QVERIFY(other.OpenKey(kPath + QStringLiteral("\\Main"), false));
        QCOMPARE(other.GetValueNames(), QStringList{QStringLiteral("A")});
        QCOMPARE(other.ReadString(QStringLiteral("A")), QStringLiteral("  'x'#9'; , = 中'"));
        TSettingsStore::TDataType type;
        QCOMPARE(other.ReadBinaryData(QStringLiteral("A"), type), QStringLiteral("  'x'#9'; , = 中'").toUtf8());
        QCOMPARE(type, TSettingsStore::TDataType::String);
        QVERIFY_THROWS_EXCEPTION(EStoreError, other.ReadString(QStringLiteral("B")));
        QVERIFY_THROWS_EXCEPTION(EStoreError, other.WriteString(QStringLiteral("a/b"), QString()));
        QVERIFY(!other.DeleteValue(QStringLiteral("B")));
        QVERIFY(other.DeleteValue(QStringLiteral("A")));
        other.CloseKey();
        QVERIFY(!TSettingsStore(StoreFile()).KeyExists(kPath));
    }

    void storeTooLargeOrNotAFile() {
        QDir().mkpath(FConfig->path() + QStringLiteral("/Quarn"));
        // A store too large to be this program's is not read, and the next save starts afresh.
        QFile big(StoreFile());
        QVERIFY(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
        big.write("[SOFTWARE]\nQuarn\\Pictavo\\2.x\\Main\\Line0000000000=object x: Ty\n");
        big.write(QByteArray(kMaxStoreFileBytes, ';'));
        big.close();
        QVERIFY(!TSettingsStore(StoreFile()).KeyExists(kPath));
        WriteLines(Text(QStringLiteral("  Width = 1")));
        QVERIFY(QFileInfo(StoreFile()).size() < 1000);
        QCOMPARE(Lines(QStringLiteral("Main")).size(), 3);

        // A pipe in its place is not read (it would block) and not written.
        QVERIFY(QFile::remove(StoreFile()));
        QCOMPARE(::mkfifo(QFile::encodeName(StoreFile()).constData(), 0600), 0);
        QVERIFY(!TSettingsStore(StoreFile()).KeyExists(kPath));
        auto form = Form();
        ShowAndClose(*form);
        QCOMPARE(form->Errors.size(), 1);
    }

    void aSaveWaitsForAnotherProcessSaving() {
        QDir().mkpath(FConfig->path() + QStringLiteral("/Quarn"));
        QLockFile busy(StoreFile() + QStringLiteral(".update.lock"));
        QVERIFY(busy.lock());
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--store-writer"), StoreFile(), QStringLiteral("W"), QStringLiteral("1")});
        QVERIFY(writer.waitForStarted());
        QVERIFY(!writer.waitForFinished(700));
        QVERIFY(!QFile::exists(StoreFile()));
        busy.unlock();
        QVERIFY(writer.waitForFinished(20000));
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(Lines(QStringLiteral("Main")).last(), QStringLiteral("end"));
    }

    void twoProcessesSavingAtOnceLeaveAReadableStore() {
        QDir().mkpath(FConfig->path() + QStringLiteral("/Quarn"));
        QProcess a, b;
        for (auto [process, marker] : {std::pair{&a, "AAAA"}, std::pair{&b, "BBBB"}}) {
            process->setProcessChannelMode(QProcess::ForwardedChannels);
            process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--store-writer"), StoreFile(),
                                                                     QLatin1String(marker), QStringLiteral("40")});
        }
        // While they write, and after: one whole text of one writer, with nothing after its
        // "end" (no lines left over from the other's longer text).
        auto whole = [this](const QStringList& lines) {
            return lines.isEmpty() ||
                   (lines.first().startsWith(QStringLiteral("object ")) && lines.count(QStringLiteral("end")) == 1 &&
                    lines.last() == QStringLiteral("end"));
        };
        QElapsedTimer timer;
        timer.start();
        while ((a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) && timer.elapsed() < 120000) {
            const QStringList lines = Lines(QStringLiteral("Main"));
            QVERIFY2(whole(lines), qPrintable(lines.join(u'\n')));
            QTest::qWait(2);
        }
        QVERIFY(a.state() == QProcess::NotRunning && b.state() == QProcess::NotRunning);
        QCOMPARE(a.exitStatus(), QProcess::NormalExit);
        QCOMPARE(b.exitStatus(), QProcess::NormalExit);
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        QVERIFY(whole(Lines(QStringLiteral("Main"))));
        auto form = Form();
        form->show();
        QVERIFY(form->Extras.size() == 5 || form->Extras.size() == 12);
        const QString marker = form->Extras.begin()->second;
        QVERIFY(marker == QLatin1String("AAAA") || marker == QLatin1String("BBBB"));
        for (const auto& [name, value] : form->Extras) QCOMPARE(value, marker);
        QCOMPARE(ValueNames(QStringLiteral("Main")).size(), Lines(QStringLiteral("Main")).size());
        form->Storage->SetActive(false);
    }
};

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--store-writer") == 0) return RunStoreWriter(argc, argv);
    QApplication app(argc, argv);
    PropStorageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PropStorageTest.moc"
