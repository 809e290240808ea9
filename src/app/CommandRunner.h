// The one way the window runs a command: the busy step, the work, the ready step (also after
// an error), and then the error box for any error the work raised. No error leaves a command
// for the event loop.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace pictavo {
class TPanelStatusBar;
}

// What a command shows around its work. Without a busy text the command shows its state
// itself (a folder listing does so in its run handlers): there is no busy or ready step.
struct TCommandSteps {
    QString BusyText;                   // panel 1 while the command works
    std::function<void()> BeginUpdate;  // the list the command fills stops repainting ...
    std::function<void()> EndUpdate;    // ... and resumes
    std::function<QString()> ReadyText;  // panel 1 afterwards; "就绪" when not given
    std::function<void()> AfterReady;    // tab captions with their new counts, a tab to the front
};

class TCommandRunner {
public:
    // Errors are shown over `owner`; panel 1 of `statusBar` shows the busy and ready texts.
    TCommandRunner(QWidget* owner, pictavo::TPanelStatusBar* statusBar);

    void Run(const TCommandSteps& steps, const std::function<void()>& work);
    // A command without busy and ready steps.
    void Run(const std::function<void()>& work) { Run(TCommandSteps{}, work); }

    // Shows an error: the standard error box titled "Quarn Pictavo".
    std::function<void(const QString& message)> ShowError;

private:
    QWidget* FOwner;
    pictavo::TPanelStatusBar* FStatusBar;
};

// The screen cursor of a long command: the hourglass, and back to the default (however many
// times the hourglass was set).
void SetBusyCursor();
void SetDefaultCursor();

// Panel 1 when a command has ended.
extern const char* const kReadyText;
