#include "platform/ComThread.h"

#include <objbase.h>

#include "platform/ComApartment.h"

namespace kesti::platform {
namespace {

thread_local unsigned long callingThread = 0; // 0: the current thread itself

} // namespace

unsigned long CallingThreadId() noexcept { return callingThread != 0 ? callingThread : GetCurrentThreadId(); }

CallingThreadScope::CallingThreadScope(unsigned long caller) noexcept : previous_(callingThread) { callingThread = caller; }

CallingThreadScope::~CallingThreadScope() { callingThread = previous_; }

ComThread::ComThread() : thread_([this] { Serve(); }) {}

ComThread::~ComThread() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (!thread_.joinable()) return;
    if (std::this_thread::get_id() == thread_.get_id()) thread_.detach(); // ends after this work
    else thread_.join();
}

void ComThread::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void ComThread::Serve() {
    const ComApartment apartment(COINIT_MULTITHREADED);
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return; // stopping, and nothing left to do
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work(); // a packaged task: what the work throws goes to its caller
    }
}

} // namespace kesti::platform
