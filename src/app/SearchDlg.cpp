#include "app/SearchDlg.h"

#include "app/DialogFlags.h"
#include "widgets/PropStorageEh.h"
#include "widgets/UiFonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

using namespace pictavo;

namespace {

constexpr int kClientWidth = 343, kClientHeight = 128;

}  // namespace

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= u' ') ++first;
    while (last > first && text[last - 1].unicode() <= u' ') --last;
    return text.mid(first, last - first);
}

Twnd_pv_Search::Twnd_pv_Search(QWidget* owner, TRegPropStorageManEh* storageManager)
    : QDialog(owner, kDialogFlags | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("wnd_pv_Search"));
    setWindowTitle(tr("搜索"));
    setFont(FormFont());
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(12, 12, 32, 32);
    Image1->setPixmap(
        QIcon::fromTheme(QStringLiteral("system-search"), style()->standardIcon(QStyle::SP_FileDialogContentsView))
            .pixmap(32, 32));

    Label1 = new QLabel(tr("文件类型:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(56, 12, 64, 24);

    cbMask = new QComboBox(this);
    cbMask->setObjectName(QStringLiteral("cbMask"));
    cbMask->setEditable(true);
    cbMask->setInsertPolicy(QComboBox::NoInsert);
    cbMask->addItems({QStringLiteral("*.*"), QStringLiteral("*.ico"), QStringLiteral("*.icl"), QStringLiteral("*.exe"),
                      QStringLiteral("*.dll")});
    cbMask->setCurrentText(QStringLiteral("*.*"));
    cbMask->setGeometry(124, 12, 207, 24);
    Label1->setBuddy(cbMask);

    auto check = [this](const char* name, const QString& caption, int top) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(QLatin1String(name));
        box->setChecked(true);
        box->setGeometry(56, top, 180, 22);
        return box;
    };
    cbxSub = check("cbxSub", tr("包含子目录"), 44);
    cbxIgnore = check("cbxIgnore", tr("忽略重复的文件"), 68);
    cbxClear = check("cbxClear", tr("清除先前选定的对象"), 92);

    bAction = new QPushButton(tr("搜索"), this);
    bAction->setObjectName(QStringLiteral("bAction"));
    bAction->setDefault(true);
    bAction->setGeometry(kClientWidth - 87, kClientHeight - 36, 75, 25);
    connect(bAction, &QPushButton::clicked, this, [this] { bActionClick(); });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    SetFormPosition(this, TFormPositionEh::ScreenCenter);
    Storage = new TPropStorageEh(this);
    Storage->SetSection(QStringLiteral("Search"));
    Storage->SetStorageManager(storageManager);
    Storage->SetStoredProps({QStringLiteral("<P>.Height"), QStringLiteral("<P>.Left"),
                             QStringLiteral("<P>.PixelsPerInch"), QStringLiteral("<P>.Top"),
                             QStringLiteral("<P>.Width"), QStringLiteral("<P>.WindowState")});
}

Twnd_pv_Search::~Twnd_pv_Search() { Storage->FormDestroy(); }

void Twnd_pv_Search::bActionClick() {
    if (FRunning)
        emit StopRequested();  // the run's end comes back through SetRunning(false)
    else
        emit StartRequested(TrimBlanks(cbMask->currentText()), cbxSub->isChecked());
}

bool Twnd_pv_Search::SkipDuplicates() const { return cbxIgnore->isChecked(); }

bool Twnd_pv_Search::ClearOnBegin() const { return cbxClear->isChecked(); }

void Twnd_pv_Search::SetRunning(bool running) {
    FRunning = running;
    bAction->setText(running ? tr("停止") : tr("开始"));
}

bool Twnd_pv_Search::eventFilter(QObject* watched, QEvent* event) {
    // A key in a popup of the dialog (the mask combo box's dropped-down list) is the popup's:
    // Escape closes just the list and Enter chooses in it.
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(key->key(), key->modifiers())) return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool Twnd_pv_Search::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const bool plain = !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    if (key == Qt::Key_Escape) {
        if (plain) close();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        bAction->click();
        return true;
    }
    return false;
}
