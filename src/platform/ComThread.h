#pragma once
// A thread of the plug-in's own in COM's multithreaded apartment, on which a client runs all
// of its COM work. Whatever thread the host calls from, and whether or not the thread that
// made the client still runs, the client's COM objects live in one apartment that outlives
// them, and no host thread's COM state is touched.
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace kesti::platform {

// The id of the thread a record should name: inside work that a ComThread runs for another
// thread, the thread that gave the work (the host's thread, whose calls a support engineer
// follows in the log); elsewhere the current thread.
unsigned long CallingThreadId() noexcept;

// Names `caller` as the calling thread of the current thread while it lives.
class CallingThreadScope {
public:
    explicit CallingThreadScope(unsigned long caller) noexcept;
    ~CallingThreadScope();
    CallingThreadScope(const CallingThreadScope&) = delete;
    CallingThreadScope& operator=(const CallingThreadScope&) = delete;

private:
    unsigned long previous_;
};

class ComThread {
public:
    // Starts the thread; it enters the multithreaded apartment before any work runs.
    ComThread();
    // Runs the work already given, leaves COM and ends the thread. Never throws.
    ~ComThread();
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;

    // Runs `work` on the thread and waits for it: its result is returned and what it throws
    // is thrown here. Work given from the thread itself runs at once.
    template <class Work>
    auto Run(Work&& work) -> decltype(work()) {
        using Result = decltype(work());
        if (std::this_thread::get_id() == thread_.get_id()) return work();
        const unsigned long caller = CallingThreadId();
        std::packaged_task<Result()> task([&work, caller]() -> Result {
            const CallingThreadScope scope(caller);
            return work();
        });
        std::future<Result> done = task.get_future();
        Post([&task] { task(); });
        return done.get();
    }

private:
    void Post(std::function<void()> work);
    void Serve();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_; // under lock_
    bool stopping_ = false;                   // under lock_
    std::thread thread_;                      // last: starts when the members above are ready
};

} // namespace kesti::platform
