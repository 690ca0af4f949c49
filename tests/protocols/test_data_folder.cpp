#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "protocols/data_folder.h"
#include "stored_files.h"

namespace sirrel {
namespace {

struct FolderCase {
    const char *what;
    const char *searchPath; // null: no registry file
    const char *pluginPath;
    const char *dataHome;
    const char *home;
    const char *folder;
};

const FolderCase kFolderCases[] = {
    {"registry first", "/opt/kel/data", "/env/path", "/xdg", "/home/u", "/opt/kel/data/"},
    {"slash not doubled", "/opt/kel/", nullptr, nullptr, "/home/u", "/opt/kel/"},
    {"empty registry value", "", "/env/path", "/xdg", "/home/u", "/env/path/"},
    {"no registry file", nullptr, "/env/path", "/xdg", "/home/u", "/env/path/"},
    {"empty variable is none", nullptr, "", "/xdg", "/home/u", "/xdg/kel/"},
    {"XDG data home", nullptr, nullptr, "/xdg/", "/home/u", "/xdg/kel/"},
    {"home fallback", nullptr, nullptr, "", "/home/u", "/home/u/.local/share/kel/"},
};

class DataFolder : public ScratchFolder, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(DataFolder, FollowsRegistryThenVariableThenFallback)
{
    const FolderCase &c = GetParam();
    const std::string registry = path("registry.ini");
    if (c.searchPath)
        std::ofstream(registry) << "[HKEY_LOCAL_MACHINE\\Software\\KEL]\nSearchPath=" << c.searchPath << "\n"
                                << "[HKEY_CURRENT_USER\\Software\\KEL]\nSearchPath=/wrong/root\n";
    ScopedVariable reg("KEL_REGISTRY", registry.c_str());
    ScopedVariable plugin("KEL_PLUGIN_PATH", c.pluginPath);
    ScopedVariable data("XDG_DATA_HOME", c.dataHome);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(ResolveDataFolder(), c.folder);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataFolder, ::testing::ValuesIn(kFolderCases), [](const auto &info) {
    std::string name = info.param.what;
    for (char &ch : name)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST(DataPaths, FilesInTheFolder)
{
    const DataPaths p = DataPathsIn("/d");
    EXPECT_EQ(p.folder, "/d/");
    EXPECT_EQ(p.protocols, "/d/SirrelSettings.dat");
    EXPECT_EQ(p.configuration, "/d/Sirrel_Config.dat");
    EXPECT_EQ(p.soundCard, "/d/SoundCard_Config.dat");
    EXPECT_EQ(p.tables, "/d/SirrelTables.dat");
    EXPECT_EQ(p.help, "/d/help/");
    EXPECT_EQ(DataPathsIn("").folder, "./"); // never the root
}

// The help page of the data folder wins; without one the page that came with the build is found, here the
// copy in the build tree beside this test program's bin/ folder.
TEST(DataPaths, HelpPageFromTheDataFolderElseTheInstalledOne)
{
    const std::string folder = std::filesystem::temp_directory_path() / ("sirrel-help-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder + "/help");
    const DataPaths paths = DataPathsIn(folder);
    const std::string installed = HelpPage(paths, "Decoder.html");
    EXPECT_EQ(installed, InstalledDataFolder() + "help/Decoder.html");
    EXPECT_TRUE(std::filesystem::is_regular_file(installed)) << installed;

    std::ofstream(folder + "/help/Decoder.html") << "<p>mine</p>";
    EXPECT_EQ(HelpPage(paths, "Decoder.html"), folder + "/help/Decoder.html");
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace sirrel
