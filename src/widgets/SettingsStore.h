// The per-user store of stored window properties: a tree of keys below one root, each key
// holding named string or binary values, kept in an INI file under the XDG config folder
// ($XDG_CONFIG_HOME, else ~/.config). Key paths join their parts with "\"
// ("SOFTWARE\Quarn\Pictavo\2.x\Main").
//
// Writing replaces the file atomically (a new file renamed over the old one), so a crash or
// a full disk while saving leaves the settings that were there; writers of the same store in
// several processes take turns (BeginUpdate / EndUpdate).
#pragma once

#include "base/Errors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;
class QSettings;

namespace pictavo {

// A value that is missing or not of the kind asked for, a name the store cannot hold.
class EStoreError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// A store file larger than this is not one this program wrote; it is not read (the windows
// keep their designed layout) rather than loaded whole into memory.
inline constexpr qint64 kMaxStoreFileBytes = 4 * 1024 * 1024;

class TSettingsStore {
public:
    enum class TDataType { None, String, Binary, Unknown };

    explicit TSettingsStore(const QString& fileName = DefaultFileName());
    ~TSettingsStore();
    TSettingsStore(const TSettingsStore&) = delete;
    TSettingsStore& operator=(const TSettingsStore&) = delete;

    // <config folder>/Quarn/Pictavo.ini
    static QString DefaultFileName();
    const QString& FileName() const { return FFileName; }

    // Whether the key holds any value or subkey (a key without either is not kept).
    bool KeyExists(const QString& key);
    // Makes `key` the current key; without canCreate, only when it exists.
    bool OpenKey(const QString& key, bool canCreate);
    // Writes what was changed and forgets the current key. Raises EFCreateError
    // ("无法创建文件 ...") when the store cannot be written.
    void CloseKey();

    // Values of the current key.
    bool ValueExists(const QString& name);
    QStringList GetValueNames();
    TDataType GetDataType(const QString& name);
    // Raises EStoreError when the value is missing or not a string.
    QString ReadString(const QString& name);
    // The value's bytes (a string as UTF-8) and its type; empty with None when missing.
    QByteArray ReadBinaryData(const QString& name, TDataType& type);
    void WriteString(const QString& name, const QString& value);
    // False when there was no such value.
    bool DeleteValue(const QString& name);

    // Takes the store's update lock (waiting a while for another process that holds it) and
    // reads the store again, so that the changes that follow are made to what is stored now.
    // EndUpdate writes them, releases the lock, and raises EFCreateError on a failed write.
    void BeginUpdate();
    void EndUpdate();

private:
    bool Readable();
    QSettings& Settings();
    QString ValueKey(const QString& name) const;
    void Flush();
    [[noreturn]] void RaiseWriteError() const;

    QString FFileName;
    std::unique_ptr<QSettings> FSettings;
    std::unique_ptr<QLockFile> FLock;
    QString FCurrentPath;  // the settings' form, "/" between parts
    bool FKeyOpen = false;
    bool FChanged = false;
};

}  // namespace pictavo
