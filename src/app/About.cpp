#include "app/About.h"

#include "app/DialogFlags.h"
#include "app/ProgramIcon.h"
#include "base/SystemInfo.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

namespace {

QLabel* InfoLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString OperatingSystemText() {
    return QSysInfo::prettyProductName() + QCoreApplication::translate("Twnd_pv_About", ", 内核 ") +
           QSysInfo::kernelVersion();
}

}  // namespace

Twnd_pv_About::Twnd_pv_About(QWidget* parent) : QDialog(parent, kDialogFlags | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("wnd_pv_About"));
    setWindowTitle(tr("关于 ") + QString::fromUtf8(kProgramName));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    lbProgram = new QLabel(QString::fromUtf8(kProgramName), this);
    QFont programFont = lbProgram->font();
    programFont.setBold(true);
    if (programFont.pointSizeF() > 0) programFont.setPointSizeF(programFont.pointSizeF() * 1.5);
    lbProgram->setFont(programFont);
    lbVersion = InfoLabel(tr("版本 ") + QStringLiteral(PICTAVO_VERSION), this);

    auto* names = new QVBoxLayout;
    names->addWidget(lbProgram);
    names->addWidget(lbVersion);
    names->addStretch();
    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addSpacing(12);
    head->addLayout(names, 1);

    // The machine, as a bug report would want it described.
    lbOS = InfoLabel(OperatingSystemText(), this);
    lbProcessor = InfoLabel(QString::fromStdString(pictavo::ProcessorText(pictavo::ReadProcessorInfo())), this);
    lbMemory = InfoLabel(QString::fromStdString(pictavo::MemoryText(pictavo::ReadMemoryInfo())), this);
    auto* machine = new QFormLayout;
    machine->addRow(tr("操作系统:"), lbOS);
    machine->addRow(tr("处理器:"), lbProcessor);
    machine->addRow(tr("内存:"), lbMemory);

    lbCredits = InfoLabel(
        QString::fromUtf8(kProgramName) + tr(" 由 Pictavo 开发者编写.\n"
                                             "使用的程序库: Qt (窗口界面), libpng (PNG 图像), zlib (数据压缩).\n"
                                             "感谢它们的作者."),
        this);
    // A credits line longer than the lines above wraps instead of widening the box.
    lbCredits->setWordWrap(true);
    lbCredits->setMinimumWidth(400);

    auto* buttons = new QDialogButtonBox(this);
    btOK = buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    btOK->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addSpacing(8);
    layout->addLayout(machine);
    layout->addSpacing(8);
    layout->addWidget(lbCredits);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const std::pair<QWidget*, const char*> named[] = {
        {lbProgram, "lbProgram"}, {lbVersion, "lbVersion"}, {lbOS, "lbOS"}, {lbProcessor, "lbProcessor"},
        {lbMemory, "lbMemory"},   {lbCredits, "lbCredits"}, {btOK, "btOK"}};
    for (const auto& [widget, name] : named) widget->setObjectName(QLatin1String(name));
}
