#pragma once
// Work that would stop a dialog answering (probing a machine, listing its servers, browsing
// a server) runs on a thread of its own, in COM's multithreaded apartment, and what it found
// is handed back on the dialog's thread: the work returns a Finish, which the dialog runs
// when it takes kFinishedMessage. A dialog closed before the work ends never hears of it:
// the thread ends on its own and its Finish is dropped.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

namespace kesti::ui {

class BackgroundWork {
public:
    // Runs on the dialog's thread; may use the dialog.
    using Finish = std::function<void()>;
    // Runs on the work's thread; must use only what it owns, never the dialog.
    using Work = std::function<Finish()>;
    static constexpr UINT kFinishedMessage = WM_APP + 0x4B;

    BackgroundWork();
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // The dialog that is told (by kFinishedMessage) when a work has ended.
    void Attach(HWND dialog);
    // Forgets the dialog: the work still running is never finished.
    void Detach();
    // Starts the work on a thread of its own; when no thread can be started it runs here and
    // finishes at once, as if the dialog had waited for it.
    void Start(Work work, Finish ifItFails = {});
    // Runs the Finish of every work that has ended (on kFinishedMessage).
    void RunFinished();
    // How many works have started and not yet finished.
    std::size_t Running() const { return running_; }

private:
    // What the dialog and the works' threads share; it lives as long as either.
    struct Mailbox {
        std::mutex lock;
        HWND dialog = nullptr;
        std::vector<Finish> finished;
    };

    std::shared_ptr<Mailbox> mailbox_;
    std::size_t running_ = 0;
};

} // namespace kesti::ui
