// Stored window properties: each stored window owns a TPropStorageEh that names the
// properties to keep ("<P>.Width", "ShellPanel.<P>.Height", ...), and the storages share one
// TRegPropStorageManEh that keeps them in the per-user store (TSettingsStore) under
// <Path>\<Section> as string values Line0000000000, Line0000000001, ..., one line of the
// stored text each.
//
// A storage hooks its window: when the window is shown it restores the stored properties
// (never with a message), when a close is accepted it saves them (a failure is shown in the
// standard error box and the window closes all the same), and the window's destructor calls
// FormDestroy() first to save what was loaded and not yet saved.
//
// Components on a path are found by Qt object name below the previous one; a property is the
// component's Qt property of that name (exactly, else without regard to case), and for
// widgets Left, Top, Width and Height fall back to their geometry (a pane of a splitter takes
// its size along the splitter through the splitter). Only the properties that
// the storage stores are applied on reading; other names found in a stored text are skipped.
#pragma once

#include "settings/PropFilerEh.h"
#include "settings/StoragePropertyInterceptor.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace pictavo {

class TPropStorageEh;

// A stored text longer than this is not one this program wrote; it is not applied.
inline constexpr size_t kMaxStoredTextBytes = 1024 * 1024;

// How a window is placed when it is shown: where its geometry says, or centred on the
// primary screen or on the whole desktop. A restored Left or Top gives up centring.
enum class TFormPositionEh { Designed, ScreenCenter, DesktopCenter };
void SetFormPosition(QWidget* form, TFormPositionEh position);
TFormPositionEh FormPosition(const QWidget* form);

// The class name written for an object in a stored text: the one set here, else the object's
// Qt class name without its namespace.
void SetStoredClassName(QObject* object, const QString& className);
QString StoredClassName(const QObject* object);

// A window's geometry for its storage: saved from its normal rectangle when maximised or
// minimised, restored once the whole stored text was read, scaled by the screen's pixels per
// inch now over those it was saved at, and moved onto the primary screen when it would lie
// off every screen.
class TFormStoragePropertyInterceptor : public TFormGeometryInterceptor {
public:
    explicit TFormStoragePropertyInterceptor(TPropStorageEh& storage) : FStorage(storage) {}
    void Readed() override;

protected:
    TFormGeometryEh SavedGeometry() const override;

private:
    TPropStorageEh& FStorage;
};

class TRegPropStorageManEh : public QObject {
    Q_OBJECT
public:
    explicit TRegPropStorageManEh(QObject* parent = nullptr);

    // The key below the root that holds one subkey per storage's Section.
    const QString& Path() const { return FPath; }
    void SetPath(const QString& path) { FPath = path; }

    // The store's file; empty (the default) means TSettingsStore::DefaultFileName() at the
    // time of each read or write.
    QString StoreFileName() const;
    void SetStoreFileName(const QString& fileName) { FStoreFileName = fileName; }

    // Writes the storage's properties; raises on failure (EFCreateError for the store).
    void WriteProperties(TPropStorageEh& storage);
    // Reads the storage's properties and applies them; never raises.
    void ReadProperties(TPropStorageEh& storage);

    // The stored text of the storage's properties, one line per entry.
    std::vector<std::string> PropertyLines(TPropStorageEh& storage);
    // Applies a stored text to the storage's window as reading does; never raises.
    void ApplyText(TPropStorageEh& storage, std::string_view text);

    // "Line" and the number in ten digits.
    static QString LineName(qint64 index);

private:
    QString FPath;
    QString FStoreFileName;
};

class TPropStorageEh : public QObject {
    Q_OBJECT
public:
    // The storage of `form`, which it hooks (show and close).
    explicit TPropStorageEh(QWidget* form);
    ~TPropStorageEh() override;

    QWidget* Form() const { return FForm; }

    const QString& Section() const { return FSection; }
    void SetSection(const QString& section) { FSection = section; }
    TRegPropStorageManEh* StorageManager() const { return FStorageManager; }
    void SetStorageManager(TRegPropStorageManEh* manager) { FStorageManager = manager; }
    bool Active() const { return FActive; }
    void SetActive(bool active) { FActive = active; }

    // The stored property paths; SetStoredProps replaces them (malformed paths are dropped).
    TPropertyNamesEh& StoredProps() { return FStoredProps; }
    const TPropertyNamesEh& StoredProps() const { return FStoredProps; }
    void SetStoredProps(const QStringList& paths);

    // Whether the properties were saved since they were last loaded (also before the first
    // load: a window never shown has nothing of its own to save).
    bool Saved() const { return FSaved; }

    void LoadProperties();
    void SaveProperties();
    // To be called first in the window's destructor: saves what was loaded and neither saved
    // nor reported as failing to save since.
    void FormDestroy();

    // Writes the window's own values after its stored properties: property names and one
    // value each.
    std::function<void(TPropStorageEh* sender, TPropWriterEh& writer)> OnWriteCustomProps;
    // Offered each property at the window's level that is not its geometry; a handler that
    // sets processed has read the value from the reader.
    std::function<void(TPropStorageEh* sender, TPropReaderEh& reader, const QString& propName, bool& processed)>
        OnReadProp;
    std::function<void(TPropStorageEh*sender)> BeforeLoadProps, AfterLoadProps, BeforeSaveProps, AfterSaveProps;
    // Shows an error raised while saving; by default the standard error box.
    std::function<void(TPropStorageEh* sender, const QString& message)> OnSaveError;
    // The screen's pixels per inch now; by default the logical density of the window's screen.
    std::function<int(const QWidget* form)> ScreenPixelsPerInch;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void SaveReportingErrors();

    QWidget* FForm;
    QString FSection;
    QPointer<TRegPropStorageManEh> FStorageManager;
    TPropertyNamesEh FStoredProps;
    bool FActive = true;
    bool FSaved = true;
    bool FSaveFailed = false;  // a save since the last load failed and was reported
    bool FInClose = false;
};

}  // namespace pictavo
