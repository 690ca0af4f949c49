// Opens a help page in the desktop's browser ($BROWSER, else xdg-open) without waiting for it; a page that is not
// there is reported in a message box over `owner`.
#pragma once

#include <string>

namespace sirrel {

class Oru_Window;

// `name` is the page's file name ("CharStat.html"), looked up as HelpPage looks it up.
void OpenHelpPage(Oru_Window *owner, const std::string &dataFolder, const std::string &name);

} // namespace sirrel
