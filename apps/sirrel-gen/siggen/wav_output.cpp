#include "wav_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sirrel::siggen {

namespace {

bool ToStandardOutput(const std::string &target) { return target == "-"; }

// The temporary file's name pattern: hidden, beside the target so that the rename stays on one file system.
std::string TemporaryPattern(const std::string &target)
{
    if (ToStandardOutput(target)) {
        const char *folder = std::getenv("TMPDIR");
        return std::string(folder && *folder ? folder : "/tmp") + "/sirrel-gen.XXXXXX";
    }
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".XXXXXX";
}

} // namespace

std::string WavOutput::Shown() const { return ToStandardOutput(target_) ? "temporary file" : "'" + target_ + "'"; }

WavOutput::~WavOutput() { Abandon(); }

bool WavOutput::Fail(const std::string &what, int error)
{
    error_ = error ? what + ": " + std::strerror(error) : what;
    Abandon();
    return false;
}

void WavOutput::Abandon()
{
    file_.Close();
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool WavOutput::Open(const std::string &target, uint32_t sampleRate)
{
    Abandon();
    target_ = target;
    if (target.empty() || target.back() == '/')
        return Fail("cannot write " + Shown() + ": not a file name", 0);
    const std::string name = TemporaryPattern(target);
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    const int handle = mkstemp(pattern.data());
    if (handle < 0)
        return Fail("cannot create " + Shown(), errno);
    temporary_ = pattern.data();
    if (!ToStandardOutput(target)) {
        // mkstemp keeps the file private; the finished file gets the permissions of any newly created file.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(handle, 0666 & ~mask);
    }
    close(handle);
    if (!file_.OpenWrite(temporary_.c_str(), 0))
        return Fail("cannot create " + Shown(), file_.OpenError());
    if (!file_.WriteHeaderPcm(sampleRate, 16, 1))
        return Fail("cannot write " + Shown(), errno);
    return true;
}

bool WavOutput::Write(const int16_t *samples, size_t count)
{
    if (temporary_.empty())
        return false;
    uint8_t bytes[8192];
    while (count > 0) {
        const size_t take = count < sizeof bytes / 2 ? count : sizeof bytes / 2;
        for (size_t i = 0; i < take; ++i) {
            const auto value = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<uint8_t>(value);
            bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
        errno = 0;
        if (!file_.WriteData(bytes, static_cast<uint32_t>(2 * take)))
            return Fail("cannot write " + Shown(), errno);
        samples += take;
        count -= take;
    }
    return true;
}

bool WavOutput::CopyToStandardOutput()
{
    const int input = open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0)
        return Fail("cannot read temporary file", errno);
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(input, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            close(input);
            return Fail("cannot read temporary file", error);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(STDOUT_FILENO, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                const int error = put < 0 ? errno : EIO;
                close(input);
                return Fail("cannot write standard output", error);
            }
            done += put;
        }
    }
    close(input);
    Abandon();
    return true;
}

bool WavOutput::Commit()
{
    if (temporary_.empty())
        return false;
    errno = 0;
    const bool flushed = file_.Flush();
    file_.Close();
    if (!flushed)
        return Fail("cannot write " + Shown(), errno);
    if (ToStandardOutput(target_))
        return CopyToStandardOutput();
    if (rename(temporary_.c_str(), target_.c_str()) != 0)
        return Fail("cannot write '" + target_ + "'", errno);
    temporary_.clear();
    return true;
}

} // namespace sirrel::siggen
