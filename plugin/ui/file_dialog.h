// The framework's file selector: the folders and the files of the chosen pattern in one list, a field to type a
// path, hidden entries hidden. Modal like the message box.
#pragma once

#include <string>

namespace sirrel {

class Oru_Window;

struct FileDialogOptions {
    std::string title;       // "Select the Log File Name"
    std::string filterName;  // "Simple text (*.txt)"
    std::string pattern;     // "*.txt"
    std::string initialPath; // a folder, or a file whose folder is shown and whose name is proposed
    bool mustExist = false;  // a file to read: a name that does not exist is refused
};

// The path chosen, or empty when the user cancelled.
std::string ShowFileDialog(Oru_Window *owner, const FileDialogOptions &options);

} // namespace sirrel
