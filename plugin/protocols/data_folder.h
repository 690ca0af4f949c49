// Where the plug-in keeps its data files: the host's "SearchPath" (registry file), else $KEL_PLUGIN_PATH, else
// $XDG_DATA_HOME/kel/ (~/.local/share/kel/). Never the filesystem root: an empty setting counts as none.
#pragma once

#include <string>

namespace sirrel {

// The data folder, always ending with '/'.
std::string ResolveDataFolder();

// The file paths inside a data folder (a missing trailing '/' is added).
struct DataPaths {
    std::string folder;
    std::string help;          // folder of the help pages ("help/Decoder.html", ...)
    std::string protocols;     // "SirrelSettings.dat"
    std::string configuration; // "Sirrel_Config.dat"
    std::string soundCard;     // "SoundCard_Config.dat"
    std::string tables;        // "SirrelTables.dat"
};

DataPaths DataPathsIn(const std::string &folder);

// The files that come with the plug-in (help pages, the window icon) are installed in share/kel/ beside the
// lib/ folder (or lib/<triplet>/) of the library or program holding this code; a build tree has the same layout.
std::string InstalledDataFolder();

// The help page `name` ("Decoder.html"): the data folder's own copy when there is one, else the installed one.
std::string HelpPage(const DataPaths &paths, const std::string &name);

} // namespace sirrel
