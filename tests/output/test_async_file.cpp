#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/async_file.h"

namespace fs = std::filesystem;

namespace sirrel {
namespace {

class AsyncFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/asyncfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string &name) const { return folder_ + "/" + name; }

    static std::vector<uint8_t> Pattern(size_t count, uint32_t seed)
    {
        std::vector<uint8_t> bytes(count);
        std::mt19937 random(seed);
        for (auto &byte : bytes)
            byte = static_cast<uint8_t>(random());
        return bytes;
    }

    static std::vector<uint8_t> Contents(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    static void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::string folder_;
};

// Direct mode, a buffer smaller than most transfers, and one larger than the whole file.
const uint32_t kBufferSizes[] = {0, 64, 4096, 1 << 20};

TEST_F(AsyncFileTest, WrittenBytesReadBackInEveryMode)
{
    for (uint32_t bufferSize : kBufferSizes) {
        SCOPED_TRACE(bufferSize);
        const std::string path = Path("rw" + std::to_string(bufferSize));
        const auto data = Pattern(100000, bufferSize);
        AsyncFile file;
        ASSERT_TRUE(file.Open(path.c_str(), true, bufferSize));
        EXPECT_FALSE(file.Existed());
        for (size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 % 9001 + 1) {
            piece = std::min(piece, data.size() - at);
            ASSERT_EQ(file.Write(data.data() + at, static_cast<uint32_t>(piece)), piece);
        }
        EXPECT_EQ(file.Size(), 100000);
        EXPECT_EQ(file.WritePosition(), 100000);
        EXPECT_EQ(file.ReadPosition(), 0);

        std::vector<uint8_t> back(data.size());
        for (size_t at = 0, piece = 7; at < back.size(); at += piece, piece = piece * 5 % 7919 + 1) {
            piece = std::min(piece, back.size() - at);
            ASSERT_EQ(file.Read(back.data() + at, static_cast<uint32_t>(piece)), piece);
        }
        EXPECT_EQ(back, data);
        uint8_t extra;
        EXPECT_EQ(file.Read(&extra, 1), 0u);
        file.Close();
        EXPECT_EQ(Contents(path), data);
    }
}

// Random reads, writes, seeks and truncations against a plain in-memory copy of the file.
TEST_F(AsyncFileTest, MatchesAModelUnderRandomOperations)
{
    for (uint32_t bufferSize : kBufferSizes) {
        SCOPED_TRACE(bufferSize);
        const std::string path = Path("model" + std::to_string(bufferSize));
        std::vector<uint8_t> model = Pattern(3000, 1);
        WriteFile(path, model);
        AsyncFile file;
        ASSERT_TRUE(file.Open(path.c_str(), false, bufferSize));
        EXPECT_TRUE(file.Existed());
        int64_t readAt = 0;
        int64_t writeAt = 0;
        std::mt19937 random(bufferSize + 7);
        for (int step = 0; step < 3000; ++step) {
            const uint32_t count = random() % 300 + 1;
            switch (random() % 8) {
            case 0:
            case 1:
            case 2: {
                std::vector<uint8_t> got(count);
                const uint32_t expected = static_cast<uint32_t>(std::min<int64_t>(count, model.size() - readAt));
                ASSERT_EQ(file.Read(got.data(), count), expected) << "step " << step;
                ASSERT_TRUE(std::equal(got.begin(), got.begin() + expected, model.begin() + readAt)) << "step " << step;
                readAt += expected;
                break;
            }
            case 3:
            case 4: {
                const auto bytes = Pattern(count, step);
                ASSERT_EQ(file.Write(bytes.data(), count), count);
                if (writeAt + count > static_cast<int64_t>(model.size()))
                    model.resize(writeAt + count);
                std::copy(bytes.begin(), bytes.end(), model.begin() + writeAt);
                writeAt += count;
                break;
            }
            case 5:
                readAt = std::min<int64_t>(random() % (model.size() + 100), model.size());
                ASSERT_EQ(file.SetReadPosition(readAt, AsyncFile::kFromStart), readAt);
                break;
            case 6:
                writeAt = std::min<int64_t>(random() % (model.size() + 100), model.size());
                ASSERT_EQ(file.SetWritePosition(writeAt, AsyncFile::kFromStart), writeAt);
                break;
            case 7:
                if (random() % 4 == 0) {
                    ASSERT_TRUE(file.Truncate());
                    model.resize(writeAt);
                    readAt = std::min<int64_t>(readAt, writeAt);
                }
                break;
            }
            ASSERT_EQ(file.Size(), static_cast<int64_t>(model.size()));
            ASSERT_EQ(file.ReadPosition(), readAt);
        }
        file.Close();
        EXPECT_EQ(Contents(path), model);
    }
}

TEST_F(AsyncFileTest, ReadAfterOverwritingCachedBytesSeesTheNewBytes)
{
    const std::string path = Path("cached");
    WriteFile(path, std::vector<uint8_t>(1000, 'a'));
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), false, 4096));
    uint8_t first[10];
    ASSERT_EQ(file.Read(first, 10), 10u);
    const std::vector<uint8_t> fresh(20, 'b');
    file.SetWritePosition(5, AsyncFile::kFromStart);
    ASSERT_EQ(file.Write(fresh.data(), 20), 20u);
    uint8_t again[30];
    file.SetReadPosition(0, AsyncFile::kFromStart);
    ASSERT_EQ(file.Read(again, 30), 30u);
    EXPECT_EQ(std::string(again, again + 30), std::string(5, 'a') + std::string(20, 'b') + std::string(5, 'a'));
}

TEST_F(AsyncFileTest, PositionsAreClampedToTheFile)
{
    const std::string path = Path("positions");
    WriteFile(path, std::vector<uint8_t>(100, 0));
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), false, 0));
    struct Case {
        int64_t offset;
        int32_t origin;
        int64_t expected;
    } cases[] = {
        {30, AsyncFile::kFromStart, 30},     {-1, AsyncFile::kFromStart, 0},
        {500, AsyncFile::kFromStart, 100},   {INT64_MAX, AsyncFile::kFromStart, 100},
        {10, AsyncFile::kFromPosition, 40},  {-100, AsyncFile::kFromPosition, 0},
        {-10, AsyncFile::kFromEnd, 90},      {5, AsyncFile::kFromEnd, 100},
        {INT64_MIN, AsyncFile::kFromEnd, 0}, {-100, AsyncFile::kFromEnd, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        file.SetReadPosition(30, AsyncFile::kFromStart);
        file.SetWritePosition(30, AsyncFile::kFromStart);
        EXPECT_EQ(file.SetReadPosition(c.offset, c.origin), c.expected);
        EXPECT_EQ(file.SetWritePosition(c.offset, c.origin), c.expected);
    }
}

TEST_F(AsyncFileTest, TruncatePullsTheReadPositionBack)
{
    for (uint32_t bufferSize : {0u, 64u}) {
        const std::string path = Path("truncate" + std::to_string(bufferSize));
        WriteFile(path, Pattern(200, 3));
        AsyncFile file;
        ASSERT_TRUE(file.Open(path.c_str(), false, bufferSize));
        uint8_t bytes[150];
        ASSERT_EQ(file.Read(bytes, 150), 150u);
        file.SetWritePosition(120, AsyncFile::kFromStart);
        ASSERT_TRUE(file.Truncate());
        EXPECT_EQ(file.Size(), 120);
        EXPECT_EQ(file.ReadPosition(), 120);
        EXPECT_EQ(file.Read(bytes, 10), 0u);
        file.SetWritePosition(0, AsyncFile::kFromStart);
        ASSERT_TRUE(file.Truncate());
        EXPECT_EQ(file.ReadPosition(), 0);
        file.Close();
        EXPECT_EQ(fs::file_size(path), 0u);
    }
}

TEST_F(AsyncFileTest, CreatingMakesTheMissingFolders)
{
    const std::string path = Path("one/two/three/file.dat");
    AsyncFile file;
    EXPECT_FALSE(file.Open(path.c_str(), false, 0));
    EXPECT_EQ(file.OpenError(), ENOENT);
    EXPECT_FALSE(fs::exists(Path("one")));
    ASSERT_TRUE(file.Open(path.c_str(), true, 0));
    EXPECT_TRUE(fs::is_directory(Path("one/two/three")));
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_FALSE(file.Existed());
}

TEST_F(AsyncFileTest, EverythingReturnsZeroAfterAFailedOpen)
{
    AsyncFile file;
    ASSERT_FALSE(file.Open(Path("missing").c_str(), false, 4096));
    uint8_t byte = 1;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
    EXPECT_EQ(file.Write(&byte, 1), 0u);
    EXPECT_EQ(file.SetReadPosition(5, AsyncFile::kFromStart), 0);
    EXPECT_EQ(file.Size(), 0);
    EXPECT_FALSE(file.Truncate());
    EXPECT_FALSE(file.Existed());
}

TEST_F(AsyncFileTest, CloseWritesEverythingStillQueued)
{
    const std::string path = Path("queued");
    const auto data = Pattern(3 << 20, 9);
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), true, 1 << 16));
    for (size_t at = 0; at < data.size(); at += 4096)
        ASSERT_EQ(file.Write(data.data() + at, 4096), 4096u);
    file.Close();
    EXPECT_EQ(Contents(path), data);
}

TEST_F(AsyncFileTest, SecondWriterIsRefusedButReadersAreNot)
{
    const std::string path = Path("shared");
    WriteFile(path, Pattern(10, 4));
    AsyncFile writer;
    ASSERT_TRUE(writer.Open(path.c_str(), false, 0));
    AsyncFile second;
    EXPECT_FALSE(second.Open(path.c_str(), false, 0));
    EXPECT_EQ(second.OpenError(), EWOULDBLOCK);
    AsyncFile reader;
    ASSERT_TRUE(reader.OpenReadOnly(path.c_str(), 0));
    EXPECT_FALSE(reader.Writable());
    uint8_t byte = 0;
    EXPECT_EQ(reader.Write(&byte, 1), 0u);
    EXPECT_FALSE(reader.Truncate());
    EXPECT_EQ(reader.Read(&byte, 1), 1u);
    writer.Close();
    EXPECT_TRUE(second.Open(path.c_str(), false, 0));
}

// A buffered write that fails on the disk makes every later write report failure instead of success.
TEST(AsyncFileFailure, WritesAfterAFailedDiskWriteReportFailure)
{
    for (uint32_t bufferSize : {0u, 4096u}) {
        SCOPED_TRACE(bufferSize);
        AsyncFile file;
        ASSERT_TRUE(file.Open("/dev/full", false, bufferSize));
        const uint8_t bytes[10] = {};
        const uint32_t first = file.Write(bytes, 10);
        EXPECT_EQ(first, bufferSize ? 10u : 0u);
        uint8_t back[1];
        file.Read(back, 1);
        EXPECT_EQ(file.Write(bytes, 10), 0u);
    }
}

} // namespace
} // namespace sirrel
