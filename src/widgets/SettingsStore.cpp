#include "widgets/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>

namespace pictavo {

namespace {

// How long a writer waits for another process that is writing the same store. After that it
// writes anyway: every write replaces the whole file, so the store stays readable either way.
constexpr int kUpdateLockWaitMs = 10'000;

// "SOFTWARE\Quarn\Pictavo\2.x" -> "SOFTWARE/Quarn/Pictavo/2.x"; empty parts are dropped.
QString SettingsPath(const QString& key) {
    QStringList parts;
    for (const QString& part : QString(key).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts)) parts << part;
    return parts.join(u'/');
}

// What identifies one version of the file: a successful write always makes a new file.
struct TFileStamp {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp StampOf(const QString& fileName) {
    TFileStamp stamp;
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) == 0) {
        stamp.Exists = true;
        stamp.Device = st.st_dev;
        stamp.Inode = st.st_ino;
        stamp.Size = st.st_size;
        stamp.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    }
    return stamp;
}

enum class TFileKind { Missing, Regular, Other, Directory };

TFileKind KindOf(const QString& fileName, off_t* size = nullptr) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return TFileKind::Missing;
    if (size) *size = st.st_size;
    if (S_ISREG(st.st_mode)) return TFileKind::Regular;
    return S_ISDIR(st.st_mode) ? TFileKind::Directory : TFileKind::Other;
}

}  // namespace

TSettingsStore::TSettingsStore(const QString& fileName) : FFileName(fileName) {}

TSettingsStore::~TSettingsStore() = default;

QString TSettingsStore::DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quarn/Pictavo.ini");
}

// A missing file is an empty store; a file that is not a regular file (a folder, a pipe that
// would block the reading) or is too large to be this program's is not read.
bool TSettingsStore::Readable() {
    off_t size = 0;
    switch (KindOf(FFileName, &size)) {
    case TFileKind::Missing:
        return true;
    case TFileKind::Regular:
        return size <= kMaxStoreFileBytes;
    default:
        return false;
    }
}

QSettings& TSettingsStore::Settings() {
    if (!FSettings) FSettings = std::make_unique<QSettings>(FFileName, QSettings::IniFormat);
    return *FSettings;
}

QString TSettingsStore::ValueKey(const QString& name) const {
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\'))
        throw EStoreError("not a value name: " + name.toStdString());
    return FCurrentPath.isEmpty() ? name : FCurrentPath + u'/' + name;
}

bool TSettingsStore::KeyExists(const QString& key) {
    const QString path = SettingsPath(key);
    if (path.isEmpty()) return true;
    if (!Readable()) return false;
    QSettings& settings = Settings();
    settings.beginGroup(path);
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    return exists;
}

bool TSettingsStore::OpenKey(const QString& key, bool canCreate) {
    if (!canCreate && !KeyExists(key)) return false;
    FCurrentPath = SettingsPath(key);
    FKeyOpen = true;
    return true;
}

void TSettingsStore::CloseKey() {
    FKeyOpen = false;
    FCurrentPath.clear();
    Flush();
}

bool TSettingsStore::ValueExists(const QString& name) {
    const QString key = ValueKey(name);
    return Readable() && Settings().contains(key);
}

QStringList TSettingsStore::GetValueNames() {
    if (!Readable()) return {};
    QSettings& settings = Settings();
    settings.beginGroup(FCurrentPath);
    QStringList names = settings.childKeys();
    settings.endGroup();
    return names;
}

TSettingsStore::TDataType TSettingsStore::GetDataType(const QString& name) {
    const QString key = ValueKey(name);
    if (!Readable()) return TDataType::None;
    const QVariant value = Settings().value(key);
    if (!value.isValid()) return TDataType::None;
    switch (value.typeId()) {
    case QMetaType::QString:
        return TDataType::String;
    case QMetaType::QByteArray:
        return TDataType::Binary;
    default:
        return TDataType::Unknown;
    }
}

QString TSettingsStore::ReadString(const QString& name) {
    if (GetDataType(name) != TDataType::String) throw EStoreError("not a string value: " + name.toStdString());
    return Settings().value(ValueKey(name)).toString();
}

QByteArray TSettingsStore::ReadBinaryData(const QString& name, TDataType& type) {
    type = GetDataType(name);
    switch (type) {
    case TDataType::String:
        return Settings().value(ValueKey(name)).toString().toUtf8();
    case TDataType::Binary:
        return Settings().value(ValueKey(name)).toByteArray();
    default:
        return {};
    }
}

void TSettingsStore::WriteString(const QString& name, const QString& value) {
    const QString key = ValueKey(name);
    const TFileKind kind = KindOf(FFileName);
    if (kind == TFileKind::Directory) RaiseCreateError(FFileName.toStdString(), EISDIR);
    if (kind == TFileKind::Other) RaiseCreateError(FFileName.toStdString(), EINVAL);
    Settings().setValue(key, value);
    FChanged = true;
}

bool TSettingsStore::DeleteValue(const QString& name) {
    if (!ValueExists(name)) return false;
    QSettings& settings = Settings();
    const QString key = ValueKey(name);
    // QSettings removes a key together with everything below it, but a value may share its
    // name with a subkey (the older layout's value beside the section's key): the subkey's
    // values are put back.
    QList<std::pair<QString, QVariant>> below;
    settings.beginGroup(key);
    for (const QString& subkey : settings.allKeys()) below.append({subkey, settings.value(subkey)});
    settings.endGroup();
    settings.remove(key);
    for (const auto& [subkey, value] : below) settings.setValue(key + u'/' + subkey, value);
    FChanged = true;
    return true;
}

void TSettingsStore::BeginUpdate() {
    const std::string fileName = FFileName.toStdString();
    const QString folder = QFileInfo(FFileName).absolutePath();
    if (!QDir().mkpath(folder)) RaiseWriteError();
    off_t size = 0;
    const TFileKind kind = KindOf(FFileName, &size);
    if (kind == TFileKind::Directory) RaiseCreateError(fileName, EISDIR);
    if (kind == TFileKind::Other) RaiseCreateError(fileName, EINVAL);

    FLock = std::make_unique<QLockFile>(FFileName + QStringLiteral(".update.lock"));
    if (!FLock->tryLock(kUpdateLockWaitMs)) FLock.reset();

    if (kind == TFileKind::Regular && size > kMaxStoreFileBytes) {
        // Not a store this program wrote, and never read: start again from an empty store
        // instead of loading it whole only to write it back.
        QSaveFile empty(FFileName);
        if (!empty.open(QIODevice::WriteOnly) || !empty.commit()) {
            FLock.reset();
            RaiseWriteError();
        }
    }
    // Read what is stored now, written perhaps by another process since this one last read.
    FSettings.reset();
    FChanged = false;
    Settings().sync();
}

void TSettingsStore::EndUpdate() {
    struct TUnlock {
        std::unique_ptr<QLockFile>& Lock;
        ~TUnlock() { Lock.reset(); }
    } unlock{FLock};
    Flush();
}

void TSettingsStore::Flush() {
    if (!FSettings || !FChanged) return;
    const TFileStamp before = StampOf(FFileName);
    FSettings->sync();
    FChanged = false;
    // QSettings keeps the first error it met, also one from reading a damaged file that the
    // write then replaced; a write that happened always made a new file.
    if (FSettings->status() == QSettings::AccessError || StampOf(FFileName) == before) {
        FSettings.reset();
        RaiseWriteError();
    }
}

// QSettings says only that the write failed; the reason is found by looking at the folder.
void TSettingsStore::RaiseWriteError() const {
    const QString folder = QFileInfo(FFileName).absolutePath();
    const QByteArray folderPath = QFile::encodeName(folder);
    const QByteArray filePath = QFile::encodeName(FFileName);
    int err = EIO;
    struct stat st {};
    struct statvfs vfs {};
    if (::stat(folderPath.constData(), &st) != 0)
        err = errno;
    else if (!S_ISDIR(st.st_mode))
        err = ENOTDIR;
    else if (::access(folderPath.constData(), W_OK) != 0)
        err = errno;
    else if (::access(filePath.constData(), F_OK) == 0 && ::access(filePath.constData(), R_OK | W_OK) != 0)
        err = errno;
    else if (::statvfs(folderPath.constData(), &vfs) == 0 && vfs.f_bavail == 0)
        err = ENOSPC;
    RaiseCreateError(FFileName.toStdString(), err);
}

}  // namespace pictavo
