#include "widgets/PropStorageEh.h"

#include "widgets/SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCollator>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaProperty>
#include <QScreen>
#include <QSet>
#include <QSplitter>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <optional>

namespace pictavo {

namespace {

constexpr const char* kFormPositionProperty = "formPosition";
constexpr const char* kStoredClassNameProperty = "storedClassName";

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The object's property `name`: exactly that name first, else the first of another case.
// With `writable`, only a property that can be written counts.
std::optional<QMetaProperty> FindProperty(const QObject* object, const QString& name, bool writable) {
    const QMetaObject* meta = object->metaObject();
    const QByteArray latin = name.toLatin1();
    const int exact = meta->indexOfProperty(latin.constData());
    auto usable = [&](const QMetaProperty& p) { return writable ? p.isWritable() : p.isReadable(); };
    if (exact >= 0 && usable(meta->property(exact))) return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (usable(p) && QString::fromLatin1(p.name()).compare(name, Qt::CaseInsensitive) == 0) return p;
    }
    return std::nullopt;
}

bool IsGeometryName(const QString& name, const char* which) {
    return name.compare(QLatin1String(which), Qt::CaseInsensitive) == 0;
}

// The value of an object's property in the stored notation; nothing for a property it does
// not have or of a kind the notation does not hold.
std::optional<TPropValueEh> ReadObjectProperty(const QObject* object, const QString& name) {
    if (const std::optional<QMetaProperty> p = FindProperty(object, name, false)) {
        const QVariant value = p->read(object);
        if (p->isEnumType()) {
            if (p->isFlagType()) return std::nullopt;
            const char* key = p->enumerator().valueToKey(value.toInt());
            if (!key || !IsPropIdent(key)) return std::nullopt;
            return TPropValueEh::FromIdent(key);
        }
        switch (value.typeId()) {
        case QMetaType::Bool:
            return TPropValueEh::FromIdent(value.toBool() ? "True" : "False");
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::SChar:
            return TPropValueEh::FromInteger(value.toLongLong());
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UChar:
            if (value.toULongLong() > static_cast<qulonglong>(INT64_MAX)) return std::nullopt;
            return TPropValueEh::FromInteger(static_cast<int64_t>(value.toULongLong()));
        case QMetaType::QString:
            return TPropValueEh::FromString(value.toString().toStdString());
        default:
            return std::nullopt;
        }
    }
    if (const auto* widget = qobject_cast<const QWidget*>(object)) {
        if (IsGeometryName(name, "Left")) return TPropValueEh::FromInteger(widget->x());
        if (IsGeometryName(name, "Top")) return TPropValueEh::FromInteger(widget->y());
        if (IsGeometryName(name, "Width")) return TPropValueEh::FromInteger(widget->width());
        if (IsGeometryName(name, "Height")) return TPropValueEh::FromInteger(widget->height());
    }
    return std::nullopt;
}

[[noreturn]] void BadValue(const QString& name) { throw EPropReadError("bad value for " + name.toStdString()); }

int IntegerIn(const TPropValueEh& value, const QString& name, int64_t low, int64_t high) {
    if (value.Kind != TPropValueEh::TKind::Integer || value.Integer < low || value.Integer > high) BadValue(name);
    return static_cast<int>(value.Integer);
}

// A pane of a splitter takes its size along the splitter through the splitter, which would
// otherwise lay it out again at its old size; the neighbour after it (else before it) gives or
// takes the difference. False when the widget is no such pane.
bool SetPaneSize(QWidget* widget, Qt::Orientation orientation, int size) {
    auto* splitter = qobject_cast<QSplitter*>(widget->parentWidget());
    if (!splitter || splitter->orientation() != orientation) return false;
    const int index = splitter->indexOf(widget);
    QList<int> sizes = splitter->sizes();
    if (index < 0 || index >= sizes.size()) return false;
    const int neighbour = index + 1 < sizes.size() ? index + 1 : index - 1;
    if (neighbour >= 0) sizes[neighbour] = std::max(0, sizes[neighbour] + sizes[index] - size);
    sizes[index] = size;
    splitter->setSizes(sizes);
    return true;
}

// Sets an object's property from a stored value; raises EPropReadError when the object has no
// such property or the value does not suit it.
void WriteObjectProperty(QObject* object, const QString& name, const TPropValueEh& value) {
    if (const std::optional<QMetaProperty> p = FindProperty(object, name, true)) {
        QVariant v;
        if (p->isEnumType()) {
            if (p->isFlagType() || value.Kind != TPropValueEh::TKind::Ident) BadValue(name);
            bool ok = false;
            const int key = p->enumerator().keyToValue(value.Text.c_str(), &ok);
            if (!ok) BadValue(name);
            v = key;
        } else {
            switch (p->metaType().id()) {
            case QMetaType::Bool:
                if (value.Kind != TPropValueEh::TKind::Ident) BadValue(name);
                if (CompareTextAscii(value.Text, "True") == 0)
                    v = true;
                else if (CompareTextAscii(value.Text, "False") == 0)
                    v = false;
                else
                    BadValue(name);
                break;
            case QMetaType::Int:
                v = IntegerIn(value, name, INT_MIN, INT_MAX);
                break;
            case QMetaType::UInt:
                v = static_cast<uint>(IntegerIn(value, name, 0, INT_MAX));
                break;
            case QMetaType::LongLong:
                if (value.Kind != TPropValueEh::TKind::Integer) BadValue(name);
                v = static_cast<qlonglong>(value.Integer);
                break;
            case QMetaType::QString:
                if (value.Kind != TPropValueEh::TKind::String) BadValue(name);
                v = FromUtf8(value.Text);
                break;
            default:
                BadValue(name);
            }
        }
        if (!p->write(object, v)) BadValue(name);
        return;
    }
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        const auto limit = static_cast<int64_t>(kMaxStoredCoordinate);
        if (IsGeometryName(name, "Left")) return widget->move(IntegerIn(value, name, -limit, limit), widget->y());
        if (IsGeometryName(name, "Top")) return widget->move(widget->x(), IntegerIn(value, name, -limit, limit));
        if (IsGeometryName(name, "Width")) {
            const int width = IntegerIn(value, name, 0, limit);
            if (!SetPaneSize(widget, Qt::Horizontal, width)) widget->resize(width, widget->height());
            return;
        }
        if (IsGeometryName(name, "Height")) {
            const int height = IntegerIn(value, name, 0, limit);
            if (!SetPaneSize(widget, Qt::Vertical, height)) widget->resize(widget->width(), height);
            return;
        }
    }
    throw EPropReadError("no property " + name.toStdString());
}

// The component called `name` below `parent` (at any depth, nearest first).
QObject* FindComponent(QObject* parent, const std::string& name) {
    if (!parent || name.empty()) return nullptr;
    return parent->findChild<QObject*>(QString::fromStdString(name));
}

std::string PathText(const std::vector<std::string>& components, const std::string& prop) {
    std::string text;
    for (const std::string& c : components) text += c + '.';
    return text + "<P>." + prop;
}

// Whether some stored path runs through the components `chain`.
bool OnStoredPath(const TPropertyNamesEh& names, const std::vector<std::string>& chain) {
    for (const TPropertyPathEh& path : names.Items()) {
        if (path.Components.size() < chain.size()) continue;
        bool same = true;
        for (size_t i = 0; i < chain.size() && same; ++i) same = CompareTextAscii(path.Components[i], chain[i]) == 0;
        if (same) return true;
    }
    return false;
}

// A component below the window, reached by the names of `Chain`.
class TComponentTarget : public TPropTargetEh {
public:
    TComponentTarget(TPropStorageEh& storage, QObject* object, std::vector<std::string> chain)
        : FStorage(storage), FObject(object), FChain(std::move(chain)) {}

    void ReadProperty(TPropReaderEh& reader, const std::string& name) override {
        if (FStorage.StoredProps().IndexOf(PathText(FChain, name)) < 0) return;
        WriteObjectProperty(FObject, QString::fromStdString(name), reader.ReadValue());
    }

    std::unique_ptr<TPropTargetEh> FindComponent(const std::string& name, const std::string&) override {
        std::vector<std::string> chain = FChain;
        chain.push_back(name);
        if (!OnStoredPath(FStorage.StoredProps(), chain)) return nullptr;
        QObject* child = pictavo::FindComponent(FObject, name);
        if (!child) return nullptr;
        return std::make_unique<TComponentTarget>(FStorage, child, std::move(chain));
    }

protected:
    TPropStorageEh& FStorage;
    QObject* FObject;
    std::vector<std::string> FChain;
};

// The window itself: its geometry goes to the interceptor, other names are offered to
// OnReadProp and then to the window's own properties.
class TFormTarget : public TComponentTarget {
public:
    TFormTarget(TPropStorageEh& storage, TFormStoragePropertyInterceptor& interceptor)
        : TComponentTarget(storage, storage.Form(), {}), FInterceptor(interceptor) {}

    void ReadProperty(TPropReaderEh& reader, const std::string& name) override {
        if (FInterceptor.Intercepts(name)) {
            if (FStorage.StoredProps().IndexOf(PathText({}, name)) >= 0) FInterceptor.ReadProperty(reader, name);
            return;
        }
        if (FStorage.OnReadProp) {
            const size_t valueStart = reader.Position();
            bool processed = false;
            FStorage.OnReadProp(&FStorage, reader, QString::fromStdString(name), processed);
            if (processed) return;
            reader.Seek(valueStart);
        }
        TComponentTarget::ReadProperty(reader, name);
    }

private:
    TFormStoragePropertyInterceptor& FInterceptor;
};

QRect ToQRect(const TFormRectEh& r) { return QRect(r.Left, r.Top, r.Width, r.Height); }
TFormRectEh FromQRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// A rectangle on no screen at all (a monitor removed since it was saved) is moved onto the
// primary screen, where the user can reach it: centred, and no larger than the screen.
QRect OntoScreen(const QRect& rect) {
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(rect)) return rect;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return rect;
    const QRect area = primary->availableGeometry();
    QRect moved(QPoint(0, 0), rect.size().boundedTo(area.size()));
    moved.moveCenter(area.center());
    return moved;
}

constexpr Qt::WindowStates kNotNormal = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

}  // namespace

// --- form position and class names -------------------------------------------------------

void SetFormPosition(QWidget* form, TFormPositionEh position) {
    form->setProperty(kFormPositionProperty, static_cast<int>(position));
}

TFormPositionEh FormPosition(const QWidget* form) {
    const QVariant value = form->property(kFormPositionProperty);
    switch (value.toInt()) {
    case static_cast<int>(TFormPositionEh::ScreenCenter):
        return TFormPositionEh::ScreenCenter;
    case static_cast<int>(TFormPositionEh::DesktopCenter):
        return TFormPositionEh::DesktopCenter;
    default:
        return TFormPositionEh::Designed;
    }
}

void SetStoredClassName(QObject* object, const QString& className) {
    object->setProperty(kStoredClassNameProperty, className);
}

QString StoredClassName(const QObject* object) {
    const QString set = object->property(kStoredClassNameProperty).toString();
    if (!set.isEmpty()) return set;
    const QString name = QString::fromLatin1(object->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

// --- interceptor -------------------------------------------------------------------------

TFormGeometryEh TFormStoragePropertyInterceptor::SavedGeometry() const {
    const QWidget* form = FStorage.Form();
    TFormGeometryEh geometry;
    const Qt::WindowStates states = form->windowState();
    QRect rect = form->geometry();
    if ((states & kNotNormal) && form->testAttribute(Qt::WA_WState_Created) && form->normalGeometry().isValid())
        rect = form->normalGeometry();
    geometry.Rect = FromQRect(rect);
    geometry.PixelsPerInch = FStorage.ScreenPixelsPerInch(form);
    if (states & Qt::WindowMinimized)
        geometry.WindowState = TWindowStateEh::Minimized;
    else if (states & (Qt::WindowMaximized | Qt::WindowFullScreen))
        geometry.WindowState = TWindowStateEh::Maximized;
    return geometry;
}

void TFormStoragePropertyInterceptor::Readed() {
    QWidget* form = FStorage.Form();
    if (!AnythingRead()) return;
    const Qt::WindowStates states = form->windowState();
    const QRect current =
        (states & kNotNormal) && form->normalGeometry().isValid() ? form->normalGeometry() : form->geometry();
    const QRect rect = OntoScreen(ToQRect(RestoredRect(FromQRect(current), FStorage.ScreenPixelsPerInch(form))));

    TWindowStateEh state = TWindowStateEh::Normal;
    if (WindowState)
        state = *WindowState;
    else if (states & Qt::WindowMinimized)
        state = TWindowStateEh::Minimized;
    else if (states & (Qt::WindowMaximized | Qt::WindowFullScreen))
        state = TWindowStateEh::Maximized;

    // The rectangle is set while the window is in its normal state, so that it becomes the
    // normal rectangle that a maximised or minimised window returns to.
    form->setWindowState(states & ~kNotNormal);
    if (PositionRead() || rect.topLeft() != current.topLeft())
        form->setGeometry(rect);
    else
        form->resize(rect.size());
    if (state == TWindowStateEh::Maximized)
        form->setWindowState((states & ~kNotNormal) | Qt::WindowMaximized);
    else if (state == TWindowStateEh::Minimized)
        form->setWindowState((states & ~kNotNormal) | Qt::WindowMinimized);

    if (PositionRead() && FormPosition(form) != TFormPositionEh::Designed)
        SetFormPosition(form, TFormPositionEh::Designed);
}

// --- manager -----------------------------------------------------------------------------

TRegPropStorageManEh::TRegPropStorageManEh(QObject* parent) : QObject(parent) {}

QString TRegPropStorageManEh::StoreFileName() const {
    return FStoreFileName.isEmpty() ? TSettingsStore::DefaultFileName() : FStoreFileName;
}

QString TRegPropStorageManEh::LineName(qint64 index) {
    return QStringLiteral("Line%1").arg(index, 10, 10, QLatin1Char('0'));
}

std::vector<std::string> TRegPropStorageManEh::PropertyLines(TPropStorageEh& storage) {
    QWidget* form = storage.Form();
    TPropWriterEh writer;
    writer.WriteObjectBegin(form->objectName().toStdString(), StoredClassName(form).toStdString());

    TFormStoragePropertyInterceptor interceptor(storage);
    const TPropertyNamesEh& names = storage.StoredProps();
    for (const TPropertyPathEh& path : names.Items()) {
        if (!path.Components.empty()) continue;
        if (interceptor.Intercepts(path.Property)) {
            interceptor.WriteProperty(writer, path.Property);
        } else if (const auto value = ReadObjectProperty(form, QString::fromStdString(path.Property))) {
            writer.WritePropName(path.Property);
            writer.WriteValue(*value);
        }
    }
    if (storage.OnWriteCustomProps) storage.OnWriteCustomProps(&storage, writer);

    for (const TPropertyPathEh& path : names.Items()) {
        if (path.Components.empty()) continue;
        std::vector<TComponentRefEh> chain;
        QObject* object = form;
        for (const std::string& name : path.Components) {
            object = FindComponent(object, name);
            if (!object) break;
            chain.push_back({name, StoredClassName(object).toStdString()});
        }
        if (!object) continue;  // a component the window does not have (any more)
        const auto value = ReadObjectProperty(object, QString::fromStdString(path.Property));
        if (!value) continue;
        writer.EnterComponents(chain);
        writer.WritePropName(path.Property);
        writer.WriteValue(*value);
    }
    writer.EnterComponents({});
    writer.WriteObjectEnd();
    if (!writer.Complete()) throw EPropWriteError("the stored text is incomplete");
    return writer.Lines();
}

void TRegPropStorageManEh::WriteProperties(TPropStorageEh& storage) {
    // The whole text is made before the store is touched: a failure here changes nothing.
    const std::vector<std::string> lines = PropertyLines(storage);
    TSettingsStore store(StoreFileName());
    store.BeginUpdate();
    store.OpenKey(FPath + u'\\' + storage.Section(), true);
    qint64 index = 0;
    for (const std::string& line : lines) store.WriteString(LineName(index++), FromUtf8(line));
    // Lines of a longer earlier text must not outlive it.
    while (store.ValueExists(LineName(index))) store.DeleteValue(LineName(index++));
    store.EndUpdate();
}

void TRegPropStorageManEh::ApplyText(TPropStorageEh& storage, std::string_view text) {
    try {
        TFormStoragePropertyInterceptor interceptor(storage);
        TFormTarget root(storage, interceptor);
        try {
            ReadPropertiesText(text, root);
        } catch (const std::exception&) {
            // The text is damaged from here on: what was read before it is kept.
        }
        interceptor.Readed();
    } catch (const std::exception&) {
    }
}

void TRegPropStorageManEh::ReadProperties(TPropStorageEh& storage) {
    try {
        const QString section = storage.Section();
        TSettingsStore store(StoreFileName());
        // The older layout: the whole text in one value named like the section. It is read
        // once and removed, also when it cannot be applied, so that it never hides the
        // lines written after it.
        if (store.OpenKey(FPath, false) && store.ValueExists(section)) {
            TSettingsStore::TDataType type;
            const QByteArray bytes = store.ReadBinaryData(section, type);
            if (bytes.size() <= static_cast<qsizetype>(kMaxStoredTextBytes))
                ApplyText(storage, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            try {
                store.DeleteValue(section);
                store.CloseKey();
            } catch (const std::exception&) {
            }
            return;
        }
        if (!store.OpenKey(FPath + u'\\' + section, false)) return;
        const QStringList valueNames = store.GetValueNames();
        const QSet<QString> names(valueNames.begin(), valueNames.end());
        std::string text;
        qint64 count = 0;
        for (; names.contains(LineName(count)); ++count) {
            const QByteArray line = store.ReadString(LineName(count)).toUtf8();
            if (text.size() + static_cast<size_t>(line.size()) + 1 > kMaxStoredTextBytes) return;
            if (count > 0) text += '\n';
            text.append(line.constData(), static_cast<size_t>(line.size()));
        }
        if (count == 0) return;
        ApplyText(storage, text);
    } catch (const std::exception&) {
        // Loading never shows a message: the window keeps what it has.
    }
}

// --- storage -----------------------------------------------------------------------------

TPropStorageEh::TPropStorageEh(QWidget* form) : QObject(form), FForm(form) {
    setObjectName(QStringLiteral("Storage"));
    // Component names in the user's locale order, without regard to case; names the locale
    // cannot tell apart keep an order all the same.
    auto collator = std::make_shared<QCollator>();
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    FStoredProps.SetCompare([collator](std::string_view a, std::string_view b) {
        const int byLocale = collator->compare(FromUtf8(a), FromUtf8(b));
        return byLocale != 0 ? byLocale : CompareTextAscii(a, b);
    });
    ScreenPixelsPerInch = [](const QWidget* w) {
        const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
        return screen ? qRound(screen->logicalDotsPerInch()) : 96;
    };
    OnSaveError = [](TPropStorageEh* sender, const QString& message) {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QWidget* parent = sender->Form() && sender->Form()->isVisible() ? sender->Form() : nullptr;
            QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
        } else {
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        }
    };
    form->installEventFilter(this);
}

TPropStorageEh::~TPropStorageEh() {
    if (FForm) FForm->removeEventFilter(this);
}

void TPropStorageEh::SetStoredProps(const QStringList& paths) {
    FStoredProps.Clear();
    for (const QString& path : paths) FStoredProps.Add(path.toStdString());
}

void TPropStorageEh::LoadProperties() {
    if (BeforeLoadProps) BeforeLoadProps(this);
    FSaved = false;
    FSaveFailed = false;
    if (FStorageManager) FStorageManager->ReadProperties(*this);
    if (AfterLoadProps) AfterLoadProps(this);
}

void TPropStorageEh::SaveProperties() {
    if (BeforeSaveProps) BeforeSaveProps(this);
    if (FStorageManager) FStorageManager->WriteProperties(*this);
    FSaved = true;
    if (AfterSaveProps) AfterSaveProps(this);
}

void TPropStorageEh::SaveReportingErrors() {
    try {
        SaveProperties();
    } catch (const std::exception& e) {
        // Shown once: the destructor does not try again and show the same error twice.
        FSaveFailed = true;
        if (OnSaveError) OnSaveError(this, QString::fromUtf8(e.what()));
    }
}

void TPropStorageEh::FormShow() {
    if (FActive) {
        try {
            LoadProperties();
        } catch (const std::exception&) {
            // Never a message while loading; the window shows all the same.
        }
    }
    const TFormPositionEh position = FormPosition(FForm);
    if (position != TFormPositionEh::Designed && !(FForm->windowState() & kNotNormal)) {
        const QScreen* primary = QGuiApplication::primaryScreen();
        if (primary) {
            const QRect area = position == TFormPositionEh::ScreenCenter ? primary->availableGeometry()
                                                                         : primary->availableVirtualGeometry();
            QRect rect = FForm->geometry();
            rect.moveCenter(area.center());
            FForm->setGeometry(rect);
        }
    }
}

void TPropStorageEh::FormDestroy() {
    if (FActive && !FSaved && !FSaveFailed) SaveReportingErrors();
}

bool TPropStorageEh::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FForm) return false;
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        FormShow();
        return false;  // the window's own show handling follows
    }
    if (event->type() == QEvent::Close && !FInClose) {
        // The window's own close handling decides first; the properties are saved only when
        // it lets the window close.
        FInClose = true;
        static_cast<QObject*>(FForm)->event(event);
        FInClose = false;
        if (event->isAccepted() && FActive && FForm->testAttribute(Qt::WA_WState_Created)) SaveReportingErrors();
        return true;
    }
    return false;
}

}  // namespace pictavo
