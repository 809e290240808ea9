#include "app/CommandRunner.h"

#include "app/ProgramIcon.h"

#include "widgets/PanelStatusBar.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace {

const char* const kReadyText = QT_TRANSLATE_NOOP("TCommandRunner", "就绪");

// An error that carries no message of its own.
const char* const kUnknownError = QT_TRANSLATE_NOOP("TCommandRunner", "未知错误");

}  // namespace

QString ReadyText() { return QCoreApplication::translate("TCommandRunner", kReadyText); }

void SetBusyCursor() {
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void SetDefaultCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

TCommandRunner::TCommandRunner(QWidget* owner, pictavo::TPanelStatusBar* statusBar)
    : FOwner(owner), FStatusBar(statusBar) {
    ShowError = [this](const QString& message) {
        QMessageBox::critical(FOwner, QString::fromUtf8(kProgramName), message);
    };
}

void TCommandRunner::Run(const TCommandSteps& steps, const std::function<void()>& work) {
    ShowBusy(steps);
    Complete(steps, work);
}

void TCommandRunner::ShowReadyOrStillBusy(const QString& ready) {
    if (!FBackground.empty()) {
        FStatusBar->SetPanelText(1, FBackground.back().BusyText);
        SetBusyCursor();
        return;
    }
    FStatusBar->SetPanelText(1, ready);
    SetDefaultCursor();
}

void TCommandRunner::Abandon(pictavo::TWorkChannel& channel) {
    channel.Abandon();
    const auto gone = std::erase_if(FBackground, [&](const TBackground& b) { return b.Channel == &channel; });
    if (gone > 0) ShowReadyOrStillBusy(ReadyText());
}

void TCommandRunner::ShowBusy(const TCommandSteps& steps) {
    if (steps.BusyText.isEmpty()) return;
    FStatusBar->SetPanelText(1, steps.BusyText);
    FStatusBar->RepaintNow();
    SetBusyCursor();
}

void TCommandRunner::Complete(const TCommandSteps& steps, const std::function<void()>& work) {
    const bool showsState = !steps.BusyText.isEmpty();
    QString error;
    try {
        if (showsState && steps.BeginUpdate) steps.BeginUpdate();
        work();
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
        if (error.isEmpty()) error = QCoreApplication::translate("TCommandRunner", kUnknownError);
    } catch (...) {
        error = QCoreApplication::translate("TCommandRunner", kUnknownError);
    }
    if (showsState) {
        try {
            if (steps.EndUpdate) steps.EndUpdate();
            ShowReadyOrStillBusy(steps.ReadyText ? steps.ReadyText() : ReadyText());
            if (steps.AfterReady) steps.AfterReady();
        } catch (const std::exception& e) {
            if (error.isEmpty()) error = QString::fromUtf8(e.what());
            ShowReadyOrStillBusy(ReadyText());
        }
    }
    if (!error.isEmpty() && ShowError) ShowError(error);
}
