// The current-file view and the library tab of the real main window, on generated files.
#include "WindowFixtures.h"

#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconPixmaps.h"
#include "widgets/PanelStatusBar.h"

#include <QFileDialog>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {

IcoImage Image(int size, int bitCount, int colours) {
    const Picture picture = MakePicture(size, size, colours, bitCount == 32);
    std::vector<uint8_t> bytes = bitCount == 32 && size == 256 ? MakePng(picture) : MakeDib(picture, bitCount);
    return {InfoFor(size, bitCount, bytes.size()), std::move(bytes)};
}

// 16 x 16 at 4 and 8 bits and 48 x 48 at 32 bits, stored out of order.
void WriteSampleIco(const std::string& path) {
    WriteBytes(path, MakeIco({Image(48, 32, 0), Image(16, 8, 200), Image(16, 4, 16)}));
}

// A DLL whose group icons have the given string names, each of one 16-px image.
void WriteNamedDll(const std::string& path, const std::vector<std::u16string>& names) {
    const IcoImage image = Image(16, 4, 16);
    std::vector<PeResource> resources;
    PeResource icon;
    icon.Type = 3;
    icon.Id = 1;
    icon.Data = image.Bytes;
    resources.push_back(icon);
    for (const std::u16string& name : names) {
        PeResource group;
        group.Type = 14;
        group.NameIsId = false;
        group.Text = name;
        group.Data = GroupData({1}, static_cast<uint32_t>(image.Bytes.size()));
        resources.push_back(group);
    }
    WriteBytes(path, BuildPe(resources).Bytes);
}

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

// Chooses a row of the file list by its caption, as a click on it does.
bool ChooseFile(Twnd_pv_Main& window, const QString& name) {
    const TFoundFilesModel* model = window.FileList->Model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->File(row).Name != name) continue;
        window.FileList->selectionModel()->setCurrentIndex(
            model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

QString TabText(const Twnd_pv_Main& window, int tab) { return window.pc->tabText(tab); }

}  // namespace

class IconViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }

private slots:
    // A file's icon with its thumbnail, then its images in depth order, each item as tall as
    // its image and a line of text with the margins; choosing the same file again keeps all.
    void currentFileView() {
        TempDir folder;
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(Texts(window->IconList), QStringList{"sample"});
        QListWidgetItem* item = window->IconList->item(0);
        QCOMPARE(item->data(kIconDetailRole).toString(), QStringLiteral("图像数量: 3"));
        QCOMPARE(TabText(*window, 0), QStringLiteral(" 当前查看 - 1 个图标 "));
        QVERIFY(QRegularExpression(QStringLiteral("^就绪 \\(\\d+\\.\\d\\d 秒\\)$")).match(Panel(*window, 1)).hasMatch());
        QCOMPARE(window->FCurrentFile, folder.File("sample.ico"));

        // The thumbnail is the 16 x 16 8-bit image.
        const TAdvancedIcon& icon = *window->FFileIcons.Icons().Icon(0);
        const TIconImage* expected = nullptr;
        for (int i = 0; i < icon.Images().Count(); ++i)
            if (icon.Images()[i]->Label() == "16 x 16 - 8bit") expected = icon.Images()[i];
        QVERIFY(expected);
        QCOMPARE(item->icon().pixmap(32, 32).toImage(), IconThumbnail(*expected, Qt::white).toImage());

        item->setSelected(true);
        QCOMPARE(Texts(window->IconBox), (QStringList{"16 x 16 - 4bit", "16 x 16 - 8bit", "48 x 48 - 32bit"}));
        const int line = QFontMetrics(window->IconBox->font()).height();
        QCOMPARE(window->IconBox->visualItemRect(window->IconBox->item(2)).height(), 48 + line + 15);
        QCOMPARE(window->IconBox->visualItemRect(window->IconBox->item(0)).height(), 16 + line + 15);

        // The same row again: nothing is read, the status text stays.
        window->FileList->selectionModel()->clear();
        window->sb->SetPanelText(1, QStringLiteral("x"));
        QVERIFY(ChooseFile(*window, QStringLiteral("sample.ico")));
        QCOMPARE(Panel(*window, 1), QStringLiteral("x"));
        QCOMPARE(window->IconList->count(), 1);
        QCOMPARE(window->IconBox->count(), 3);
    }

    // Icon names are made unique without regard to case; an image taller than the box allows
    // gets an item of height 0.
    void namesAndTallImages() {
        TempDir folder;
        WriteNamedDll(folder.File("named.dll"), {u"A", u"a"});
        WriteBytes(folder.File("big.ico"), MakeIco({Image(256, 32, 0)}));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("named.dll")));
        QCOMPARE(Texts(window->IconList), (QStringList{"A", "a_1"}));
        QVERIFY(ChooseFile(*window, QStringLiteral("big.ico")));
        window->IconList->item(0)->setSelected(true);
        QCOMPARE(Texts(window->IconBox), QStringList{"256 x 256 - 32bit"});
        QCOMPARE(window->IconBox->visualItemRect(window->IconBox->item(0)).height(), 0);
    }

    // A file named on the command line is chosen in its folder's listing.
    void startFile() {
        TempDir folder;
        WriteIcoFile(folder.File("a.ico"));
        WriteSampleIco(folder.File("sample.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()), QStringLiteral("sample.ico"));
        QVERIFY(window);
        QCOMPARE(window->FileList->CurrentRow() >= 0 ? window->FileList->Model()->File(window->FileList->CurrentRow()).Name
                                                     : QString(),
                 QStringLiteral("sample.ico"));
        QCOMPARE(Texts(window->IconList), QStringList{"sample"});
    }
};

QTEST_MAIN(IconViewTest)
#include "IconViewTest.moc"
