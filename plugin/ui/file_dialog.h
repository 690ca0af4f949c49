// The framework's file selector: the folders and the files of the chosen pattern in one list, a field to type a
// path, hidden entries hidden. Modal like the message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sirrel {

class Oru_Window;

struct FileDialogOptions {
    std::string title;       // "Select the Log File Name"
    std::string filterName;  // "Simple text (*.txt)"
    std::string pattern;     // "*.txt"; several are separated by ';'
    std::string initialPath; // a folder, or a file whose folder is shown and whose name is proposed
    bool mustExist = false;  // a file to read: a name that does not exist is refused
    // Added to a typed name without an extension ("txt").
    std::string defaultExtension;
    // A file to write: a read-only file, or a folder that cannot be written to, is refused.
    bool mustBeWritable = false;
    // The longest path the caller can take, in bytes.
    size_t maxLength = 1023;
    // Where the selector's errors are shown (caption, text, buttons as for the message box); the framework's
    // message box when empty.
    std::function<uint32_t(Oru_Window *owner, const std::string &caption, const std::string &text, uint32_t codes)>
        messageBox;
};

// The path chosen, or empty when the user cancelled.
std::string ShowFileDialog(Oru_Window *owner, const FileDialogOptions &options);

} // namespace sirrel
