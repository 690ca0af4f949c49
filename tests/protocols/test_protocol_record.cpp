#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "protocols/protocol_record.h"

namespace sirrel {
namespace {

double doubleAt(const uint8_t *p)
{
    double v;
    std::memcpy(&v, p, 8); // little-endian host
    return v;
}

int32_t intAt(const uint8_t *p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

TEST(ProtocolRecord, FieldsLandAtTheirOffsets)
{
    ProtocolRecord r;
    r.name = "My ARQ";
    r.tableName = "Cyrillic";
    r.space = 1234.5;
    r.mark = 2345.25;
    r.autoTuning = 1;
    r.demodulator = kDemodCorrelative;
    r.baudrate = 96;
    r.autoBaud = 1;
    r.params.mode = kModeArq;
    r.params.samplesPerBit = 114.84; // never stored
    r.params.polarity = 2;
    r.params.inversionMask = 0x81;
    r.params.SetWords({56, 8, 4, 4, 2});
    auto b = r.ToBytes();

    ASSERT_EQ(b.size(), 802u);
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data()), "My ARQ");
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data() + 256), "Cyrillic");
    EXPECT_EQ(doubleAt(&b[512]), 1234.5);
    EXPECT_EQ(doubleAt(&b[520]), 2345.25);
    EXPECT_EQ(intAt(&b[528]), 1);
    EXPECT_EQ(b[532], 3);
    EXPECT_EQ(b[533], 0);
    EXPECT_EQ(doubleAt(&b[534]), 96.0);
    EXPECT_EQ(intAt(&b[542]), 1);
    EXPECT_EQ(intAt(&b[546]), kModeArq);
    EXPECT_EQ(doubleAt(&b[550]), 0.0);
    EXPECT_EQ(intAt(&b[558]), 2);
    EXPECT_EQ(intAt(&b[562]), 0x81);
    EXPECT_EQ(intAt(&b[566]), 56);
    EXPECT_EQ(intAt(&b[582]), 2);
    for (size_t i = 586; i < 802; ++i)
        ASSERT_EQ(b[i], 0) << "reserved byte " << i;

    ProtocolRecord back = ProtocolRecord::FromBytes(b.data());
    EXPECT_EQ(back.name, "My ARQ");
    EXPECT_EQ(back.tableName, "Cyrillic");
    EXPECT_EQ(back.mark, 2345.25);
    EXPECT_EQ(back.params.Words(), r.params.Words());
    EXPECT_EQ(back.params.samplesPerBit, 0.0);
}

TEST(ProtocolRecord, NamesFillingTheirWholeSlotStayBounded)
{
    std::array<uint8_t, 802> b{};
    std::memset(b.data(), 'A', 512); // neither name is terminated
    ProtocolRecord r = ProtocolRecord::FromBytes(b.data());
    EXPECT_EQ(r.name, std::string(256, 'A'));
    EXPECT_EQ(r.tableName, std::string(256, 'A'));

    r.name = std::string(300, 'B');
    auto stored = r.ToBytes();
    EXPECT_EQ(stored[254], 'B');
    EXPECT_EQ(stored[255], 0) << "a stored name keeps its terminator";
}

TEST(DefaultProtocols, ThirtyFiveUniqueStockEntriesInOrder)
{
    const auto &defaults = DefaultProtocols();
    ASSERT_EQ(defaults.size(), 35u);
    EXPECT_EQ(defaults.front().name, "ARQ-E - Repetition cycle length=8");
    EXPECT_EQ(defaults[13].name, "Packet Radio - 1200bps");
    EXPECT_EQ(defaults.back().name, "ASCII 8bit");
    std::set<std::string> names;
    for (const auto &r : defaults) {
        names.insert(r.name);
        EXPECT_EQ(r.tableName, "Default");
        EXPECT_EQ(r.params.samplesPerBit, 0.0);
        EXPECT_GE(r.baudrate, 96.0) << r.name;
    }
    EXPECT_EQ(names.size(), 35u);
}

TEST(DefaultProtocols, SampleEntries)
{
    const ProtocolRecord *sitor = FindDefaultProtocol("SITOR-B");
    ASSERT_NE(sitor, nullptr);
    EXPECT_EQ(sitor->space, 107);
    EXPECT_EQ(sitor->mark, 107);
    EXPECT_EQ(sitor->autoTuning, 1u);
    EXPECT_EQ(sitor->demodulator, kDemodCorrelative);
    EXPECT_EQ(sitor->params.mode, kModeFec);
    EXPECT_EQ(sitor->params.Fec().charsInCycle, 5);

    const ProtocolRecord *packet = FindDefaultProtocol("Packet Radio - 1200bps");
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->demodulator, kDemodHighSpeed);
    EXPECT_EQ(packet->params.Words(), (std::array<int32_t, 5>{}));

    EXPECT_EQ(FindDefaultProtocol("sitor-b"), nullptr) << "names compare case-sensitively";
}

// The weak-signal choice lives outside the records: a record stores the radios' choice in its specified byte,
// and applying a record changes the radios but leaves the weak-signal choice as it was.
TEST(ProtocolRecord, TheWeakSignalChoiceStaysOutOfRecords)
{
    SettingsModel s;
    s.SetDemodulator(kDemodWeakSignal);
    EXPECT_EQ(ProtocolRecord::FromSettings("weak", s).demodulator, kDemodPlain);
    s.correlative = true; // a radio turned on under the weak-signal choice
    const ProtocolRecord r = ProtocolRecord::FromSettings("weak", s);
    EXPECT_EQ(r.demodulator, kDemodCorrelative);

    SettingsModel t;
    t.SetDemodulator(kDemodWeakSignal);
    ProtocolRecord::FromBytes(r.ToBytes().data()).ApplyTo(t);
    EXPECT_EQ(t.Demodulator(), kDemodWeakSignal);
    EXPECT_EQ(t.RadioDemodulator(), kDemodCorrelative);
    t.SetDemodulator(kDemodOptimal);
    EXPECT_FALSE(t.weakSignal);
    EXPECT_EQ(t.Demodulator(), kDemodOptimal);
}

TEST(ProtocolRecord, SettingsRoundTripThroughARecord)
{
    SettingsModel s;
    s.space = 1500;
    s.mark = 1670;
    s.tuneAuto = false;
    s.SetDemodulator(kDemodOptimal);
    s.baudrate = 75;
    s.baudAuto = false;
    s.mode = kModeCis;
    s.polarity = 0;
    s.inversionMask = 0x12;
    s.cisFrameSizeIndex = 2;
    s.cisMinSyncFrames = 9;
    s.cisMaxErrors = 3;
    s.translationTableName = "Polish";
    ProtocolRecord r = ProtocolRecord::FromSettings("mine", s);
    auto bytes = r.ToBytes();

    SettingsModel t;
    ProtocolRecord::FromBytes(bytes.data()).ApplyTo(t);
    EXPECT_EQ(t.space, 1500);
    EXPECT_EQ(t.mark, 1670);
    EXPECT_FALSE(t.tuneAuto);
    EXPECT_EQ(t.Demodulator(), kDemodOptimal);
    EXPECT_EQ(t.baudrate, 75);
    EXPECT_FALSE(t.baudAuto);
    EXPECT_EQ(t.mode, kModeCis);
    EXPECT_EQ(t.polarity, 0);
    EXPECT_EQ(t.inversionMask, 0x12);
    EXPECT_EQ(t.cisFrameSizeIndex, 2);
    EXPECT_EQ(t.cisMinSyncFrames, 9);
    EXPECT_EQ(t.cisMaxErrors, 3);
    EXPECT_EQ(t.translationTableName, "Polish");
}

} // namespace
} // namespace sirrel
