#include "ui/oru_thread.h"

#include <system_error>

#include "ui/message_box.h"

namespace sirrel {

Oru_Thread::Oru_Thread(Function function, void *argument, Starter starter)
{
    if (!starter)
        starter = [](std::function<void()> body) { return std::thread(std::move(body)); };
    for (;;) {
        try {
            thread_ = starter([this, function, argument] { Body(function, argument); });
            return;
        } catch (const std::system_error &) {
            if (ShowMessageBox(nullptr, "Oru_Thread Fatal Error", "Cannot create thread. Try again?", 0x32) != kBoxYes)
                return;
        }
    }
}

Oru_Thread::~Oru_Thread()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        resume_ = true;
    }
    released_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Oru_Thread::Resume()
{
    std::lock_guard<std::mutex> hold(lock_);
    resume_ = true;
    run_ = true;
    released_.notify_all();
}

void Oru_Thread::Body(Function function, void *argument)
{
    {
        std::unique_lock<std::mutex> hold(lock_);
        released_.wait(hold, [this] { return resume_; });
        if (!run_)
            return;
    }
    function(argument);
}

} // namespace sirrel
