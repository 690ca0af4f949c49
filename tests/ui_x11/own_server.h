// An X server of the test's own (Xvfb on a free display), for what the shared server cannot show: other screen
// depths, and a server that dies.
#pragma once

#include <csignal>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ui/platform/x11/x11_driver.h"

namespace sirrel::test {

class OwnServer {
public:
    // Starts Xvfb with one screen of `depth` bits and connects; Started() is false when there is no Xvfb.
    explicit OwnServer(int depth)
    {
        if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
            return;
        // Xvfb picks a free display itself and writes its number to the pipe, so parallel tests never meet.
        int numberPipe[2];
        if (pipe(numberPipe) != 0)
            return;
        const std::string screen = "640x480x" + std::to_string(depth);
        pid_ = fork();
        if (pid_ == 0) {
            close(numberPipe[0]);
            const std::string fd = std::to_string(numberPipe[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   nullptr);
            _exit(127);
        }
        close(numberPipe[1]);
        std::string number;
        pollfd ready{numberPipe[0], POLLIN, 0};
        char c = 0;
        while (poll(&ready, 1, 5000) > 0 && read(numberPipe[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(numberPipe[0]);
        if (number.empty())
            return;
        const std::string name = ":" + number;
        const char *previous = std::getenv("DISPLAY");
        const std::string saved = previous ? previous : "";
        setenv("DISPLAY", name.c_str(), 1);
        for (int attempt = 0; attempt < 100 && !driver_; ++attempt) {
            usleep(50000);
            driver_ = X11Driver::Open();
        }
        if (previous)
            setenv("DISPLAY", saved.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
    ~OwnServer() { Kill(); }
    OwnServer(const OwnServer &) = delete;
    OwnServer &operator=(const OwnServer &) = delete;

    // The connection, once: the caller installs it as the display.
    std::unique_ptr<X11Driver> TakeDriver() { return std::move(driver_); }
    bool Started() const { return driver_ != nullptr; }
    void Kill()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

private:
    pid_t pid_ = 0;
    std::unique_ptr<X11Driver> driver_;
};

} // namespace sirrel::test
