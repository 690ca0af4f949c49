#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ui/platform/driver.h"
#include "ui/platform/headless/headless_driver.h"
#ifdef SIRREL_HAVE_X11
#include "ui/platform/x11/x11_driver.h"
#endif

namespace sirrel {

namespace {

std::mutex driverLock;
std::unique_ptr<PlatformDriver> driver;

std::unique_ptr<PlatformDriver> OpenDriver()
{
    const char *choice = std::getenv("SIRREL_UI");
    const bool headless = choice && std::strcmp(choice, "headless") == 0;
#ifdef SIRREL_HAVE_X11
    if (!headless) {
        if (auto x11 = X11Driver::Open())
            return x11;
    }
#else
    (void)headless;
#endif
    return std::make_unique<HeadlessDriver>();
}

} // namespace

PlatformDriver &Platform()
{
    std::lock_guard<std::mutex> hold(driverLock);
    if (!driver)
        driver = OpenDriver();
    return *driver;
}

std::unique_ptr<PlatformDriver> ReplacePlatform(std::unique_ptr<PlatformDriver> replacement)
{
    std::lock_guard<std::mutex> hold(driverLock);
    std::swap(driver, replacement);
    return replacement;
}

} // namespace sirrel
