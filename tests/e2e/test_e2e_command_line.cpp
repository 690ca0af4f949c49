// sirrel-decode's command line as a user meets it: information options, a run without arguments, and the
// progress line, which only a terminal on stderr may see.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::TempDir;

TEST(EndToEndCommandLine, InformationAndUsage)
{
    const auto none = e2e::run(SIRREL_DECODE_PROGRAM);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "Usage: sirrel-decode [options] FILE...|-|--device NAME\n"
                        "Try 'sirrel-decode --help' for more information.\n");

    const auto version = decode({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("sirrel-decode [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;

    const auto help = decode({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: sirrel-decode [options] FILE...|-|--device NAME\n", 0), 0u);
    EXPECT_NE(help.out.find("\n  --arqm-version 242|342"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("--man"), std::string::npos) << "a hidden option is listed";

    const auto man = decode({"--man"});
    EXPECT_EQ(man.status, 0);
    EXPECT_EQ(man.out.rfind(".TH SIRREL\\-DECODE 1 ", 0), 0u) << man.out;
    EXPECT_NE(man.out.find("\\fB\\-\\-arqm\\-version\\fR \\fI242|342\\fR"), std::string::npos);
    for (const auto &r : {version, help, man})
        EXPECT_EQ(r.err, "");
}

// Runs the decoder with stderr on a pseudo-terminal and stdout in a file; returns what the terminal got.
std::string DecodeWithTerminal(const std::vector<std::string> &args, const std::string &stdoutPath, int *status)
{
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(127);
        std::vector<char *> argv{const_cast<char *>(SIRREL_DECODE_PROGRAM)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string terminal;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) // EIO once the child has closed its side
            break;
        terminal.append(buffer, size_t(got));
    }
    close(master);
    int raw = 0;
    waitpid(child, &raw, 0);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return terminal;
}

TEST(EndToEndCommandLine, ProgressLineOnlyOnATerminalAndNeverInTheText)
{
    TempDir dir;
    const std::string wav = dir.file("long.wav");
    // Fifteen minutes of audio, mostly idle tone: long enough for the line, and for a decode that takes time.
    const auto gen =
        e2e::generate(wav, "CQ CQ DE TEST\n", {"--baud", "50", "--space", "1000", "--mark", "1170", "--lead", "900"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    const std::vector<std::string> settings = {"--mode", "ita2",   "--tune", "manual",      "--space", "1000", "--mark",
                                               "1170",   "--baud", "50",     "--baud-mode", "manual",  wav};

    const auto plain = decode(settings);
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "") << "no terminal, no progress";
    EXPECT_NE(plain.out.find("CQ CQ DE TEST"), std::string::npos);

    int status = -1;
    const auto start = std::chrono::steady_clock::now();
    const std::string terminal = DecodeWithTerminal(settings, dir.file("out.txt"), &status);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(e2e::readFile(dir.file("out.txt")), plain.out) << "the text is the same with the line shown";
    // How often the line shows depends on the machine's speed; a run of half a second shows it at least once.
    if (seconds > 0.5) {
        EXPECT_FALSE(terminal.empty()) << seconds << " s";
    }
    if (!terminal.empty()) {
        EXPECT_TRUE(
            std::regex_search(terminal, std::regex("\r[0-9]+:[0-9]{2} / 15:0[0-9] +[0-9]+%  [0-9.]+x real time")))
            << terminal;
        // The last thing written clears the line.
        EXPECT_TRUE(std::regex_search(terminal, std::regex("\r +\r$"))) << terminal;
    }

    std::vector<std::string> quiet = settings;
    quiet.insert(quiet.begin(), "--quiet");
    EXPECT_EQ(DecodeWithTerminal(quiet, dir.file("quiet.txt"), &status), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(e2e::readFile(dir.file("quiet.txt")), plain.out);
}

} // namespace
