// The protocol library "SirrelSettings.dat": 802-byte protocol records in the order they were added.
//
// The operations behind the protocol list and its "Add", "Update", "Remove" and "Create default" buttons. Each
// opens the file (creating it and its folders when missing) and closes it before returning, so that several
// decoder windows can share it. They return the message the window shows in its message box (empty: none).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocols/protocol_record.h"
#include "protocols/settings_model.h"

namespace sirrel {

// The protocol list control: its entries, its (editable) text and the selected entry (-1 none).
struct ProtocolList {
    std::vector<std::string> names;
    std::string text;
    int selected = -1;
};

class ProtocolLibrary {
public:
    // Asked before "Create default" with the question text; true for "Yes".
    using Confirm = std::function<bool(const std::string &question)>;

    static const char *const kCannotAccessSettings;  // "Cannot access the settings file!"
    static const char *const kCannotAccessProtocols; // "Cannot access the protocols file!"
    static const char *const kInvalidName;           // "Invalid protocol name!"
    static const char *const kNameExists;            // "A protocol with the same name already exists."
    static const char *const kCreateDefaultQuestion;

    ProtocolLibrary(std::string path, SettingsModel &settings) : path_(std::move(path)), settings_(settings) {}

    ProtocolList &List() { return list_; }
    const std::string &Path() const { return path_; }

    // Refills the list from the file and selects the entry that equals the list's text.
    std::string LoadList();
    // Appends the controls' values under a new name (the name dialog was answered with it).
    std::string Add(const std::string &name);
    // Overwrites the record named by the list's text with the controls' values.
    std::string Update();
    // Removes every record named by the list's text.
    std::string Remove();
    // Rewrites the 35 defaults in place, appends the missing ones, keeps the user's own, and applies the
    // selected protocol again.
    std::string CreateDefault(const Confirm &confirm);
    // Puts the record named by the list's text into the controls; a text naming no record changes nothing.
    std::string ApplySelected();

private:
    void SelectText();

    const std::string path_;
    SettingsModel &settings_;
    ProtocolList list_;
};

// Read-only look-ups for programs without a window; they never create or mend the file.
// The names stored in the file, in file order (none when it is missing).
std::vector<std::string> StoredProtocolNames(const std::string &path);
// The first stored record of that name, else the default of that name.
std::optional<ProtocolRecord> FindProtocol(const std::string &path, const std::string &name);

} // namespace sirrel
