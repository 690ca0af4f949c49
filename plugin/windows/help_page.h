// The help buttons: a page of the help folder opened in the user's browser ($BROWSER, else xdg-open), without
// waiting for it. A page that is not there is named in a message box.
#pragma once

#include <string>

namespace sirrel {

class Oru_Window;

void OpenHelpPage(Oru_Window *owner, const std::string &page);

} // namespace sirrel
