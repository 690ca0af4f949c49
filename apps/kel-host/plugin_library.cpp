#include "plugin_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace sirrel {

PluginLibrary::~PluginLibrary()
{
    if (library_)
        dlclose(library_);
}

bool PluginLibrary::Load(const std::string &path, std::string &error)
{
    // dlopen's own message for a missing file is about search paths; the user wants to hear the file is absent.
    if (access(path.c_str(), R_OK) != 0) {
        error = "cannot load the plug-in '" + path + "': " + std::strerror(errno);
        return false;
    }
    // The plug-in stays mapped until the process ends, and with it the font libraries it pulled in: their
    // lifelong caches are then still theirs at exit, where a leak check recognises them.
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library_) {
        error = "cannot load the plug-in '" + path + "': " + dlerror();
        return false;
    }
    init = reinterpret_cast<Init>(dlsym(library_, "kelPluginInit"));
    start = reinterpret_cast<Start>(dlsym(library_, "kelPluginStart"));
    notify = reinterpret_cast<Notify>(dlsym(library_, "kelPluginNotify"));
    done = reinterpret_cast<Done>(dlsym(library_, "kelPluginDone"));
    if (!init || !start || !notify || !done) {
        error = "'" + path + "' is not a decoder plug-in: it lacks the entry points kelPluginInit, kelPluginStart, " +
                "kelPluginNotify and kelPluginDone";
        return false;
    }
    return true;
}

std::string DefaultPluginPath()
{
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed)
        return "libsirrel.so";
    // Installed, the library folder may be a multiarch one (lib/x86_64-linux-gnu); the build tree has lib/.
    const std::filesystem::path prefix = program.parent_path().parent_path();
    const std::filesystem::path installed = prefix / KEL_HOST_LIBDIR / "libsirrel.so";
    return (std::filesystem::exists(installed, failed) ? installed : prefix / "lib" / "libsirrel.so").string();
}

} // namespace sirrel
