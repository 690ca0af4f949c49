// A thread made suspended and started on request. When the system cannot make one, the user is asked whether to
// try again, and creation is retried for as long as the answer is "Yes".
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace sirrel {

class Oru_Thread {
public:
    using Function = void (*)(void *argument);
    // What makes the native thread; tests replace it to make creation fail.
    using Starter = std::function<std::thread(std::function<void()>)>;

    Oru_Thread(Function function, void *argument, Starter starter = {});
    // Waits for the thread when it was started; an unstarted thread is released and ends without running.
    ~Oru_Thread();
    Oru_Thread(const Oru_Thread &) = delete;
    Oru_Thread &operator=(const Oru_Thread &) = delete;

    bool Created() const { return thread_.joinable(); }
    std::thread::id Id() const { return thread_.get_id(); }
    void Resume();

private:
    void Body(Function function, void *argument);

    std::thread thread_;
    std::mutex lock_;
    std::condition_variable released_;
    bool resume_ = false;
    bool run_ = false;
};

} // namespace sirrel
