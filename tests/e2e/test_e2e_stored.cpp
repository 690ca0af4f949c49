// The user's stored protocols and tables reach the command-line decoder through --data-dir.
#include <fstream>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "protocols/protocol_record.h"

namespace {

using e2e::decode;
using e2e::TempDir;

void writeProtocols(const std::string &path, const std::vector<sirrel::ProtocolRecord> &records)
{
    std::ofstream out(path, std::ios::binary);
    for (const auto &r : records) {
        auto bytes = r.ToBytes();
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
}

TEST(EndToEndStored, UserProtocolIsListedFirstAndDecodes)
{
    TempDir dir;
    sirrel::SettingsModel s;
    s.mode = sirrel::kModeIta2;
    s.tuneAuto = false;
    s.space = 1000;
    s.mark = 1170;
    s.baudrate = 50;
    s.baudAuto = false;
    s.SetDemodulator(sirrel::kDemodPlain);
    writeProtocols(dir.file("SirrelSettings.dat"), {sirrel::ProtocolRecord::FromSettings("My RTTY", s)});

    auto list = decode({"--data-dir", dir.file(""), "--list-protocols"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind("My RTTY\nARQ-E - Repetition cycle length=8\n", 0), 0u) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 36);

    std::string wav = dir.file("signal.wav");
    auto gen = e2e::generate(wav, "CQ CQ DE TEST\n", {"--baud", "50", "--space", "1000", "--mark", "1170"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    auto out = decode({"--data-dir", dir.file(""), "--protocol", "My RTTY", wav});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, "CQ CQ DE TEST\n");

    auto missing = decode({"--data-dir", dir.file(""), "--table", "Klingon", wav});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("unknown translation table 'Klingon'"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST(EndToEndStored, StockProtocolsWithoutAnyDataFolder)
{
    TempDir dir;
    auto out = decode({"--data-dir", dir.file("does/not/exist"), "--list-protocols"});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(std::count(out.out.begin(), out.out.end(), '\n'), 35);
}

} // namespace
