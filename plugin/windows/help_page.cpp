#include "windows/help_page.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "protocols/data_folder.h"
#include "ui/message_box.h"

namespace sirrel {

namespace {

// The middle child ends at once, so the browser is nobody's zombie.
void Launch(const std::string &program, const std::string &argument)
{
    const char *argv[] = {program.c_str(), argument.c_str(), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execvp(argv[0], const_cast<char *const *>(argv));
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}

} // namespace

void OpenHelpPage(Oru_Window *owner, const std::string &dataFolder, const std::string &name)
{
    const std::string page = HelpPage(DataPathsIn(dataFolder), name);
    if (!std::filesystem::exists(page)) {
        ShowMessageBox(owner, "Korvanda Quillon FSK Decoder", "The help page " + page + " cannot be found.", kBoxOk);
        return;
    }
    const char *browser = std::getenv("BROWSER");
    Launch(browser && *browser ? browser : "xdg-open", page);
}

} // namespace sirrel
