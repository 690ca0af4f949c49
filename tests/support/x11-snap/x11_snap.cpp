// x11-snap: writes what an X display shows as a PNG file: the whole screen, or one window found by its id or by
// a part of its title, waiting for it to appear. Prints the captured geometry as WIDTHxHEIGHT+X+Y.
//
//   x11-snap [--window ID | --name TEXT] [--wait SECONDS] OUTPUT.png
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A window that goes away between finding and capturing it is an error to report, not to die of.
int IgnoreError(Display *, XErrorEvent *) { return 0; }

int Fail(const std::string &message)
{
    std::fprintf(stderr, "x11-snap: %s\n", message.c_str());
    return 2;
}

// A viewable window whose title contains `text`, searched depth first from `parent`; 0 when there is none.
Window FindByName(Display *display, Window parent, const std::string &text)
{
    char *name = nullptr;
    if (XFetchName(display, parent, &name) && name) {
        const bool match = std::strstr(name, text.c_str()) != nullptr;
        XFree(name);
        XWindowAttributes attributes;
        if (match && XGetWindowAttributes(display, parent, &attributes) && attributes.map_state == IsViewable)
            return parent;
    }
    Window root, up, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i)
        found = FindByName(display, children[i], text);
    if (children)
        XFree(children);
    return found;
}

// The shift that brings a colour mask's highest bit to bit 7 of a byte.
int ShiftOf(unsigned long mask)
{
    int top = 0;
    while (mask >> (top + 1))
        ++top;
    return top - 7;
}

bool WritePng(const std::string &path, XImage *image, const Visual *visual)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(image->width), png_uint_32(image->height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
    std::vector<png_byte> row(size_t(image->width) * 3);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            for (int c = 0; c < 3; ++c) {
                const int shift = ShiftOf(masks[c]);
                const unsigned long value = pixel & masks[c];
                row[size_t(x) * 3 + size_t(c)] = png_byte(shift >= 0 ? value >> shift : value << -shift);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string name, output;
    Window window = 0;
    double wait = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = argument == "--window" || argument == "--name" || argument == "--wait";
        if (valued && i + 1 >= argc)
            return Fail("option '" + argument + "' needs a value");
        if (argument == "--window")
            window = Window(std::strtoul(argv[++i], nullptr, 0));
        else if (argument == "--name")
            name = argv[++i];
        else if (argument == "--wait")
            wait = std::strtod(argv[++i], nullptr);
        else if (output.empty() && argument[0] != '-')
            output = argument;
        else
            return Fail("usage: x11-snap [--window ID | --name TEXT] [--wait SECONDS] OUTPUT.png");
    }
    if (output.empty())
        return Fail("usage: x11-snap [--window ID | --name TEXT] [--wait SECONDS] OUTPUT.png");

    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return Fail("cannot open the display '" + std::string(getenv("DISPLAY") ? getenv("DISPLAY") : "") + "'");
    XSetErrorHandler(IgnoreError);
    const Window root = DefaultRootWindow(display);
    if (!name.empty()) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(wait);
        while (!(window = FindByName(display, root, name)) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!window)
            return Fail("no window titled '*" + name + "*' is shown");
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window ? window : root, &attributes))
        return Fail("no such window");
    // The window as it shows on the screen, with whatever lies over it, taken from the root window.
    int x = 0, y = 0;
    Window child;
    if (window)
        XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    // Only what lies on the screen can be read.
    XWindowAttributes screen;
    XGetWindowAttributes(display, root, &screen);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int width = std::min(x + attributes.width, screen.width) - left;
    const int height = std::min(y + attributes.height, screen.height) - top;
    if (width <= 0 || height <= 0)
        return Fail("the window lies outside the screen");
    XImage *image = XGetImage(display, root, left, top, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return Fail("the display gave no image of the window");
    const bool written = WritePng(output, image, DefaultVisual(display, DefaultScreen(display)));
    XDestroyImage(image);
    XCloseDisplay(display);
    if (!written)
        return Fail("cannot write '" + output + "'");
    std::printf("%dx%d+%d+%d\n", width, height, left, top);
    return 0;
}
