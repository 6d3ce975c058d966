/* The launcher's byte pipes: capacity, waits on both sides, the event,
 * flushing, refused sizes, and a long two-thread transfer. */
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "launcher/extent.h"
#include "wait_until.h"

namespace {

std::string CreateFailure(int size)
{
    try {
        PIPE *pipe = CreatePipe(size);
        DeletePipe(pipe);
    } catch (const char *text) {
        return text;
    }
    return "(nothing thrown)";
}

TEST(Pipe, SizesThatCanHoldNoByteAreRefused)
{
    for (int size : {0, -1, 1, INT_MIN})
        EXPECT_EQ(CreateFailure(size), "error: CreatePipe") << "size " << size;
    EXPECT_EQ(CreateFailure(2), "(nothing thrown)");
    DeletePipe(nullptr); /* nothing to release */
}

TEST(Pipe, NewPipeIsEmptyWithSilentEvent)
{
    PIPE *pipe = CreatePipe(8);
    EXPECT_EQ(pipe->Size, 8);
    EXPECT_EQ(pipe->ReadIndex.load(), 0);
    EXPECT_EQ(pipe->WriteIndex.load(), 0);
    EXPECT_TRUE(EmptyPipe(pipe));
    EXPECT_FALSE(FullPipe(pipe));
    EXPECT_EQ(WaitForEvent(pipe->Event, 0), 0);
    DeletePipe(pipe);
}

TEST(Pipe, SizeFourTakesThreeBytesAndTheFourthWaitsForTheReader)
{
    PIPE *pipe = CreatePipe(4);
    WritePipe(pipe, "abc", 3); /* returns: there is room for three */
    EXPECT_TRUE(FullPipe(pipe));
    EXPECT_FALSE(EmptyPipe(pipe));

    std::atomic<bool> written{false};
    std::thread writer([&] {
        WritePipe(pipe, "d", 1);
        written = true;
    });
    /* The pipe is full: the writer cannot finish, however long it runs. */
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(written.load());

    char got[4];
    ReadPipe(pipe, got, 1);
    EXPECT_EQ(got[0], 'a');
    EXPECT_TRUE(WaitUntil([&] { return written.load(); }));
    writer.join();
    ReadPipe(pipe, got + 1, 3);
    EXPECT_EQ(std::string(got, 4), "abcd");
    EXPECT_TRUE(EmptyPipe(pipe));
    DeletePipe(pipe);
}

TEST(Pipe, ReadWaitsForAllItsBytesOverSeveralWrites)
{
    PIPE *pipe = CreatePipe(16);
    char got[6] = {};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        ReadPipe(pipe, got, 5);
        done = true;
    });
    WritePipe(pipe, "he", 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load()) << "only two of five bytes are there";
    WritePipe(pipe, "l", 1);
    WritePipe(pipe, "lo!", 2); /* two of these three */
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    reader.join();
    EXPECT_EQ(std::string(got), "hello");
    EXPECT_TRUE(EmptyPipe(pipe));
    DeletePipe(pipe);
}

TEST(Pipe, ReaderWokenBySignalNotByItsPollingTimeOut)
{
    /* The reader waits on the event; a write must wake it well before the
     * reader's 250 ms look-again, repeatedly (ordering, generous bound). */
    PIPE *pipe = CreatePipe(4);
    std::atomic<int> got{0};
    std::thread reader([&] {
        char c;
        for (int i = 0; i < 20; i++) {
            ReadPipe(pipe, &c, 1);
            got++;
        }
    });
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(WaitUntil([&] { return EmptyPipe(pipe); }));
        WritePipe(pipe, "x", 1);
        ASSERT_TRUE(WaitUntil([&] { return got.load() == i + 1; }));
    }
    reader.join();
    DeletePipe(pipe);
}

TEST(Pipe, WriteLongerThanThePipeKeepsTheReaderAwake)
{
    /* 600 bytes through 3 free bytes: some 200 times the writer finds the
     * pipe full.  Each time it signals the bytes it wrote so far; were it
     * to signal only at the end, every round would wait out the reader's
     * 250 ms look-again (50 s in all).  The bound is generous. */
    PIPE *pipe = CreatePipe(4);
    std::string sent(600, '\0'), got(600, '\0');
    for (size_t i = 0; i < sent.size(); i++)
        sent[i] = (char)(i * 7 + 1);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        ReadPipe(pipe, &got[0], (int)got.size());
        done = true;
    });
    auto start = std::chrono::steady_clock::now();
    WritePipe(pipe, sent.data(), (int)sent.size());
    bool finished = WaitUntil([&] { return done.load(); }, 60.0);
    EXPECT_LT(MsSince(start), 25000.0);
    ASSERT_TRUE(finished);
    reader.join();
    EXPECT_EQ(got, sent);
    DeletePipe(pipe);
}

TEST(Pipe, EmptyWriteStillSignals)
{
    for (int len : {0, -3}) {
        PIPE *pipe = CreatePipe(4);
        WritePipe(pipe, "zz", len);
        EXPECT_TRUE(EmptyPipe(pipe)) << len;
        EXPECT_EQ(WaitForEvent(pipe->Event, 0), 1) << len;
        EXPECT_EQ(WaitForEvent(pipe->Event, 0), 0) << "auto-reset, len " << len;
        DeletePipe(pipe);
    }
}

TEST(Pipe, EmptyReadReturnsAtOnce)
{
    PIPE *pipe = CreatePipe(4);
    char c = 'q';
    ReadPipe(pipe, &c, 0);
    ReadPipe(pipe, &c, -1);
    EXPECT_EQ(c, 'q');
    DeletePipe(pipe);
}

TEST(Pipe, FlushDiscardsUnreadBytesAndTheRingGoesOn)
{
    PIPE *pipe = CreatePipe(5);
    WritePipe(pipe, "abc", 3);
    char c;
    ReadPipe(pipe, &c, 1);
    EXPECT_FALSE(EmptyPipe(pipe));
    FlushPipe(pipe);
    EXPECT_TRUE(EmptyPipe(pipe));
    EXPECT_FALSE(FullPipe(pipe));
    /* Writing across the end of Data after the flush still works. */
    WritePipe(pipe, "wxyz", 4);
    EXPECT_TRUE(FullPipe(pipe));
    char got[4];
    ReadPipe(pipe, got, 4);
    EXPECT_EQ(std::string(got, 4), "wxyz");
    DeletePipe(pipe);
}

TEST(Pipe, SmallestPipeWrapsAroundOneByteAtATime)
{
    PIPE *pipe = CreatePipe(2);
    for (int i = 0; i < 50; i++) {
        char in = (char)('A' + i % 26), out = 0;
        WritePipe(pipe, &in, 1);
        EXPECT_TRUE(FullPipe(pipe));
        ReadPipe(pipe, &out, 1);
        ASSERT_EQ(out, in) << i;
        EXPECT_TRUE(EmptyPipe(pipe));
    }
    DeletePipe(pipe);
}

/* Deterministic bytes of the transfer: a 32-bit xorshift stream. */
struct Bytes {
    uint32_t State;
    explicit Bytes(uint32_t seed) : State(seed) {}
    uint32_t Next()
    {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
};

/* Room in the pipe as the writer sees it. */
int Room(PIPE *pipe)
{
    int r = pipe->ReadIndex.load(std::memory_order_acquire);
    int w = pipe->WriteIndex.load(std::memory_order_relaxed);
    return (r - w - 1 + pipe->Size) % pipe->Size;
}

/*
 * A writer and a reader pass `total` bytes in chunks of changing length.
 * The writer asks for no more room than there is most of the time, so the
 * transfer is not paced by its 10 ms look-again, but sometimes asks for
 * more so that it waits on a full pipe too.  The reader checks every byte.
 */
void Transfer(int size, int total)
{
    PIPE *pipe = CreatePipe(size);
    std::thread writer([=] {
        Bytes data(0x9E3779B9u ^ (uint32_t)size), lengths(12345u);
        std::vector<char> chunk(size_t(size) * 2);
        int sent = 0, overfull = 0;
        while (sent < total) {
            int want = 1 + (int)(lengths.Next() % (uint32_t)(size * 2 - 1));
            if (overfull >= 20 || lengths.Next() % 64 != 0) {
                while (Room(pipe) == 0)
                    std::this_thread::yield();
                want = std::min(want, Room(pipe));
            } else {
                overfull++;
            }
            want = std::min(want, total - sent);
            for (int i = 0; i < want; i++)
                chunk[i] = (char)data.Next();
            WritePipe(pipe, chunk.data(), want);
            sent += want;
        }
    });
    Bytes data(0x9E3779B9u ^ (uint32_t)size), lengths(777u);
    std::vector<char> chunk(size_t(size) * 3);
    int received = 0;
    bool same = true;
    while (received < total) { /* on to the end, so the writer can finish */
        int want = std::min(1 + (int)(lengths.Next() % (uint32_t)(size * 3)), total - received);
        ReadPipe(pipe, chunk.data(), want);
        for (int i = 0; i < want; i++)
            if (chunk[i] != (char)data.Next() && same) {
                ADD_FAILURE() << "size " << size << ": byte " << received + i << " differs";
                same = false;
            }
        received += want;
    }
    writer.join();
    EXPECT_TRUE(same);
    EXPECT_TRUE(EmptyPipe(pipe));
    DeletePipe(pipe);
}

/* Megabytes in all; the smallest pipe hands over byte by byte, so it
 * gets the fewest. */
class PipeStress : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PipeStress, BytesArriveUnchangedAndInOrder)
{
    Transfer(GetParam().first, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PipeStress,
                         ::testing::Values(std::make_pair(2, 1 << 16), std::make_pair(3, 1 << 17),
                                           std::make_pair(7, 1 << 19), std::make_pair(61, 1 << 20),
                                           std::make_pair(64, 1 << 21)));

} // namespace
