// A stored folder path of any bytes through the real per-user store: it reads back byte for
// byte, UTF-8 text stays readable in the store file, and a store written by earlier versions
// reads the same.
#include "widgets/PropStorageEh.h"

#include <QtTest>

#include <QTemporaryDir>
#include <QWidget>

using namespace pictavo;

namespace {

// A window that stores nothing but the bytes of "LastFolder".
class TFolderForm : public QWidget {
public:
    explicit TFolderForm(TRegPropStorageManEh* manager) {
        setObjectName(QStringLiteral("wnd_pv_Main"));
        SetStoredClassName(this, QStringLiteral("Twnd_pv_Main"));
        Storage = new TPropStorageEh(this);
        Storage->SetSection(QStringLiteral("Main"));
        Storage->SetStorageManager(manager);
        Storage->OnWriteCustomProps = [this](TPropStorageEh*, TPropWriterEh& w) {
            w.WritePropName("LastFolder");
            w.WriteString(LastFolder);
        };
        Storage->OnReadProp = [this](TPropStorageEh*, TPropReaderEh& r, const QString&, bool& processed) {
            LastFolder = r.ReadString();
            processed = true;
        };
        Storage->SetActive(false);  // saved and loaded by the test only
    }

    TPropStorageEh* Storage;
    std::string LastFolder;
};

}  // namespace

class StoredBytesStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TRegPropStorageManEh FManager;

    QString StoreFile() const { return FDir.filePath(QStringLiteral("Pictavo.ini")); }
    QByteArray StoreBytes() const {
        QFile file(StoreFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void WriteStore(const QByteArray& bytes) const {
        QFile file(StoreFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        FManager.SetPath(QStringLiteral("SOFTWARE\\Quarn\\Pictavo\\2.x"));
        FManager.SetStoreFileName(StoreFile());
    }

    void folderReadsBackByteForByte_data() {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("inFile");  // how the store file shows it
        QTest::newRow("latin-1") << QByteArray("/srv/caf\xE9") << QByteArray("'/srv/caf'#233");
        QTest::newRow("chinese") << QByteArray("/home/用户/图标") << QByteArray("'/home/用户/图标'");
        QTest::newRow("long mix") << QByteArray("/" + QByteArray(70, '\xFE') + "/文件夹")
                                  << QByteArray("'/'#254#254#254");
    }

    void folderReadsBackByteForByte() {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, inFile);
        TFolderForm saved(&FManager);
        saved.LastFolder = folder.toStdString();
        saved.Storage->SaveProperties();
        QVERIFY2(!StoreBytes().contains("\xEF\xBF\xBD"), StoreBytes().constData());
        QVERIFY2(StoreBytes().contains(inFile), StoreBytes().constData());

        TFolderForm loaded(&FManager);
        loaded.Storage->LoadProperties();
        QCOMPARE(QByteArray::fromStdString(loaded.LastFolder), folder);
    }

    void storeOfEarlierVersionsReadsTheSame() {
        // What earlier versions wrote for "/home/用户/caf\xE9/" + 50 "x" + "/图标'库": the byte
        // that was not UTF-8 had become U+FFFD.
        const QByteArray header = "[SOFTWARE]\n"
                                  "Quarn\\Pictavo\\2.x\\Main\\Line0000000000=object wnd_pv_Main: Twnd_pv_Main\n";
        const QByteArray end = "=end\n";
        WriteStore(header +
                   "Quarn\\Pictavo\\2.x\\Main\\Line0000000001=\"  LastFolder = \"\n"
                   "Quarn\\Pictavo\\2.x\\Main\\Line0000000002=\"    '/home/用户/caf\xEF\xBF\xBD/"
                   "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' +\"\n"
                   "Quarn\\Pictavo\\2.x\\Main\\Line0000000003=\"    'xxxx/图标'#39'库'\"\n"
                   "Quarn\\Pictavo\\2.x\\Main\\Line0000000004" +
                   end);
        TFolderForm loaded(&FManager);
        loaded.Storage->LoadProperties();
        const std::string expected = "/home/用户/caf\xEF\xBF\xBD/" + std::string(50, 'x') + "/图标'库";
        QCOMPARE(QByteArray::fromStdString(loaded.LastFolder), QByteArray::fromStdString(expected));

        // UTF-8 text, U+FFFD included, is saved again exactly as earlier versions saved it.
        const QByteArray utf8 = header +
                                "Quarn\\Pictavo\\2.x\\Main\\Line0000000001=\"  LastFolder = "
                                "'/home/用户/caf\xEF\xBF\xBD/图标'#39'库'\"\n"
                                "Quarn\\Pictavo\\2.x\\Main\\Line0000000002" +
                                end;
        WriteStore(utf8);
        loaded.Storage->LoadProperties();
        loaded.Storage->SaveProperties();
        QCOMPARE(StoreBytes(), utf8);
    }
};

QTEST_MAIN(StoredBytesStoreTest)
#include "StoredBytesStoreTest.moc"
