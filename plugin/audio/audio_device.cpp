#include "audio/audio_device.h"

namespace sirrel {

std::string WaveFormat::Describe() const
{
    const std::string layout = channels == 1   ? "mono"
                               : channels == 2 ? "stereo"
                                               : std::to_string(channels) + "-channel";
    return layout + " " + std::to_string(bits) + "-bit " + std::to_string(rate) + " Hz";
}

} // namespace sirrel
