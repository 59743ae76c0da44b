#include "ui/BackgroundWork.h"

#include <exception>
#include <string>

#include "base/Exception.h"
#include "base/Log.h"
#include "platform/ComApartment.h"
#include "platform/PinnedThread.h"

namespace kesti::ui {
namespace {

void LogEscaped(const std::string& reason) noexcept {
    try {
        LogMessage(LogError, "The configuration dialog's background work failed: " + reason);
    } catch (...) {
        // Nothing is left to tell it with.
    }
}

// The work's Finish; a work that throws finishes with `ifItFails`, so that the dialog takes
// back what it set up for the work (a "Searching..." item, a disabled button).
BackgroundWork::Finish RunGuarded(const BackgroundWork::Work& work, const BackgroundWork::Finish& ifItFails) noexcept {
    try {
        const platform::ComApartment apartment(COINIT_MULTITHREADED);
        return work();
    } catch (const Exception& e) {
        LogEscaped(e.Message());
    } catch (const std::exception& e) {
        LogEscaped(e.what());
    } catch (...) {
        LogEscaped("unknown error");
    }
    try {
        return ifItFails;
    } catch (...) {
        return {}; // not even the fallback could be copied
    }
}

} // namespace

BackgroundWork::BackgroundWork() : mailbox_(std::make_shared<Mailbox>()) {}

BackgroundWork::~BackgroundWork() { Detach(); }

void BackgroundWork::Attach(HWND dialog) {
    std::lock_guard<std::mutex> guard(mailbox_->lock);
    mailbox_->dialog = dialog;
}

void BackgroundWork::Detach() {
    std::vector<Finish> dropped;
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        mailbox_->dialog = nullptr;
        dropped.swap(mailbox_->finished);
    }
    running_ = 0;
}

void BackgroundWork::Start(Work work, Finish ifItFails) {
    ++running_;
    const platform::UniqueHandle thread =
        platform::StartPinnedThread([mailbox = mailbox_, work, ifItFails]() -> DWORD {
            Finish finish = RunGuarded(work, ifItFails);
            std::lock_guard<std::mutex> guard(mailbox->lock);
            if (mailbox->dialog == nullptr) return 0; // the dialog is gone: nobody to tell
            mailbox->finished.push_back(std::move(finish));
            PostMessageW(mailbox->dialog, kFinishedMessage, 0, 0);
            return 0;
        });
    if (thread) return;
    --running_;
    if (Finish finish = RunGuarded(work, ifItFails)) finish();
}

void BackgroundWork::RunFinished() {
    std::vector<Finish> finished;
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        finished.swap(mailbox_->finished);
    }
    for (Finish& finish : finished) {
        if (running_ > 0) --running_;
        if (finish) finish();
    }
}

} // namespace kesti::ui
