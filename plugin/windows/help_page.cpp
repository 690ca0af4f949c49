#include "windows/help_page.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "protocols/product_name.h"
#include "ui/message_box.h"

namespace sirrel {

namespace {

// Runs the command without waiting for it: the middle child ends at once, so the browser is nobody's zombie.
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

void OpenHelpPage(Oru_Window *owner, const std::string &page)
{
    if (!std::filesystem::exists(page)) {
        ShowMessageBox(owner, kProductCaption, "The help page " + page + " cannot be found.", kBoxOk);
        return;
    }
    const char *browser = std::getenv("BROWSER");
    Launch(browser && *browser ? browser : "xdg-open", page);
}

} // namespace sirrel
