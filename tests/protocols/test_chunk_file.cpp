#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "protocols/chunk_file.h"
#include "stored_files.h"

namespace sirrel {
namespace {

// One chunk as it lies in the file: 4-byte key, little-endian length, data.
Bytes Chunk(uint32_t key, const Bytes &data, uint32_t length)
{
    Bytes out;
    for (uint32_t v : {key, length})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Chunk(uint32_t key, const Bytes &data) { return Chunk(key, data, uint32_t(data.size())); }

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class ChunkFile : public ScratchFolder {
protected:
    ChunkStatus write(uint32_t key, const Bytes &data)
    {
        return WriteChunk(file, data.data(), uint32_t(data.size()), &key, 4, std::chrono::milliseconds(50));
    }
    ChunkRead read(uint32_t key, Bytes &into) { return ReadChunk(file, into.data(), uint32_t(into.size()), &key, 4); }

    std::string file = path("sub/dir/Chunks.dat");
};

TEST_F(ChunkFile, MissingFileLeavesDestinationAlone)
{
    Bytes into(8, 0xEE);
    const ChunkRead r = read(1, into);
    EXPECT_EQ(r.status, ChunkStatus::kNoFile);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(into, Bytes(8, 0xEE));
    EXPECT_FALSE(exists(file));
}

TEST_F(ChunkFile, WritesCreateFoldersAndAppendInOrder)
{
    ASSERT_EQ(write(0x11223344, {1, 2, 3}), ChunkStatus::kFound);
    ASSERT_EQ(write(7, {9}), ChunkStatus::kFound);
    EXPECT_EQ(load(file), Join({Chunk(0x11223344, {1, 2, 3}), Chunk(7, {9})}));

    Bytes into(3);
    EXPECT_EQ(read(0x11223344, into).status, ChunkStatus::kFound);
    EXPECT_EQ(into, (Bytes{1, 2, 3}));
    EXPECT_EQ(read(8, into).status, ChunkStatus::kKeyAbsent);
    EXPECT_TRUE(read(8, into).Ok());
}

TEST_F(ChunkFile, SameLengthIsRewrittenInPlace)
{
    write(1, {1, 1});
    write(2, {2, 2});
    write(3, {3, 3});
    ASSERT_EQ(write(2, {5, 6}), ChunkStatus::kFound);
    EXPECT_EQ(load(file), Join({Chunk(1, {1, 1}), Chunk(2, {5, 6}), Chunk(3, {3, 3})}));
}

TEST_F(ChunkFile, OtherLengthMovesToTheEnd)
{
    write(1, {1, 1});
    write(2, {2, 2});
    write(3, {3, 3, 3});
    ASSERT_EQ(write(2, {7}), ChunkStatus::kFound);
    EXPECT_EQ(load(file), Join({Chunk(1, {1, 1}), Chunk(3, {3, 3, 3}), Chunk(2, {7})}));
    ASSERT_EQ(write(1, {8, 8, 8, 8}), ChunkStatus::kFound);
    EXPECT_EQ(load(file), Join({Chunk(3, {3, 3, 3}), Chunk(2, {7}), Chunk(1, {8, 8, 8, 8})}));
}

TEST_F(ChunkFile, LongerChunkFillsOnlyTheCapacity)
{
    write(1, {1, 2, 3, 4, 5});
    write(2, {6});
    Bytes into(3);
    const ChunkRead r = read(1, into);
    EXPECT_EQ(r.copied, 3u);
    EXPECT_EQ(into, (Bytes{1, 2, 3}));

    Bytes wide(6, 0xEE);
    EXPECT_EQ(read(2, wide).copied, 1u);
    EXPECT_EQ(wide, (Bytes{6, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(ChunkFile, ZeroLengthChunk)
{
    write(1, {});
    write(2, {4});
    EXPECT_EQ(load(file), Join({Chunk(1, {}), Chunk(2, {4})}));
    Bytes into(2, 0xEE);
    const ChunkRead r = read(1, into);
    EXPECT_EQ(r.status, ChunkStatus::kFound);
    EXPECT_EQ(r.copied, 0u);
    EXPECT_EQ(read(2, into).copied, 1u);
}

TEST_F(ChunkFile, FirstOfTwoEqualKeysIsTheOneUsed)
{
    std::filesystem::create_directories(folder + "sub/dir");
    save(file, Join({Chunk(5, {1}), Chunk(6, {2}), Chunk(5, {3})}));
    Bytes into(1);
    read(5, into);
    EXPECT_EQ(into[0], 1);
    write(5, {4});
    EXPECT_EQ(load(file), Join({Chunk(5, {4}), Chunk(6, {2}), Chunk(5, {3})}));
}

struct TornCase {
    const char *what;
    Bytes tail;
};

// Tails a crash may leave: part of a header, or a length reaching past the end of the file.
const TornCase kTornCases[] = {
    {"two header bytes", {9, 0}},
    {"key without length", {9, 0, 0, 0, 1}},
    {"length past the end", Chunk(9, {1, 2}, 100)},
    {"huge length", Chunk(9, {}, 0xFFFFFFFF)},
};

class TornChunkFile : public ChunkFile, public ::testing::WithParamInterface<TornCase> {};

TEST_P(TornChunkFile, TailIsKeptAsideAndNewChunksStayReachable)
{
    std::filesystem::create_directories(folder + "sub/dir");
    const Bytes whole = Join({Chunk(1, {1}), Chunk(2, {2, 2})});
    const Bytes damaged = Join({whole, GetParam().tail});
    save(file, damaged);

    Bytes into(2, 0);
    EXPECT_EQ(read(9, into).status, ChunkStatus::kKeyAbsent);
    EXPECT_EQ(read(2, into).status, ChunkStatus::kFound);

    ASSERT_EQ(write(3, {3}), ChunkStatus::kFound);
    EXPECT_EQ(load(file), Join({whole, Chunk(3, {3})}));
    EXPECT_EQ(load(file + ".damaged"), damaged);
    Bytes one(1);
    EXPECT_EQ(read(3, one).status, ChunkStatus::kFound);
    EXPECT_EQ(one[0], 3);
}

INSTANTIATE_TEST_SUITE_P(Tails, TornChunkFile, ::testing::ValuesIn(kTornCases));

TEST_F(ChunkFile, LockedFileIsNotWrittenAndTheCallerLearnsIt)
{
    write(1, {1});
    const Bytes before = load(file);
    {
        ForeignLock lock(file);
        EXPECT_EQ(write(1, {2}), ChunkStatus::kBusy);
        Bytes into(1);
        EXPECT_EQ(read(1, into).status, ChunkStatus::kBusy);
    }
    EXPECT_EQ(load(file), before);
    EXPECT_EQ(write(1, {2}), ChunkStatus::kFound);
}

// Receivers of several processes rewriting their chunks at once, with lengths that change so that chunks move:
// the lock keeps every write whole.
TEST_F(ChunkFile, ConcurrentWritersKeepEveryChunk)
{
    constexpr uint32_t kWriters = 4;
    constexpr int kRounds = 40;
    std::vector<pid_t> children;
    for (uint32_t key = 0; key < kWriters; ++key) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            for (int round = 0; round < kRounds; ++round) {
                const Bytes data(1 + (round + key) % 5, uint8_t(round));
                ok = ok && WriteChunk(file, data.data(), uint32_t(data.size()), &key, 4) == ChunkStatus::kFound;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    size_t expectedSize = 0;
    for (uint32_t key = 0; key < kWriters; ++key) {
        const Bytes last(1 + (kRounds - 1 + key) % 5, uint8_t(kRounds - 1));
        Bytes into(8, 0xEE);
        const ChunkRead r = read(key, into);
        ASSERT_EQ(r.status, ChunkStatus::kFound) << key;
        EXPECT_EQ(Bytes(into.begin(), into.begin() + r.copied), last) << key;
        expectedSize += 8 + last.size();
    }
    EXPECT_EQ(load(file).size(), expectedSize);
    EXPECT_FALSE(exists(file + ".damaged"));
}

TEST_F(ChunkFile, UnusableFolderFails)
{
    save(path("plain"), {1});
    file = path("plain/Chunks.dat"); // a folder that is a file
    EXPECT_EQ(write(1, {1}), ChunkStatus::kFailed);
    Bytes into(1);
    EXPECT_EQ(read(1, into).status, ChunkStatus::kNoFile);
}

} // namespace
} // namespace sirrel
