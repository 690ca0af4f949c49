// The plug-in's own user-interface thread. A host cannot pump a display connection it does not know, so the
// plug-in's windows live on a thread of its own: instances are built and destroyed there, and window requests
// from the host are queued to it. Between tasks the thread runs the window framework's message loop, which a
// new task wakes. The thread starts with the first task and ends once its queue is empty and nothing keeps it
// (the last instance is gone); a later task starts it again.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sirrel {

class UiThread {
public:
    // `keepAlive` is asked on the thread after each task with an empty queue.
    explicit UiThread(std::function<bool()> keepAlive) : keepAlive_(std::move(keepAlive)) {}
    // Runs what is still queued, then ends the thread.
    ~UiThread();
    UiThread(const UiThread &) = delete;
    UiThread &operator=(const UiThread &) = delete;

    // Runs `task` on the thread and waits for it; runs it at once when called from the thread itself.
    void Run(const std::function<void()> &task);
    // Queues `task` behind everything queued before it.
    void Post(std::function<void()> task);
    bool OnThread();

private:
    void Loop();
    // Dispatches window messages until a task is posted.
    static void WaitForTask();

    std::function<bool()> keepAlive_;
    std::mutex lock_;
    std::deque<std::function<void()>> queue_;
    std::thread thread_;
    std::thread::id threadId_;
    bool running_ = false;
    bool stopping_ = false;
};

} // namespace sirrel
