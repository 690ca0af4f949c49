#include "protocols/protocol_record.h"

#include "protocols/little_endian.h"

namespace sirrel {

namespace {

constexpr size_t kTableNameOffset = 256;
constexpr size_t kSpaceOffset = 512;
constexpr size_t kMarkOffset = 520;
constexpr size_t kAutoTuningOffset = 528;
constexpr size_t kDemodulatorOffset = 532;
constexpr size_t kBaudOffset = 534;
constexpr size_t kAutoBaudOffset = 542;
constexpr size_t kParamsOffset = 546;

struct DefaultEntry {
    const char *name;
    double space, mark;
    uint32_t autoTuning;
    uint8_t demodulator;
    double baud;
    uint32_t autoBaud;
    int32_t mode, polarity, mask;
    int32_t w1, w2, w3, w4, w5;
};

// ARQ-E with repetition cycle 5 carries 96 baud like its siblings: a stored rate of 1 bit/s could never
// decode the system it names.
constexpr DefaultEntry kDefaults[] = {
    {"ARQ-E - Repetition cycle length=8", 107, 3000, 1, 0, 96, 0, 2, 0, 0, 56, 8, 8, 8, 2},
    {"ARQ-E - Repetition cycle length=4", 129, 3000, 1, 0, 96, 0, 2, 0, 0, 56, 8, 4, 4, 2},
    {"ARQ-N - Repetition cycle length=8", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 70, 10, 0, 4, 0},
    {"ARQ-N - Repetition cycle length=4", 1539, 2368, 1, 0, 96, 0, 2, 0, 0, 70, 10, 0, 4, 2},
    {"ARQ-E3 - Repetition cycle length=4", 1309, 2103, 1, 0, 192, 0, 2, 0, 0, 56, 8, 4, 4, 1},
    {"ARQ-E3 - Repetition cycle length=8", 129, 3000, 1, 0, 192, 0, 2, 0, 0, 56, 8, 8, 8, 1},
    {"POL-ARQ", 150, 3000, 1, 0, 100, 0, 2, 0, 0, 70, 10, 0, 5, 0},
    {"SITOR-A", 150, 3000, 1, 0, 100, 0, 2, 0, 0, 45, 3, 0, 1, 0},
    {"SI-ARQ - Block length=6", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 84, 6, 0, 1, 1},
    {"SI-ARQ - Block length=5", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 70, 5, 0, 1, 1},
    {"SI-ARQ - Block length=4", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 56, 4, 0, 1, 1},
    {"SI-ARQ - Block length=7", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 98, 7, 0, 1, 1},
    {"Packet Radio - 300bps", 1647, 1867, 1, 0, 300, 0, 3, 0, 0, 0, 0, 0, 0, 0},
    {"Packet Radio - 1200bps", 1200, 2200, 0, 1, 1200, 0, 3, 0, 0, 0, 0, 0, 0, 0},
    {"ARQ-E - Repetition cycle length=5", 129, 3000, 1, 0, 96, 0, 2, 0, 0, 56, 8, 5, 5, 2},
    {"ARQ-E3 - Repetition cycle length=5", 129, 3000, 1, 0, 192, 0, 2, 0, 0, 56, 8, 5, 5, 1},
    {"ARQ-N - Repetition cycle length=5", 150, 3000, 1, 0, 96, 0, 2, 0, 0, 70, 10, 0, 5, 0},
    {"ARQ6-90", 1606, 2014, 1, 0, 200, 0, 2, 0, 0, 90, 6, 0, 1, 0},
    {"ARQ6-98", 1653, 1847, 1, 0, 200, 0, 2, 0, 0, 98, 6, 0, 1, 0},
    {"ARQ6-70", 150, 3000, 1, 0, 200, 0, 2, 1, 0, 70, 6, 0, 1, 0},
    {"SI-FEC", 1711, 1862, 1, 0, 96, 0, 5, 0, 0, 1, 0, 1, 0, 0},
    {"ARQ-M2-342, 2 ch., 4 chars in cycle", 161, 3000, 1, 0, 96, 0, 7, 0, 0, 2, 4, 1, 0, 0},
    {"ARQ-M2-342, 2 ch., 8 chars in cycle", 107, 3000, 1, 0, 96, 0, 7, 0, 0, 2, 8, 1, 0, 0},
    {"ARQ-M2-342, 4 ch., 8 chars in cycle", 3000, 3000, 1, 0, 96, 0, 7, 0, 0, 4, 8, 1, 0, 0},
    {"ARQ-M2-342, 4 ch., 4 chars in cycle", 3000, 3000, 1, 0, 96, 0, 7, 0, 0, 4, 4, 1, 0, 0},
    {"ARQ-M2-242, 2 ch., 4 chars in cycle", 161, 3000, 1, 0, 96, 0, 7, 0, 0, 2, 4, 0, 0, 0},
    {"ARQ-M2-242, 2 ch., 8 chars in cycle", 1884, 3000, 1, 0, 96, 0, 7, 0, 0, 2, 8, 0, 0, 0},
    {"ARQ-M2-242, 4 ch., 4 chars in cycle", 3000, 3000, 1, 0, 96, 0, 7, 0, 0, 4, 4, 0, 0, 0},
    {"ARQ-M2-242, 4 ch., 8 chars in cycle", 150, 3000, 1, 0, 96, 0, 7, 0, 0, 4, 8, 0, 0, 0},
    {"SITOR-B", 107, 107, 1, 3, 100, 0, 5, 0, 0, 5, 0, 0, 0, 0},
    {"NAVTEX", 107, 139, 1, 3, 100, 0, 5, 0, 0, 5, 0, 0, 0, 0},
    {"CIS-11", 268, 1266, 1, 0, 100, 0, 6, 0, 0, 11, 15, 20, 0, 0},
    {"Baudot", 258, 3000, 1, 3, 96, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {"ASCII", 958, 3000, 1, 3, 96, 1, 1, 0, 0, 0, 0, 0, 0, 0},
    {"ASCII 8bit", 958, 3000, 1, 3, 96, 1, 8, 0, 0, 0, 0, 0, 0, 0},
};

ProtocolRecord RecordFromEntry(const DefaultEntry &e)
{
    ProtocolRecord r;
    r.name = e.name;
    r.tableName = "Default";
    r.space = e.space;
    r.mark = e.mark;
    r.autoTuning = e.autoTuning;
    r.demodulator = e.demodulator;
    r.baudrate = e.baud;
    r.autoBaud = e.autoBaud;
    r.params.mode = e.mode;
    r.params.polarity = e.polarity;
    r.params.inversionMask = e.mask;
    r.params.SetWords({e.w1, e.w2, e.w3, e.w4, e.w5});
    return r;
}

} // namespace

std::array<uint8_t, ProtocolRecord::kSize> ProtocolRecord::ToBytes() const
{
    std::array<uint8_t, kSize> bytes{};
    le::PutText(bytes.data(), kNameSize, name);
    le::PutText(bytes.data() + kTableNameOffset, kNameSize, tableName);
    le::PutDouble(bytes.data() + kSpaceOffset, space);
    le::PutDouble(bytes.data() + kMarkOffset, mark);
    le::PutU32(bytes.data() + kAutoTuningOffset, autoTuning);
    bytes[kDemodulatorOffset] = demodulator;
    le::PutDouble(bytes.data() + kBaudOffset, baudrate);
    le::PutU32(bytes.data() + kAutoBaudOffset, autoBaud);
    DecoderParams stored = params;
    stored.samplesPerBit = 0.0;
    stored.Store(bytes.data() + kParamsOffset);
    return bytes;
}

ProtocolRecord ProtocolRecord::FromBytes(const uint8_t *bytes)
{
    ProtocolRecord r;
    r.name = le::GetText(bytes, kNameSize);
    r.tableName = le::GetText(bytes + kTableNameOffset, kNameSize);
    r.space = le::GetDouble(bytes + kSpaceOffset);
    r.mark = le::GetDouble(bytes + kMarkOffset);
    r.autoTuning = le::GetU32(bytes + kAutoTuningOffset);
    r.demodulator = bytes[kDemodulatorOffset];
    r.baudrate = le::GetDouble(bytes + kBaudOffset);
    r.autoBaud = le::GetU32(bytes + kAutoBaudOffset);
    r.params = DecoderParams::Load(bytes + kParamsOffset);
    return r;
}

ProtocolRecord ProtocolRecord::FromSettings(const std::string &name, const SettingsModel &settings)
{
    ProtocolRecord r;
    r.name = name;
    r.tableName = settings.translationTableName;
    r.space = settings.space;
    r.mark = settings.mark;
    r.autoTuning = settings.tuneAuto ? 1 : 0;
    r.demodulator = settings.RadioDemodulator();
    r.baudrate = settings.baudrate;
    // Kept with the record so that choosing it again restores the user's baud-rate mode.
    r.autoBaud = settings.baudAuto ? 1 : 0;
    FillDecoderParams(settings, r.params);
    r.params.samplesPerBit = 0.0;
    return r;
}

void ProtocolRecord::ApplyTo(SettingsModel &settings) const
{
    settings.space = space;
    settings.mark = mark;
    settings.tuneAuto = autoTuning != 0;
    settings.SetRadioDemodulator(demodulator <= kDemodCorrelative ? DemodulatorChoice(demodulator) : kDemodPlain);
    settings.baudrate = baudrate;
    settings.baudAuto = autoBaud == 1;
    ApplyDecoderParams(settings, params);
    settings.translationTableName = tableName;
}

const std::vector<ProtocolRecord> &DefaultProtocols()
{
    static const std::vector<ProtocolRecord> records = [] {
        std::vector<ProtocolRecord> list;
        for (const DefaultEntry &e : kDefaults)
            list.push_back(RecordFromEntry(e));
        return list;
    }();
    return records;
}

const ProtocolRecord *FindDefaultProtocol(const std::string &name)
{
    for (const ProtocolRecord &r : DefaultProtocols()) {
        if (r.name == name)
            return &r;
    }
    return nullptr;
}

} // namespace sirrel
