// Runs the two programs: sirrel-gen writes a signal, sirrel-decode reads it back. Both inherit the data and
// configuration folders of the test program (support/private_folders.cpp), never the user's.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell command line, capturing stdout and stderr.
inline Result run(const std::string &command)
{
    static int serial = 0;
    auto dir = std::filesystem::temp_directory_path();
    auto tag = std::to_string(getpid()) + "-" + std::to_string(++serial);
    auto outPath = dir / ("e2e-out-" + tag), errPath = dir / ("e2e-err-" + tag);
    std::string line = command + " >" + quote(outPath) + " 2>" + quote(errPath);
    int raw = std::system(line.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return r;
}

inline std::string args(const std::vector<std::string> &list)
{
    std::string line;
    for (const auto &a : list)
        line += " " + quote(a);
    return line;
}

// A temporary folder removed with its contents at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-e2e-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline Result generate(const std::string &wav, const std::string &text, const std::vector<std::string> &options)
{
    return run(std::string(SIRREL_GEN_PROGRAM) + " -o " + quote(wav) + args(options) + " -- " + quote(text));
}

inline Result decode(const std::vector<std::string> &options) { return run(SIRREL_DECODE_PROGRAM + args(options)); }

// Edit distance between what was sent and what came back, for character error rates.
inline size_t editDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace e2e
