// The decoder plug-in loaded as a host loads it: by dlopen, through its four entry points only.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_interface.h"

namespace sirrel {

class PluginLibrary {
public:
    using Init = uint32_t (*)(int32_t, uint32_t, char *, uint32_t);
    using Start = int32_t (*)(uint32_t, const void *, HostCallback, uint32_t *);
    using Notify = void (*)(uint32_t, uint32_t, uint32_t, uint32_t, void *);
    using Done = void (*)();

    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    // On failure `error` names the file and the reason.
    bool Load(const std::string &path, std::string &error);

    Init init = nullptr;
    Start start = nullptr;
    Notify notify = nullptr;
    Done done = nullptr;

private:
    void *library_ = nullptr;
};

// libsirrel.so in the lib folder beside the folder of the running program.
std::string DefaultPluginPath();

} // namespace sirrel
