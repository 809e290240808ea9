// The save commands of the real main window and the background-colour dialog, on generated files.
#include "WindowFixtures.h"

#include "app/ColorDlg.h"
#include "base/ByteReader.h"
#include "icons/BmpWriter.h"
#include "icons/IconTools.h"
#include "library/IconLibrary.h"
#include "support/TempDir.h"
#include "widgets/ColorPicker.h"
#include "widgets/PanelStatusBar.h"

#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest>

#include <deque>
#include <filesystem>
#include <functional>

using namespace pictavo;
using namespace pictavo::test;

namespace {

using TAnswer = std::function<void(QWidget*)>;

// Answers the modal dialogs that open next, in order, each with its own step; returns the
// number of dialogs answered when `done` is asked.
class TDialogAnswers {
public:
    explicit TDialogAnswers(std::deque<TAnswer> answers) : FAnswers(std::move(answers)) {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == FLast) return;
            FLast = modal;
            ++FAnswered;
            if (FAnswers.empty()) {
                QMetaObject::invokeMethod(modal, "reject");  // not expected: closed unanswered
                return;
            }
            const TAnswer answer = FAnswers.front();
            FAnswers.pop_front();
            answer(modal);
        });
        FTimer.start(5);
    }
    int Answered() const { return FAnswered; }

private:
    QTimer FTimer;
    std::deque<TAnswer> FAnswers;
    QWidget* FLast = nullptr;
    int FAnswered = 0;
};

// A save dialog answer: records the proposed name, then accepts `name`.
TAnswer SaveAs(const std::string& name, QString* proposal = nullptr) {
    return [name, proposal](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        if (proposal) *proposal = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        // Typed into the name box, as a user does (the dialog leaves a box with focus alone).
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(box);
        box->setText(Q(name));
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

// A question box answer: checks it names `name`, then presses `button`.
TAnswer Reply(const QString& name, QMessageBox::StandardButton button) {
    return [name, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        QVERIFY2(box->text().contains(name), qPrintable(box->text()));
        box->button(button)->click();
    };
}

// Closes the dialog without an answer.
void Cancel(QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); }

// A colour dialog answer: picks `colour` with the picker, then OK.
TAnswer PickColour(uint32_t colour) {
    return [colour](QWidget* modal) {
        auto* dialog = qobject_cast<Tdlg_pv_Color*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("选择背景颜色"));
        dialog->findChild<TColorPickerButton*>(QStringLiteral("ColorPicker"))->SetSelectionColor(colour);
        dialog->findChild<QPushButton*>(QStringLiteral("bOK"))->click();
    };
}

// The bytes of the bitmap the image gives on `colour`.
std::vector<uint8_t> ExpectedBitmap(const TIconImage& image, uint32_t colour) {
    TRasterCanvas bitmap;
    const auto graphic = image.CreateGraphic();
    return IconToBitmap(*graphic, colour, bitmap) ? WriteBmp24(bitmap) : std::vector<uint8_t>{};
}

// A .ico file of three 8-bit images, 48, 16 and 32 pixels, stored out of order.
void WriteThreeSizes(const std::string& path) {
    WriteBytes(path, MakeIco({Image(48, 8, 200), Image(16, 8, 200), Image(32, 8, 200)}));
}

}  // namespace

class SaveCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    QString Store() const { return FConfig.filePath(QStringLiteral("Pictavo.ini")); }

private slots:
    // One image of the file on view as .ico and as .bmp; the icon on view keeps its images.
    void imageOfFileOnView() {
        TempDir folder, target;
        WriteThreeSizes(folder.File("three.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QStringList errors;
        Parts(window).Runner->ShowError = [&](const QString& message) { errors << message; };
        QVERIFY(ChooseFile(*window, QStringLiteral("three.ico")));
        Select(Parts(window).IconList, 0);
        QCOMPARE(Texts(Parts(window).IconBox), (QStringList{"16 x 16 - 8bit", "32 x 32 - 8bit", "48 x 48 - 8bit"}));

        // Nothing selected: no dialog.
        {
            TDialogAnswers answers({});
            Parts(window).mmSavetoIcon->trigger();
            Parts(window).mmSaveToBMP->trigger();
            QCOMPARE(answers.Answered(), 0);
        }
        SetCurrent(Parts(window).IconBox, 1);
        QString proposal;
        {
            // ".png" typed: written as ".ico".
            TDialogAnswers answers({SaveAs(target.File("one.png"), &proposal)});
            Parts(window).mmSavetoIcon->trigger();
            QCOMPARE(answers.Answered(), 1);
        }
        QCOMPARE(proposal, QStringLiteral("three_1.ico"));
        QCOMPARE(errors, QStringList());
        QVERIFY(!FileExists(target.File("one.png")));
        // "keep.txt" typed while keep.ico exists: the dialog asked about keep.txt only, so
        // replacing keep.ico is asked; "no" brings the dialog back, and cancelling it keeps
        // the file; "yes" replaces it.
        WriteBytes(target.File("keep.ico"), {1, 2, 3});
        {
            TDialogAnswers answers({SaveAs(target.File("keep.txt")), Reply(QStringLiteral("keep.ico"), QMessageBox::No),
                                    SaveAs(target.File("keep.txt"), &proposal),
                                    Reply(QStringLiteral("keep.ico"), QMessageBox::No), Cancel});
            Parts(window).mmSavetoIcon->trigger();
            QCOMPARE(answers.Answered(), 5);
        }
        QCOMPARE(proposal, QStringLiteral("keep.ico"));
        QCOMPARE(ReadBytes(target.File("keep.ico")), (std::vector<uint8_t>{1, 2, 3}));
        {
            TDialogAnswers answers(
                {SaveAs(target.File("keep.txt")), Reply(QStringLiteral("keep.ico"), QMessageBox::Yes)});
            Parts(window).mmSavetoIcon->trigger();
            QCOMPARE(answers.Answered(), 2);
        }
        QVERIFY(ReadBytes(target.File("keep.ico")).size() > 3);
        QVERIFY(!FileExists(target.File("keep.txt")));
        TAdvancedIcon saved;
        QVERIFY(saved.LoadFromFile(target.File("one.ico")));
        QCOMPARE(saved.Images().Count(), 1);
        QCOMPARE(QString::fromStdString(saved.Images()[0]->Label()), QStringLiteral("32 x 32 - 8bit"));
        QCOMPARE(Parts(window).FFileIcons.Icons().Icon(0)->Images().Count(), 3);

        // The colour dialog comes first, then the file dialog; white is proposed.
        const TIconImage& image = *Parts(window).FFileIcons.Icons().Icon(0)->Images()[1];
        {
            TDialogAnswers answers({PickColour(0xFFFFFF), SaveAs(target.File("white.x"), &proposal)});
            Parts(window).mmSaveToBMP->trigger();
            QCOMPARE(answers.Answered(), 2);
        }
        QCOMPARE(proposal, QStringLiteral("three_1.bmp"));
        QCOMPARE(errors, QStringList());
        const std::vector<uint8_t> white = ReadBytes(target.File("white.bmp"));
        QCOMPARE(white, ExpectedBitmap(image, 0xFFFFFF));
        QCOMPARE(*ByteReader(white).u32le(18), 32u);  // width
        QCOMPARE(*ByteReader(white).u32le(22), 33u);  // height: one row more
        // On red, the transparent pixels and the extra row are red; cancelling the file dialog
        // writes nothing.
        {
            TDialogAnswers answers({PickColour(0x0000FF), SaveAs(target.File("red"))});
            Parts(window).mmSaveToBMP->trigger();
        }
        QCOMPARE(ReadBytes(target.File("red.bmp")), ExpectedBitmap(image, 0x0000FF));
        QVERIFY(ReadBytes(target.File("red.bmp")) != white);
        {
            TDialogAnswers answers({PickColour(0x00FF00), Cancel});
            Parts(window).mmSaveToBMP->trigger();
            QCOMPARE(answers.Answered(), 2);
        }
        QCOMPARE(std::distance(std::filesystem::directory_iterator(target.Path()), {}), 4);  // one, keep, white, red
    }

    // Library images: the bitmap is of the selected image even when it is not the icon's last;
    // a whole library icon is saved with all its images.
    void libraryImageAndIcon() {
        TempDir folder, target;
        WriteThreeSizes(folder.File("three.ico"));
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        Parts(window).All2->trigger();
        QVERIFY(WaitForView(*window));
        Select(Parts(window).ICLList, 0);
        SetCurrent(Parts(window).ICLBox, 0);
        {
            TDialogAnswers answers({PickColour(0xFFFFFF), SaveAs(target.File("lib.bmp"))});
            Parts(window).MenuItem2->trigger();
            QCOMPARE(answers.Answered(), 2);
        }
        const TIconImage& first = *Parts(window).FLibrary.Icons().Icon(0)->Images()[0];
        QCOMPARE(first.Width(), 16);
        QCOMPARE(ReadBytes(target.File("lib.bmp")), ExpectedBitmap(first, 0xFFFFFF));

        SetCurrent(Parts(window).ICLBox, 2);
        {
            TDialogAnswers answers({SaveAs(target.File("lib48"))});
            Parts(window).MenuItem1->trigger();
        }
        TAdvancedIcon one, all;
        QVERIFY(one.LoadFromFile(target.File("lib48.ico")));
        QCOMPARE(one.Images().Count(), 1);
        QCOMPARE(one.Images()[0]->Width(), 48);

        QString proposal;
        {
            TDialogAnswers answers({SaveAs(target.File("whole.png"), &proposal)});
            Parts(window).Saveicon1->trigger();
        }
        QCOMPARE(proposal, QStringLiteral("three.ico"));
        QVERIFY(all.LoadFromFile(target.File("whole.ico")));
        QCOMPARE(all.Images().Count(), 3);
    }

    // Every icon or the selected ones into a folder, under safe names, never through a link; the
    // status bar says where while it saves.
    void iconsIntoFolder() {
        TempDir folder, target, outside;
        WriteNamedDll(folder.File("named.dll"), {u"A", u"B", u"x/y", u".."});
        const auto window = OpenWindow(Store(), Q(folder.Path()));
        QVERIFY(window);
        QVERIFY(ChooseFile(*window, QStringLiteral("named.dll")));
        {
            TDialogAnswers answers({});
            Parts(window).Selected3->trigger();
            QCOMPARE(answers.Answered(), 0);
        }
        std::filesystem::create_symlink(outside.File("planted"), target.File("A.ico"));
        QStringList busy;
        struct TPaintWatch : QObject {
            Twnd_pv_Main* Window;
            QStringList* Texts;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) *Texts << Parts(*Window).sb->PanelText(1);
                return false;
            }
        } watch;
        watch.Window = window.get();
        watch.Texts = &busy;
        Parts(window).sb->installEventFilter(&watch);
        {
            TDialogAnswers answers({[&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog);
                QCOMPARE(dialog->windowTitle(), QStringLiteral("选择目标"));
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(Q(target.Path()));
                QMetaObject::invokeMethod(dialog, "accept");
            }});
            Parts(window).All3->trigger();
        }
        Parts(window).sb->removeEventFilter(&watch);
        QVERIFY2(busy.contains(QStringLiteral("正在保存图标到 %1...").arg(Q(target.Path()))),
                 qPrintable(busy.join('|')));
        QCOMPARE(Panel(*window, 1), QStringLiteral("就绪"));
        QVERIFY(!FileExists(outside.File("planted")));
        QStringList written;
        for (const auto& entry : std::filesystem::directory_iterator(target.Path()))
            if (entry.is_regular_file(/*follows*/) && !entry.is_symlink())
                written << Q(entry.path().filename().string());
        written.sort();
        QCOMPARE(written, (QStringList{"A_1.ico", "B.ico", "_...ico", "x_y.ico"}));
    }

    // The colour under the cursor is named; the preview takes the picker's colour.
    void colourDialog() {
        const QList<std::pair<uint32_t, QString>> names = {{0x000000, "clBlack"},      {0xFFFFFF, "clWhite"},
                                                           {0xC0DCC0, "clMoneyGreen"}, {0xA4A0A0, "clMedGray"},
                                                           {0x123456, "$00123456"},    {0x00ABCDEF, "$00ABCDEF"}};
        for (const auto& [value, name] : names) QCOMPARE(ColorName(value), name);

        Tdlg_pv_Color dialog;
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::black);
        for (int y = 16; y < 32; ++y)
            for (int x = 0; x < 32; ++x) picture.setPixelColor(x, y, QColor(0x56, 0x34, 0x12));
        Child<QLabel>(&dialog, "Image")->setPixmap(QPixmap::fromImage(picture));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(341, 343));
        dialog.ImageMouseMove(Child<QLabel>(&dialog, "Image")->mapToGlobal(QPoint(5, 5)));
        QCOMPARE(Child<QLabel>(&dialog, "lCursor")->text(), QStringLiteral("光标颜色: clBlack"));
        dialog.ImageMouseMove(Child<QLabel>(&dialog, "Image")->mapToGlobal(QPoint(5, 20)));
        QCOMPARE(Child<QLabel>(&dialog, "lCursor")->text(), QStringLiteral("光标颜色: $00123456"));
        QCOMPARE(Child<QFrame>(&dialog, "ColorPanel")->palette().color(QPalette::Window), QColor(0x56, 0x34, 0x12));
        // Outside the icon the preview's colour shows: white, then the colour picked.
        dialog.ImageMouseMove(Child<QLabel>(&dialog, "Image")->mapToGlobal(QPoint(100, 100)));
        QCOMPARE(Child<QLabel>(&dialog, "lCursor")->text(), QStringLiteral("光标颜色: clWhite"));
        Child<TColorPickerButton>(&dialog, "ColorPicker")->SetSelectionColor(0x0000FF);
        QCOMPARE(Child<QScrollArea>(&dialog, "ScrollBox")->viewport()->palette().color(QPalette::Window),
                 QColor(Qt::red));
        QTRY_COMPARE((dialog.ImageMouseMove(Child<QLabel>(&dialog, "Image")->mapToGlobal(QPoint(100, 100))),
                      Child<QLabel>(&dialog, "lCursor")->text()),
                     QStringLiteral("光标颜色: clRed"));
    }
};

QTEST_MAIN(SaveCommandsTest)
#include "SaveCommandsTest.moc"
