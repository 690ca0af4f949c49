// Linked into every test program: before any test runs, the data folder, the configuration folder and the
// registry file are named into a temporary folder of this run, so the protocols, settings and registry of
// whoever runs the tests can neither change a result nor be changed by one. Child processes inherit them, and
// the headless display.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class PrivateFolders {
public:
    PrivateFolders()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-tests-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        root_ = pattern;
        std::filesystem::create_directories(root_ / "data");
        std::filesystem::create_directories(root_ / "config");
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        // A registry file that does not exist: no SearchPath, so the data folder is the one above.
        setenv("KEL_REGISTRY", (root_ / "config" / "registry.ini").c_str(), 1);
        unsetenv("KEL_PLUGIN_PATH");
        // Windows stay in memory: no test waits for someone at a desktop to answer a dialog.
        setenv("SIRREL_UI", "headless", 1);
    }
    ~PrivateFolders()
    {
        // A forked child that exits normally must not take the folder from its parent.
        if (getpid() == owner_) {
            std::error_code ignored;
            std::filesystem::remove_all(root_, ignored);
        }
    }
    PrivateFolders(const PrivateFolders &) = delete;
    PrivateFolders &operator=(const PrivateFolders &) = delete;

private:
    std::filesystem::path root_;
    pid_t owner_ = getpid();
};

const PrivateFolders folders;

} // namespace
