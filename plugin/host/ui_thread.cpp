#include "host/ui_thread.h"

#include <condition_variable>

#include "ui/oru_window.h"

namespace sirrel {

UiThread::~UiThread()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        if (running_)
            Platform().PostMessage(0, kMsgWake, 0, 0);
    }
    if (!thread_.joinable())
        return;
    // A process that exits from within one of the thread's own tasks cannot wait for it.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

bool UiThread::OnThread()
{
    std::lock_guard<std::mutex> hold(lock_);
    return running_ && threadId_ == std::this_thread::get_id();
}

void UiThread::Post(std::function<void()> task)
{
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(std::move(task));
    if (running_) {
        Platform().PostMessage(0, kMsgWake, 0, 0);
        return;
    }
    // The previous thread has left its loop for good; only its end remains to be collected.
    if (thread_.joinable())
        thread_.join();
    running_ = true;
    thread_ = std::thread(&UiThread::Loop, this);
    threadId_ = thread_.get_id();
}

void UiThread::Run(const std::function<void()> &task)
{
    if (OnThread()) {
        task();
        return;
    }
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;
    Post([&] {
        task();
        std::lock_guard<std::mutex> hold(doneLock);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock<std::mutex> hold(doneLock);
    doneSignal.wait(hold, [&] { return done; });
}

void UiThread::WaitForTask()
{
    PlatformMessage message;
    while (Platform().NextMessage(message, true)) {
        if (message.window == 0 && message.message == kMsgWake)
            return;
        // The thread's life follows its instances, not its windows: quit is not for this loop.
        if (message.window == 0 && message.message == kMsgQuit)
            continue;
        DispatchPlatformMessage(message);
    }
}

void UiThread::Loop()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> hold(lock_);
            if (queue_.empty()) {
                if (stopping_) {
                    running_ = false;
                    return;
                }
                hold.unlock();
                WaitForTask();
                continue;
            }
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
        std::lock_guard<std::mutex> hold(lock_);
        if (queue_.empty() && (stopping_ || !keepAlive_())) {
            running_ = false;
            return;
        }
    }
}

} // namespace sirrel
