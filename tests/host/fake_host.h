// A stand-in for the receiver-control host: loads libsirrel.so, answers its call-back (recording every call,
// refusing what it is told to) and hands it receivers (fake_receiver.h). One host is active at a time, since
// the call-back carries no context. The plug-in calls back from its own thread too: `calls` is read after a call that
// waits for the plug-in (StartInstance, Close, Sync).
#pragma once

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fake_receiver.h"
#include "host/host_interface.h"

namespace fake {

struct Call {
    uint32_t window;
    uint32_t code;
    uint32_t first;
    uint32_t second;
    std::vector<uint8_t> data; // the bytes the pointer showed, as far as the message defines them
};

class Host {
public:
    using Init = uint32_t (*)(int32_t, uint32_t, char *, uint32_t);
    using Start = int32_t (*)(uint32_t, const void *, sirrel::HostCallback, uint32_t *);
    using Notify = void (*)(uint32_t, uint32_t, uint32_t, uint32_t, void *);
    using Done = void (*)();

    Host()
    {
        library_ = dlopen(SIRREL_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!library_)
            ADD_FAILURE() << dlerror();
        init = reinterpret_cast<Init>(Symbol("kelPluginInit"));
        start = reinterpret_cast<Start>(Symbol("kelPluginStart"));
        notify = reinterpret_cast<Notify>(Symbol("kelPluginNotify"));
        done = reinterpret_cast<Done>(Symbol("kelPluginDone"));
        active_ = this;
    }
    ~Host()
    {
        Unload();
        active_ = nullptr;
    }
    void Unload()
    {
        if (library_)
            dlclose(library_);
        library_ = nullptr;
    }
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    void *Symbol(const char *name) { return library_ ? dlsym(library_, name) : nullptr; }

    int32_t StartInstance(uint32_t id, const Receiver &receiver, uint32_t *options = nullptr)
    {
        uint32_t word = 0;
        return start(id, receiver.Info(), &Host::Callback, options ? options : &word);
    }

    void SendDspEvent(uint32_t id, uint32_t key) { notify(id, sirrel::kNotifyDspEvent, 0, 0, &key); }

    // Waits until the plug-in's thread has done everything asked of it so far: a start is run there in
    // turn, and one for a receiver of nobody's make is refused at once.
    void Sync()
    {
        Receiver nobody("", "", "");
        EXPECT_EQ(start(0, nobody.Info(), &Host::Callback, nullptr), -1);
    }
    // Window requests go to the plug-in's thread; this one returns when the window has gone.
    void Close(uint32_t id)
    {
        notify(id, sirrel::kNotifyClose, 0, 0, nullptr);
        Sync();
    }

    // A 16-bit audio block with its header in front, as the host lays it out.
    static std::vector<uint8_t> AudioBlock(uint32_t rate, uint32_t bits, uint32_t channels,
                                           const std::vector<int16_t> &samples)
    {
        const uint32_t header[4] = {rate, bits, channels, uint32_t(samples.size() / channels)};
        std::vector<uint8_t> block(16 + samples.size() * 2);
        std::memcpy(block.data(), header, 16);
        std::memcpy(block.data() + 16, samples.data(), samples.size() * 2);
        return block;
    }

    std::vector<Call> calls;
    std::set<uint32_t> refuse; // message codes answered with a refusal
    // Runs after each call is recorded, on the thread that called back, as a host reacting at once would.
    std::function<void(const Call &)> onCall;
    int32_t dspHandle = 0x1234;

    Init init = nullptr;
    Start start = nullptr;
    Notify notify = nullptr;
    Done done = nullptr;

    std::vector<uint32_t> Codes() const
    {
        std::vector<uint32_t> codes;
        for (const Call &c : calls)
            codes.push_back(c.code);
        return codes;
    }

private:
    static int32_t Callback(uint32_t window, uint32_t code, uint32_t first, uint32_t second, void *pointer)
    {
        Host *host = active_;
        if (!host)
            return sirrel::kHostRefused;
        Call call{window, code, first, second, {}};
        if (pointer && code != sirrel::kHostDspUse && code != sirrel::kHostDspStartStream &&
            code != sirrel::kHostDspStop && code != sirrel::kHostDspClose) {
            const auto *bytes = static_cast<const uint8_t *>(pointer);
            call.data.assign(bytes, bytes + second);
        }
        int32_t result;
        {
            std::lock_guard<std::mutex> hold(host->lock_);
            host->calls.push_back(call);
            result = host->refuse.count(code)       ? sirrel::kHostRefused
                     : code == sirrel::kHostDspOpen ? host->dspHandle
                                                    : 0;
        }
        if (host->onCall)
            host->onCall(call);
        return result;
    }

    void *library_ = nullptr;
    std::mutex lock_;
    static inline Host *active_ = nullptr;
};

} // namespace fake
