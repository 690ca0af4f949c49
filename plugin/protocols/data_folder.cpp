#include "protocols/data_folder.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "orurt.h"

namespace sirrel {

namespace {

std::string WithSlash(std::string folder)
{
    if (folder.empty())
        return "./";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

std::string HomeFolder()
{
    std::string home = Environment("HOME");
    if (!home.empty())
        return home;
    if (const passwd *entry = getpwuid(getuid()))
        return entry->pw_dir ? entry->pw_dir : "";
    return "";
}

std::string FallbackFolder()
{
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = HomeFolder();
        // Without any home the files go beside the working folder rather than into the root.
        data = home.empty() ? std::string(".local/share") : WithSlash(home) + ".local/share";
    }
    return WithSlash(data) + "kel/";
}

} // namespace

std::string ResolveDataFolder()
{
    OruString value;
    OruString_Construct(&value);
    OruString_Set_FromRegistry(&value, ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath");
    std::string folder(value.Text ? value.Text : "", value.Length);
    OruString_Destruct(&value, 0);
    if (folder.empty())
        folder = Environment("KEL_PLUGIN_PATH");
    if (folder.empty())
        return FallbackFolder();
    return WithSlash(folder);
}

DataPaths DataPathsIn(const std::string &folder)
{
    DataPaths paths;
    paths.folder = WithSlash(folder);
    paths.help = paths.folder + "help/";
    paths.protocols = paths.folder + "SirrelSettings.dat";
    paths.configuration = paths.folder + "Sirrel_Config.dat";
    paths.soundCard = paths.folder + "SoundCard_Config.dat";
    paths.tables = paths.folder + "SirrelTables.dat";
    return paths;
}

std::string InstalledDataFolder()
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<const void *>(&InstalledDataFolder), &self) || !self.dli_fname)
        return "";
    std::error_code failed;
    const std::filesystem::path module = std::filesystem::canonical(self.dli_fname, failed);
    if (failed)
        return "";
    // lib/ or a multiarch lib/<triplet>/ (as /usr installs put it): share/ is one or two levels up.
    const std::filesystem::path near = module.parent_path().parent_path() / "share" / "kel";
    const std::filesystem::path far = module.parent_path().parent_path().parent_path() / "share" / "kel";
    const bool farOnly = !std::filesystem::is_directory(near, failed) && std::filesystem::is_directory(far, failed);
    return (farOnly ? far : near).string() + "/";
}

std::string HelpPage(const DataPaths &paths, const std::string &name)
{
    const std::string own = paths.help + name;
    std::error_code failed;
    if (std::filesystem::is_regular_file(own, failed))
        return own;
    return InstalledDataFolder() + "help/" + name;
}

} // namespace sirrel
