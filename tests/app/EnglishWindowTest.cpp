// The window under an English locale (the test's environment: LANG=en_US.UTF-8, nothing else
// set): every text it shows is English, its own and the core's. The window and each dialog and
// popup are opened in turn, and every text they show is looked at for Chinese characters; so
// are the program's messages on its command line.
#include "app/About.h"
#include "app/ColorDlg.h"
#include "app/SearchDlg.h"
#include "app/WindowFixtures.h"
#include "app/WindowLanguage.h"
#include "app/WindowProgram.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/TempDir.h"
#include "widgets/IconDelegates.h"
#include "widgets/PanelStatusBar.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// Chinese, Japanese and Korean characters, their punctuation and full-width forms.
bool HasCjk(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
    }
    return false;
}

QString NameOf(const QObject* object) {
    const QString name = object->objectName();
    return QString::fromLatin1(object->metaObject()->className()) +
           (name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name));
}

// Every text a window shows, with what shows it: "QLabel "Label1" text: ...".
class TTexts {
public:
    void Add(const QString& owner, const char* what, const QString& text) {
        if (HasCjk(text)) FChinese << QStringLiteral("%1 %2: %3").arg(owner, QLatin1String(what), text);
        ++FCount;
    }

    void AddMenu(const QMenu* menu, const QString& owner) {
        Add(owner, "title", menu->title());
        for (const QAction* action : menu->actions()) {
            const QString name = owner + QStringLiteral(" › ") + NameOf(action);
            Add(name, "text", action->text());
            Add(name, "tool tip", action->toolTip());
            if (action->menu() && action->menu() != menu) AddMenu(action->menu(), name);
        }
    }

    void AddModel(const QAbstractItemModel* model, const QString& owner) {
        for (int column = 0; column < model->columnCount(); ++column)
            Add(owner, "header", model->headerData(column, Qt::Horizontal).toString());
        for (int row = 0; row < model->rowCount(); ++row)
            for (int column = 0; column < model->columnCount(); ++column)
                for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), kIconDetailRole})
                    Add(owner, "item", model->index(row, column).data(role).toString());
    }

    // The window `top` and every widget in it.
    void AddWindow(const QWidget* top) {
        QList<const QWidget*> widgets{top};
        for (const QWidget* child : top->findChildren<QWidget*>()) widgets << child;
        for (const QWidget* w : widgets) {
            const QString name = NameOf(w);
            Add(name, "tool tip", w->toolTip());
            if (w->isWindow()) Add(name, "window title", w->windowTitle());
            if (const auto* label = qobject_cast<const QLabel*>(w)) Add(name, "text", label->text());
            if (const auto* button = qobject_cast<const QAbstractButton*>(w)) Add(name, "text", button->text());
            if (const auto* combo = qobject_cast<const QComboBox*>(w))
                for (int i = 0; i < combo->count(); ++i) Add(name, "item", combo->itemText(i));
            if (const auto* tabs = qobject_cast<const QTabBar*>(w))
                for (int i = 0; i < tabs->count(); ++i) {
                    Add(name, "tab", tabs->tabText(i));
                    Add(name, "tab tool tip", tabs->tabToolTip(i));
                }
            if (const auto* header = qobject_cast<const QHeaderView*>(w); header && header->model())
                for (int i = 0; i < header->count(); ++i)
                    Add(name, "header", header->model()->headerData(i, header->orientation()).toString());
            if (const auto* view = qobject_cast<const QAbstractItemView*>(w); view && view->model())
                AddModel(view->model(), name);
            if (const auto* bar = qobject_cast<const TPanelStatusBar*>(w))
                for (int i = 0; i < bar->PanelCount(); ++i) Add(name, "panel", bar->PanelText(i));
            if (const auto* menuBar = qobject_cast<const QMenuBar*>(w))
                for (const QAction* action : menuBar->actions()) AddMenu(action->menu(), name);
            if (const auto* menu = qobject_cast<const QMenu*>(w)) AddMenu(menu, name);
            if (const auto* files = qobject_cast<const QFileDialog*>(w))
                for (const QString& filter : files->nameFilters()) Add(name, "file filter", filter);
        }
    }

    // Fails naming every Chinese text; and when nothing was looked at.
    void Check(const char* where) const {
        QVERIFY2(FCount > 0, where);
        QVERIFY2(FChinese.isEmpty(), qPrintable(QStringLiteral("%1: Chinese texts:\n  ").arg(QLatin1String(where)) +
                                                FChinese.join(QStringLiteral("\n  "))));
    }

private:
    QStringList FChinese;
    int FCount = 0;
};

}  // namespace

class EnglishWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    TempDir FFolder;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    void initTestCase() {
        // As the program starts: the language chosen after the application is made.
        InitWindowLanguage();
        WriteSampleIco(FFolder.File("sample.ico"));
        WriteDllFile(FFolder.File("icons.dll"), 2);
    }

    void mainWindowAndPopups() {
        const auto window = OpenWindow(Store(), Q(FFolder.Path()), QStringLiteral("sample.ico"));
        QVERIFY(window);
        TWindowParts parts = Parts(window);
        // The library holds icons too, so that its tab counts them and its views list them.
        QVERIFY(QTest::qWaitFor([&] { return Count(parts.IconList) > 0; }));
        parts.All1->trigger();
        QVERIFY(WaitIdle(*window));
        TTexts texts;
        texts.AddWindow(window.get());
        texts.Check("main window");

        for (QMenu* popup :
             {parts.FileListPopup, parts.IconListPopup, parts.IconBoxPopup, parts.ICLPopup, parts.ICLBoxPopup}) {
            popup->popup(window->geometry().center());
            QVERIFY(QTest::qWaitForWindowExposed(popup));
            TTexts shown;
            shown.AddWindow(popup);
            popup->hide();
            shown.Check(qPrintable(popup->objectName()));
        }
    }

    void searchDialog() {
        const auto window = OpenWindow(Store(), Q(FFolder.Path()));
        QVERIFY(window);
        TWindowParts parts = Parts(window);
        parts.mmSearch->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(parts.wnd_pv_Search));
        TTexts texts;
        texts.AddWindow(parts.wnd_pv_Search);
        texts.Check("search dialog");
        // The button's caption while a search runs.
        parts.wnd_pv_Search->SetRunning(true);
        TTexts running;
        running.AddWindow(parts.wnd_pv_Search);
        parts.wnd_pv_Search->SetRunning(false);
        parts.wnd_pv_Search->close();
        running.Check("search dialog while searching");
    }

    void colourDialog() {
        Tdlg_pv_Color dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.ImageMouseMove(dialog.mapToGlobal(dialog.rect().center()));
        TTexts texts;
        texts.AddWindow(&dialog);
        texts.Check("colour dialog");
    }

    void aboutBox() {
        Twnd_pv_About about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        TTexts texts;
        texts.AddWindow(&about);
        texts.Check("About box");
    }

    // The error box shows the core's messages, in the window's language, and its own.
    void errorMessages() {
        Twnd_pv_Main window;
        QStringList errors;
        window.Commands().ShowError = [&](const QString& message) { errors << message; };
        window.Commands().Run([] {
            TIconLibrary read;
            LoadIcons("/nonexistent/folder/file.ico", read);
        });
        window.Commands().Run([] { throw std::runtime_error(""); });
        QCOMPARE(errors.size(), 2);
        TTexts texts;
        for (const QString& error : errors) texts.Add(QStringLiteral("error box"), "text", error);
        texts.Check("error messages");
    }

    // The program's usage and its command-line errors, before the window application exists
    // and after.
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM, none when empty
        QTest::newRow("help") << QStringList{"--help"} << "";
        QTest::newRow("no display") << QStringList() << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "offscreen";
        QTest::newRow("two folders") << QStringList{"a", "b"} << "offscreen";
        QTest::newRow("missing folder") << QStringList{"/nonexistent/folder"} << "offscreen";
    }

    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, platform);
        QProcess pictavo;
        StartWindowProgram(pictavo, args, platform);
        QVERIFY(pictavo.waitForFinished(30'000));
        const QString output = QString::fromUtf8(pictavo.readAllStandardOutput() + pictavo.readAllStandardError());
        QVERIFY(output.contains(QLatin1String("pictavo")));
        QVERIFY2(!HasCjk(output), qPrintable(output));
    }
};

QTEST_MAIN(EnglishWindowTest)
#include "EnglishWindowTest.moc"
