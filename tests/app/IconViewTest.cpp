// The current-file view and the library tab of the real main window, on generated files.
#include "WindowFixtures.h"

#include "app/SearchDlg.h"

#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconPixmaps.h"
#include "widgets/PanelStatusBar.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QListView>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTabWidget>
#include <QTranslator>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {

QString TabText(const Twnd_pv_Main& window, int tab) { return Parts(window).pc->tabText(tab); }

// A translation that gives `text` for the window's ready text with its time, and nothing else.
class TWrongReadyText : public QTranslator {
public:
    explicit TWrongReadyText(QString text) : FText(std::move(text)) {}
    QString translate(const char* context, const char* source, const char*, int) const override {
        return qstrcmp(context, "Twnd_pv_Main") == 0 && QByteArray(source).startsWith("就绪 (") ? FText : QString();
    }
    bool isEmpty() const override { return false; }

private:
    QString FText;
};

}  // namespace

class IconViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    // A file's icon with its thumbnail, then its images in depth order, each item as tall as its
    // image and a line of text with the margins; choosing the same file again keeps all.
    void currentFileView() {
        TempDir folder;
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(Texts(Parts(window).IconList), QStringList{"sample"});
        const QModelIndex item = Row(Parts(window).IconList, 0);
        QCOMPARE(item.data(kIconDetailRole).toString(), QStringLiteral("图像数量: 3"));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 1 个图标 "));
        QVERIFY(
            QRegularExpression(QStringLiteral("^就绪 \\(\\d+\\.\\d\\d 秒\\)$")).match(Panel(*window, 1)).hasMatch());
        QCOMPARE(Parts(window).FCurrentFile, folder.File("sample.ico"));

        // The thumbnail is the 16 x 16 8-bit image.
        const TAdvancedIcon& icon = *Parts(window).FFileIcons.Icons().Icon(0);
        const TIconImage* expected = nullptr;
        for (int i = 0; i < icon.Images().Count(); ++i)
            if (icon.Images()[i]->Label() == "16 x 16 - 8bit") expected = icon.Images()[i];
        QVERIFY(expected);
        // Its pixels stretched to 32 x 32: each source pixel a 2 x 2 square.
        const QImage thumbnail = item.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage();
        const QImage source = RasterToImage(*expected->GetHandle());
        QCOMPARE(thumbnail.size(), QSize(32, 32));
        for (const QPoint at : {QPoint(0, 0), QPoint(7, 3), QPoint(15, 15)})
            QCOMPARE(thumbnail.pixelColor(2 * at.x() + 1, 2 * at.y() + 1),
                     qAlpha(source.pixel(at)) == 255 ? source.pixelColor(at) : QColor(Qt::white));

        Select(Parts(window).IconList, 0);
        QCOMPARE(Texts(Parts(window).IconBox), (QStringList{"16 x 16 - 4bit", "16 x 16 - 8bit", "48 x 48 - 32bit"}));
        const int line = QFontMetrics(Parts(window).IconBox->font()).height();
        QCOMPARE(Parts(window).IconBox->visualRect(Row(Parts(window).IconBox, 2)).height(), 48 + line + 15);
        QCOMPARE(Parts(window).IconBox->visualRect(Row(Parts(window).IconBox, 0)).height(), 16 + line + 15);

        // The same row again: nothing is read, the status text stays.
        Parts(window).FileList->selectionModel()->clear();
        Parts(window).sb->SetPanelText(1, QStringLiteral("x"));
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(Panel(*window, 1), QStringLiteral("x"));
        QCOMPARE(Count(Parts(window).IconList), 1);
        QCOMPARE(Count(Parts(window).IconBox), 3);
    }

    // A translation of the ready text with printf directives (sixteen %s, %n) is a text, not a
    // format: the window shows it with the seconds in place of %1, and reads no argument for it.
    void readyTextFromAWrongTranslation() {
        TempDir folder;
        WriteSampleIco(folder.File("sample.ico"));
        const QString wrong = QStringLiteral("%1 ") + QStringLiteral("%s").repeated(16) + QStringLiteral("%n");
        TWrongReadyText translator(wrong);
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const auto uninstall = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        const QString shown = Panel(*window, 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d ") + QRegularExpression::escape(wrong.mid(3)) +
                                    QStringLiteral("$"))
                     .match(shown)
                     .hasMatch(),
                 qPrintable(shown));
    }

    // Icon names are made unique without regard to case; an image taller than the box's items
    // is listed with the tallest item, its picture scaled down to fit it.
    void namesAndTallImages() {
        TempDir folder;
        WriteNamedDll(folder.File("named.dll"), {u"A", u"a"});
        WriteBytes(folder.File("big.ico"), MakeIco({Image(256, 32, 0)}));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("named.dll")));
        QCOMPARE(Texts(Parts(window).IconList), (QStringList{"A", "a_1"}));
        QVERIFY(ChooseFile(*window, QStringLiteral("big.ico")));
        Select(Parts(window).IconList, 0);
        QCOMPARE(Texts(Parts(window).IconBox), QStringList{"256 x 256 - 32bit"});
        QCOMPARE(Parts(window).IconBox->visualRect(Row(Parts(window).IconBox, 0)).height(), 255);
        const int side = 255 - QFontMetrics(Parts(window).IconBox->font()).height() - 15;
        QTRY_COMPARE(Row(Parts(window).IconBox, 0).data(Qt::DecorationRole).value<QImage>().size(), QSize(side, side));
    }

    // A file named on the command line is chosen in its folder's listing.
    void startFile() {
        TempDir folder;
        WriteIcoFile(folder.File("a.ico"));
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()), QStringLiteral("sample.ico"));
        QVERIFY(window);
        QCOMPARE(Parts(window).FileList->CurrentRow() >= 0
                     ? Parts(window).FileList->Model()->File(Parts(window).FileList->CurrentRow()).Name
                     : QString(),
                 QStringLiteral("sample.ico"));
        QCOMPARE(Texts(Parts(window).IconList), QStringList{"sample"});
    }

    // Whole files with clashing names, the same icon twice, a removal, and the saved library
    // holding exactly what the tab shows.
    void libraryGathersAndSaves() {
        TempDir folder, target;
        WriteIcoFile(folder.File("A.ico"));
        WriteNamedDll(folder.File("b.dll"), {u"A", u"B"});
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        QCOMPARE(Texts(Parts(window).ICLList), (QStringList{"A", "A_1", "B", "sample"}));
        QCOMPARE(Parts(window).pc->currentWidget(), Parts(window).TabSheet2);
        QCOMPARE(TabText(*window, 1), QStringLiteral(" 图标库 - 4 个图标 "));

        // The same icon added twice from the current-file view; that tab stays in front.
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        Select(Parts(window).IconList, 0);
        Parts(window).Selected1->trigger();
        Parts(window).Addiconstolibrary1->trigger();
        QCOMPARE(Parts(window).pc->currentWidget(), Parts(window).TabSheet1);
        QCOMPARE(Texts(Parts(window).ICLList), (QStringList{"A", "A_1", "B", "sample", "sample", "sample"}));
        QCOMPARE(TabText(*window, 1), QStringLiteral(" 图标库 - 6 个图标 "));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 1 个图标 "));

        // Removing the second icon: the others keep naming their own icons.
        Parts(window).pc->setCurrentWidget(Parts(window).TabSheet2);
        Select(Parts(window).ICLList, 1);
        Parts(window).Removeselected1->trigger();
        QCOMPARE(Texts(Parts(window).ICLList), (QStringList{"A", "B", "sample", "sample", "sample"}));
        // Nothing is selected afterwards: a second press removes nothing more.
        QVERIFY(NothingSelected(Parts(window).ICLList));
        QCOMPARE(Count(Parts(window).ICLBox), 0);
        Parts(window).Removeselected1->trigger();
        QCOMPARE(Count(Parts(window).ICLList), 5);
        Select(Parts(window).ICLList, 4);
        QCOMPARE(Texts(Parts(window).ICLBox), (QStringList{"16 x 16 - 4bit", "16 x 16 - 8bit", "48 x 48 - 32bit"}));
        QCOMPARE(Parts(window).ICLBox->visualRect(Row(Parts(window).ICLBox, 2)).height(),
                 48 + QFontMetrics(Parts(window).ICLBox->font()).height() + 15);

        // Saved under the name typed, with the library's extension.
        QString proposal;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            proposal = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            dialog->selectFile(Q(target.File("lib.bin")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        Parts(window).Savelibrary1->trigger();
        QCOMPARE(proposal, Q(std::filesystem::path(folder.Path()).filename().string()) + ".icl");
        QVERIFY(!FileExists(target.File("lib.bin")));
        TIconLibrary saved;
        saved.LoadFromFile(target.File("lib.icl"));
        QStringList names;
        for (int i = 0; i < saved.Icons().Count(); ++i) {
            names << Q(saved.Icons().Name(i));
            QCOMPARE(saved.Icons().Icon(i)->Images().Count(), Parts(window).FLibrary.Icons().Icon(i)->Images().Count());
        }
        QCOMPARE(names.join(u',').toUpper(), Texts(Parts(window).ICLList).join(u',').toUpper());
    }

    // Removing the first icon, again and again, until the library is empty: each time the
    // items left name their own icons and nothing is selected.
    void removingTheFirstAndEveryIcon() {
        TempDir folder;
        WriteNamedDll(folder.File("four.dll"), {u"I0", u"I1", u"I2", u"I3"});
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        QStringList left{"I0", "I1", "I2", "I3"};
        QCOMPARE(Texts(Parts(window).ICLList), left);
        while (!left.isEmpty()) {
            Select(Parts(window).ICLList, 0);
            QVERIFY(Count(Parts(window).ICLBox) > 0);
            Parts(window).Removeiconsfromlibrary1->trigger();
            left.removeFirst();
            QCOMPARE(Texts(Parts(window).ICLList), left);
            QCOMPARE(Parts(window).FLibrary.Icons().Count(), left.size());
            for (int row = 0; row < left.size(); ++row)
                QCOMPARE(Q(Parts(window).FLibrary.Icons().Name(row)), left[row]);
            QVERIFY(NothingSelected(Parts(window).ICLList));
            QCOMPARE(Count(Parts(window).ICLBox), 0);
            QCOMPARE(TabText(*window, 1), QStringLiteral(" 图标库 - %1 个图标 ").arg(left.size()));
        }
    }

    // Names that differ only in case are two files: choosing the second shows its own icons.
    void namesDifferingInCaseAreTwoFiles() {
        TempDir folder;
        WriteSampleIco(folder.File("AB.ico"));
        WriteIcoFile(folder.File("ab.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QStringList errors;
        Parts(window).Runner->ShowError = [&](const QString& message) { errors << message; };
        // Both listed: names met before in the run are not skipped.
        Parts(window).wnd_pv_Search->findChild<QCheckBox*>(QStringLiteral("cbxIgnore"))->setChecked(false);
        Parts(window).Refresh1->trigger();
        QVERIFY(WaitIdle(*window));
        QCOMPARE(ListedNames(*window).size(), 2);
        QVERIFY(ChooseFile(*window, QStringLiteral("AB.ico")));
        QCOMPARE(Parts(window).FFileIcons.Icons().Icon(0)->Images().Count(), 3);
        QVERIFY(ChooseFile(*window, QStringLiteral("ab.ico")));
        QCOMPARE(Parts(window).FCurrentFile, folder.File("ab.ico"));
        QCOMPARE(Parts(window).FFileIcons.Icons().Icon(0)->Images().Count(), 1);
        Select(Parts(window).IconList, 0);
        QCOMPARE(Count(Parts(window).IconBox), 1);
        QCOMPARE(errors, QStringList());
    }

    // A file is read off the window's thread: choosing it returns at once with the view empty and
    // the busy text shown; a file chosen before the first is read abandons it, and only the
    // last one's icons come, with a read error shown once for the file that raised it.
    void filesAreReadInTheBackground() {
        TempDir folder;
        std::vector<std::u16string> names;
        for (int i = 0; i < 300; ++i) names.push_back(QStringLiteral("I%1").arg(i).toStdU16String());
        WriteNamedDll(folder.File("many.dll"), names);
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QStringList errors;
        Parts(window).Runner->ShowError = [&](const QString& message) { errors << message; };
        QVERIFY(SelectFile(*window, QStringLiteral("many.dll")));
        QVERIFY(window->Reading());
        QCOMPARE(Parts(window).FFileIcons.Icons().Count(), 0);
        QCOMPARE(Panel(*window, 1), QStringLiteral("正在检索图标..."));
        QVERIFY(SelectFile(*window, QStringLiteral("sample.ico")));
        QVERIFY(WaitForView(*window));
        QCOMPARE(Texts(Parts(window).IconList), QStringList{"sample"});
        QCOMPARE(Parts(window).FCurrentFile, folder.File("sample.ico"));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 1 个图标 "));

        // Back to the large file, read whole this time; then one that vanished before it was read.
        QVERIFY(SelectFile(*window, QStringLiteral("many.dll")));
        QVERIFY(WaitForView(*window));
        QCOMPARE(Count(Parts(window).IconList), 300);
        std::filesystem::remove(folder.File("sample.ico"));
        QVERIFY(SelectFile(*window, QStringLiteral("sample.ico")));
        QVERIFY(WaitForView(*window));
        QCOMPARE(Count(Parts(window).IconList), 0);
        QCOMPARE(errors.size(), 1);
        QVERIFY(Panel(*window, 1).startsWith(QStringLiteral("就绪")));
        QVERIFY(!QApplication::overrideCursor());

        // Files added to the library are read off the window's thread too; a new library drops
        // the files still being added.
        Parts(window).All2->trigger();
        QVERIFY(window->Reading());
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 0);
        Parts(window).Newlibrary2->trigger();
        QVERIFY(WaitForView(*window));
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 0);
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QVERIFY(!QApplication::overrideCursor());
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 300);
        // Added once more, they take names of their own beside those already there.
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        const TIconList& icons = Parts(window).FLibrary.Icons();
        QSet<QString> folded;
        for (int i = 0; i < icons.Count(); ++i) folded.insert(Q(icons.Name(i)).toCaseFolded());
        QCOMPARE(icons.Count(), 600);
        QCOMPARE(folded.size(), 600);
    }

    // Choosing a file while another is still being read drops that read: its icons never come,
    // even where its read would end last.
    void choosingAnotherFileDropsTheRead() {
        TempDir folder;
        WriteDllFile(folder.File("big.dll"), 300);
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()), {}, TWorkService::TMode::Manual);
        QVERIFY(window);
        auto* decoding = window->findChild<TWorkService*>();
        QVERIFY(SelectFile(*window, QStringLiteral("big.dll")));
        QCOMPARE(decoding->Waiting(), 1);
        QVERIFY(SelectFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(decoding->Waiting(), 1);  // the DLL's read is gone, the .ico's waits
        decoding->RunAll();
        QCOMPARE(window->CurrentFile(), folder.File("sample.ico"));
        QCOMPARE(Count(Parts(window).IconList), 1);
        QVERIFY(!window->Reading());
    }

    // A file chosen while files are added to the library: the caption counts the empty view until
    // its icons come, and the add, once done, leaves the chosen file in front.
    void fileChosenWhileFilesAreAdded() {
        TempDir folder;
        std::vector<std::u16string> names;
        for (int i = 0; i < 2000; ++i) names.push_back(QStringLiteral("I%1").arg(i).toStdU16String());
        for (int i = 0; i < 2; ++i) WriteNamedDll(folder.File("big" + std::to_string(i) + ".dll"), names);
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(SelectFile(*window, QStringLiteral("big0.dll")));
        QVERIFY(WaitForView(*window));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 2000 个图标 "));
        Parts(window).All2->trigger();
        QVERIFY(SelectFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 0 个图标 "));  // nothing on view yet
        QVERIFY(WaitForView(*window));
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 2 * 2000 + 1);
        QCOMPARE(Parts(window).pc->currentWidget(), Parts(window).TabSheet1);
        QVERIFY(Panel(*window, 1).startsWith(QStringLiteral("就绪")));  // whichever ended last
        QVERIFY(!QApplication::overrideCursor());
    }

    // Ctrl+N empties the library without a question; a file that cannot be read while adding shows
    // its error and keeps what was added before it.
    void emptyingAndErrors() {
        TempDir folder;
        WriteNamedDll(folder.File("ten.dll"), {u"I0", u"I1", u"I2", u"I3", u"I4", u"I5", u"I6", u"I7", u"I8", u"I9"});
        WriteIcoFile(folder.File("a.ico"));
        WriteIcoFile(folder.File("c.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QStringList errors;
        Parts(window).Runner->ShowError = [&](const QString& message) { errors << message; };

        QVERIFY(ChooseFile(*window, QStringLiteral("ten.dll")));
        Parts(window).All1->trigger();
        QCOMPARE(Count(Parts(window).ICLList), 10);
        Parts(window).pc->setCurrentWidget(Parts(window).TabSheet2);
        Select(Parts(window).ICLList, 3);
        QVERIFY(Count(Parts(window).ICLBox) > 0);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(Count(Parts(window).ICLList), 0);
        QCOMPARE(Count(Parts(window).ICLBox), 0);
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 0);
        QCOMPARE(TabText(*window, 1), QStringLiteral(" 图标库 - 0 个图标 "));

        // a.ico is added, c.ico has gone by the time it is read: the icon read before the error
        // is in the library and listed.
        std::filesystem::remove(folder.File("c.ico"));
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(Q(folder.File("c.ico"))), qPrintable(errors[0]));
        QCOMPARE(Parts(window).FLibrary.Icons().Count(), 1);
        QCOMPARE(Texts(Parts(window).ICLList), QStringList{"a"});
        QCOMPARE(TabText(*window, 1), QStringLiteral(" 图标库 - 1 个图标 "));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));

        // An empty library is not saved.
        Parts(window).Newlibrary2->trigger();
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(Q(folder.File("empty")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        Parts(window).Savelibrary2->trigger();
        QCOMPARE(errors.value(1), QStringLiteral("没有任何图标可以写入图标库"));
        QVERIFY(!FileExists(folder.File("empty.icl")));
    }
};

QTEST_MAIN(IconViewTest)
#include "IconViewTest.moc"
