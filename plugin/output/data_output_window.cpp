#include "output/data_output_window.h"

namespace sirrel {

void DataOutputWindow::Write(int32_t channel, uint8_t character, uint32_t colour)
{
    views_[size_t(channel)].Append(character, colour);
    // The log file drops line feeds and writes carriage returns as line ends; a failed write closes it.
    logs_[size_t(channel)].WriteCharacter(character);
    if (listener_)
        listener_(channel, character, colour);
}

} // namespace sirrel
