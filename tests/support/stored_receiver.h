// A receiver's stored settings as a user leaves them for a recording: a stock protocol with sirrel-gen's tones
// (space 1000 Hz, mark 1170 Hz) and the bit rate fixed, channel 1 logged.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "protocols/configuration.h"
#include "protocols/protocol_record.h"

namespace fake {

inline ::testing::AssertionResult StoreFixedReceiver(const std::string &configurationFile, uint32_t serial,
                                                     const char *protocolName, double baud, const std::string &log)
{
    const sirrel::ProtocolRecord *protocol = sirrel::FindDefaultProtocol(protocolName);
    if (!protocol)
        return ::testing::AssertionFailure() << "no stock protocol " << protocolName;
    sirrel::SettingsModel settings;
    protocol->ApplyTo(settings);
    sirrel::Configuration stored;
    stored.GatherFrom(settings);
    stored.tuneAuto = 0;
    stored.space = 1000;
    stored.mark = 1170;
    stored.baudAuto = 0;
    stored.baudrate = baud;
    stored.logEnabled[0] = 1;
    stored.logFile[0] = log;
    if (sirrel::SaveConfiguration(configurationFile, serial, stored) != sirrel::ChunkStatus::kFound)
        return ::testing::AssertionFailure() << "cannot write " << configurationFile;
    return ::testing::AssertionSuccess();
}

} // namespace fake
