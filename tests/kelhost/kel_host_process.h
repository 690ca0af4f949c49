// kel-host run as a child process, as a user or a script runs it: stdin from a file or a pipe kept open,
// stdout read line by line, stderr kept in a file.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kelhost {

inline std::string ReadAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class Process {
public:
    // `input` empty: stdin is a pipe that stays open until the process ends.
    Process(const std::vector<std::string> &args, const std::string &errorFile, const std::string &input = "")
    {
        int out[2], in[2];
        if (pipe(out) != 0 || pipe(in) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            const int source = input.empty() ? in[0] : open(input.c_str(), O_RDONLY);
            dup2(source, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, STDERR_FILENO);
            std::vector<char *> argv{const_cast<char *>(KEL_HOST_PROGRAM)};
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(KEL_HOST_PROGRAM, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(in[0]);
        out_ = out[0];
        in_ = in[1];
    }
    ~Process()
    {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(in_);
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // The next line of stdout, or empty when none comes within the time.
    std::string Line(std::chrono::seconds within = std::chrono::seconds(30))
    {
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            const size_t newline = buffered_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffered_.substr(0, newline);
                buffered_.erase(0, newline + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd ready{out_, POLLIN, 0};
            char chunk[256];
            ssize_t got = 0;
            if (left.count() <= 0 || poll(&ready, 1, int(left.count())) <= 0 ||
                (got = read(out_, chunk, sizeof chunk)) <= 0)
                return "";
            buffered_.append(chunk, size_t(got));
        }
    }

    bool Running()
    {
        if (status_ >= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            return false;
        }
        return true;
    }

    void Signal(int signal) { kill(pid_, signal); }

    // The exit status, or -1 when it did not exit normally within the time.
    int Wait(std::chrono::seconds within = std::chrono::seconds(60))
    {
        const auto end = std::chrono::steady_clock::now() + within;
        while (Running() && std::chrono::steady_clock::now() < end)
            usleep(20000);
        if (status_ < 0)
            return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    int status_ = -1;
    std::string buffered_;
};

} // namespace kelhost
