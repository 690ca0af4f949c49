// sirrel-ui-gallery: every control of the window framework in one window. On a display it runs until the window
// is closed; with --png FILE it renders the window without a display and writes it to FILE.
#include <cstdio>
#include <cstring>
#include <string>

#include "gallery.h"
#include "ui/platform/headless/headless_driver.h"

int main(int argc, char **argv)
{
    using namespace sirrel;
    std::string png;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc) {
            png = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: sirrel-ui-gallery [--png FILE]\n"
                        "Shows every control of the window framework; with --png, renders the window without a\n"
                        "display and writes it to FILE.\n");
            return 0;
        } else {
            std::fprintf(stderr, "sirrel-ui-gallery: unknown argument '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    HeadlessDriver *headless = nullptr;
    if (!png.empty()) {
        auto driver = std::make_unique<HeadlessDriver>();
        headless = driver.get();
        ReplacePlatform(std::move(driver));
    }
    Gallery gallery;
    if (!gallery.Create(40, 40)) {
        std::fprintf(stderr, "sirrel-ui-gallery: cannot create the window\n");
        return 1;
    }
    gallery.Window().ShowCommand(kShowShow);
    if (headless) {
        PumpMessages();
        if (!headless->SavePng(gallery.Window().NativeHandle(), png)) {
            std::fprintf(stderr, "sirrel-ui-gallery: cannot write %s\n", png.c_str());
            return 1;
        }
        return 0;
    }
    RunMessageLoop();
    return 0;
}
