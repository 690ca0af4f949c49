#include "stdin_source.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace sirrel {

uint32_t StdinSource::Read(int16_t *samples, uint32_t count)
{
    constexpr int kWaitMs = 100;
    std::vector<uint8_t> bytes(size_t(count) * 2);
    while (!stop_.load()) {
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int polled = poll(&ready, 1, kWaitMs);
        if (polled < 0 && errno != EINTR)
            return 0;
        if (polled <= 0)
            continue;
        size_t have = 0;
        if (pendingByte_ >= 0)
            bytes[have++] = uint8_t(pendingByte_);
        const ssize_t got = read(STDIN_FILENO, bytes.data() + have, bytes.size() - have);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return 0;
        have += size_t(got);
        const uint32_t n = uint32_t(have / 2);
        for (uint32_t i = 0; i < n; ++i)
            samples[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        pendingByte_ = have % 2 ? bytes[have - 1] : -1;
        if (n > 0)
            return n;
    }
    return 0;
}

} // namespace sirrel
