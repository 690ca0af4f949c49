// What the decoder's windows work on. The engine is edited through its posted edits and read through what it
// publishes; the protocol library and the translation tables belong to the frame thread, so a window touches
// them only inside an edit. The configuration block belongs to the user-interface thread: windows build from
// it and gather into it when the instance closes.
#pragma once

#include <cstdint>
#include <string>

namespace sirrel {

class DecoderEngine;
class ProtocolLibrary;
class TranslationTables;
class WindowServices;
struct Configuration;

struct WindowContext {
    DecoderEngine &engine;
    ProtocolLibrary &protocols;
    TranslationTables &tables;
    Configuration &configuration;
    WindowServices &services;
    // The data folder, ending with '/', where the help pages and stored files are found.
    std::string dataFolder;
};

} // namespace sirrel
