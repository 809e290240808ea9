// The one way the window runs a command: the busy step, the work, the ready step (also after
// an error), and then the error box for any error the work raised. No error leaves a command
// for the event loop.
#pragma once

#include "widgets/WorkService.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace pictavo {
class TPanelStatusBar;
}

// What a command shows around its work. Without a busy text the command shows its state
// itself (a folder listing does so in its run handlers): there is no busy or ready step.
struct TCommandSteps {
    QString BusyText;                    // panel 1 while the command works
    std::function<void()> BeginUpdate;   // the list the command fills stops repainting ...
    std::function<void()> EndUpdate;     // ... and resumes
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

    // The same with the work done on the work service through `channel`, so that the window
    // answers meanwhile: the busy step now; `work` fills a Result there; back on the window's
    // thread, `show` shows what it made (also what it made before an error), then the ready step
    // and the error box follow. Work abandoned through Abandon shows nothing, and the work's
    // cancel flag (the channel's, handed to `work`) is set so that its reads stop. While one
    // background command is on its way, another's ready step leaves its busy text and cursor
    // showing.
    using TCancel = std::atomic<bool>;
    template <typename Result>
    void RunInBackground(const TCommandSteps& steps, pictavo::TWorkChannel& channel,
                         std::function<void(Result&, const TCancel&)> work, std::function<void(Result&)> show) {
        ShowBusy(steps);
        const uint64_t id = ++FLastBackground;
        FBackground.push_back({id, &channel, steps.BusyText});
        channel.Post([this, id, steps, cancel = channel.CancelFlag(), work = std::move(work),
                      show = std::move(show)]() -> std::function<void()> {
            auto result = std::make_shared<Result>();
            std::exception_ptr error;
            try {
                work(*result, *cancel);
            } catch (...) {
                error = std::current_exception();
            }
            return [this, id, steps, show, result, error] {
                std::erase_if(FBackground, [id](const TBackground& b) { return b.Id == id; });
                Complete(steps, [&] {
                    show(*result);
                    if (error) std::rethrow_exception(error);
                });
            };
        });
    }

    // Abandons the work on `channel` (see TWorkChannel::Abandon): the commands of it end without a
    // ready step; panel 1 and the cursor then show the background command still on its way,
    // or "就绪" and the default cursor when none is.
    void Abandon(pictavo::TWorkChannel& channel);
    // Whether a background command is on its way.
    bool Busy() const { return !FBackground.empty(); }

    // Shows an error: the standard error box titled "Quarn Pictavo".
    std::function<void(const QString& message)> ShowError;

private:
    // Panel 1's busy text and the hourglass, when the command shows its state.
    void ShowBusy(const TCommandSteps& steps);
    // The work (between BeginUpdate and EndUpdate), the ready step and the error box.
    void Complete(const TCommandSteps& steps, const std::function<void()>& work);

    // Panel 1 and the cursor once a command has ended: the busy text of the latest background
    // command still on its way, else `ready` and the default cursor.
    void ShowReadyOrStillBusy(const QString& ready);

    // A background command posted and not yet ended or abandoned.
    struct TBackground {
        uint64_t Id;
        const pictavo::TWorkChannel* Channel;
        QString BusyText;
    };

    QWidget* FOwner;
    pictavo::TPanelStatusBar* FStatusBar;
    std::vector<TBackground> FBackground;
    uint64_t FLastBackground = 0;
};

// The screen cursor of a long command: the hourglass, and back to the default (however many
// times the hourglass was set).
void SetBusyCursor();
void SetDefaultCursor();

// Panel 1 when a command has ended, in the window's language.
QString ReadyText();
