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

} // namespace sirrel
