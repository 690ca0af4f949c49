#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ui/platform/driver.h"
#include "ui/platform/headless/headless_driver.h"

namespace sirrel {

namespace {

std::mutex driverLock;
std::unique_ptr<PlatformDriver> driver;

std::unique_ptr<PlatformDriver> OpenDriver() { return std::make_unique<HeadlessDriver>(); }

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
