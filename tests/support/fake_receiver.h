// A receiver as the host describes it (ReceiverInfo at its offsets) and a data folder of its own, named to the
// plug-in through the environment: what every program that drives the plug-in like a host needs.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "host/receiver_description.h"

namespace fake {

using Receiver = sirrel::ReceiverDescription;

inline const char *const kMaker = "Korvanda Communications";

// A data folder of its own for each test or run, named to the plug-in through the environment; no registry file.
class DataFolder {
public:
    DataFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-host-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        Keep("KEL_PLUGIN_PATH", pluginPath_);
        Keep("KEL_REGISTRY", registry_);
        setenv("KEL_PLUGIN_PATH", path_.c_str(), 1);
        setenv("KEL_REGISTRY", (path_ + "/no-registry.ini").c_str(), 1);
    }
    ~DataFolder()
    {
        // Put back what the program had, so that the next plug-in load outside a DataFolder still finds the
        // program's own folders rather than the user's.
        Restore("KEL_PLUGIN_PATH", pluginPath_);
        Restore("KEL_REGISTRY", registry_);
        std::filesystem::remove_all(path_);
    }
    DataFolder(const DataFolder &) = delete;
    DataFolder &operator=(const DataFolder &) = delete;
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    const std::string &Path() const { return path_; }

private:
    static void Keep(const char *name, std::optional<std::string> &saved)
    {
        if (const char *value = getenv(name))
            saved = value;
    }
    static void Restore(const char *name, const std::optional<std::string> &saved)
    {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

    std::string path_;
    std::optional<std::string> pluginPath_, registry_;
};

} // namespace fake
