// A protocol: a named set of demodulator and decoder settings, stored as a fixed 802-byte record.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/decoder_params.h"
#include "protocols/settings_model.h"

namespace sirrel {

struct ProtocolRecord {
    static constexpr size_t kSize = 802;
    static constexpr size_t kNameSize = 256;

    std::string name;      // at most 255 bytes are stored
    std::string tableName; // translation table, at most 255 bytes
    double space = 0;
    double mark = 0;
    uint32_t autoTuning = 0; // the "Auto" tuning choice of the "Frequencies" group
    uint8_t demodulator = kDemodPlain;
    double baudrate = 0;
    uint32_t autoBaud = 0;
    DecoderParams params; // samplesPerBit is always stored as 0

    std::array<uint8_t, kSize> ToBytes() const;
    static ProtocolRecord FromBytes(const uint8_t *bytes); // exactly kSize bytes; texts bounded by their slot

    // "Add"/"Update": a record of the current controls under the given name.
    static ProtocolRecord FromSettings(const std::string &name, const SettingsModel &settings);
    // Choosing a protocol: its values go back into the controls.
    void ApplyTo(SettingsModel &settings) const;
};

// The 35 stock protocols, in program order.
const std::vector<ProtocolRecord> &DefaultProtocols();

// The first default protocol of that exact (case-sensitive) name, or null.
const ProtocolRecord *FindDefaultProtocol(const std::string &name);

} // namespace sirrel
