/* bits_test.cpp: the bit writer's packing, alignment and stored copies. */
#include "compress_test_util.h"

#include "engine/trees.h"
#include "platform/crt.h"

#include <gtest/gtest.h>

#include <unistd.h>

/* Starts an empty writer whose flushes go to a scratch file. */
class BitWriter : public ::testing::Test {
protected:
    std::string path;
    void SetUp() override
    {
        path = temp_path("bits.out");
        unlink(path.c_str());
        ofd = os_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, OS_PERM_RW);
        ASSERT_NE(ofd, -1);
        outcnt = 0;
        bi_init(-1);
    }
    void TearDown() override { os_close(ofd); }
    bytes pending() const { return bytes(outbuf, outbuf + outcnt); }
};

TEST_F(BitWriter, ThreeBitsThenWindupGiveOneByte)
{
    send_bits(5, 3);
    bi_windup();
    EXPECT_EQ(pending(), bytes({0x05}));
    EXPECT_EQ(bi_valid, 0);
}

TEST_F(BitWriter, SixteenValidBitsWaitUntilTheNextCall)
{
    send_bits(0x1abc, 13);
    send_bits(0x5, 3);
    EXPECT_EQ(outcnt, 0u);
    EXPECT_EQ(bi_valid, 16);
    send_bits(1, 1);
    EXPECT_EQ(pending(), bytes({0xbc, 0xba}));
    EXPECT_EQ(bi_valid, 1);
    EXPECT_EQ(bi_buf, 1);
}

TEST_F(BitWriter, WindupWritesWholeBytesOfTheValidBits)
{
    struct item { int nbits; size_t bytes_out; };
    for (item c : {item{0, 0}, item{1, 1}, item{8, 1}, item{9, 2}, item{16, 2}}) {
        outcnt = 0;
        bi_init(-1);
        for (int i = 0; i < c.nbits; i++)
            send_bits(1, 1);
        bi_windup();
        EXPECT_EQ(outcnt, c.bytes_out) << c.nbits;
        for (unsigned i = 0; i < outcnt; i++) {
            int bits_here = c.nbits - 8 * (int)i > 8 ? 8 : c.nbits - 8 * (int)i;
            EXPECT_EQ(outbuf[i], (uint8_t)((1u << bits_here) - 1)) << c.nbits;
        }
        EXPECT_EQ(bi_valid, 0);
    }
}

TEST_F(BitWriter, StoredCopyAlignsAndWritesLenNlen)
{
    send_bits(1, 3);
    copy_block("", 0, 1);
    EXPECT_EQ(pending(), bytes({0x01, 0x00, 0x00, 0xff, 0xff}));
    outcnt = 0;
    copy_block("xyz", 3, 1);
    EXPECT_EQ(pending(), bytes({0x03, 0x00, 0xfc, 0xff, 'x', 'y', 'z'}));
}

TEST_F(BitWriter, ShortStraddlesAFlushAt16383)
{
    for (unsigned i = 0; i < 16383; i++)
        outbuf[i] = (uint8_t)i;
    outcnt = 16383;
    send_bits(0x0bcd, 12);
    bi_windup(); /* 12 valid bits: a two-byte put */
    EXPECT_EQ(outcnt, 1u);
    EXPECT_EQ(outbuf[0], 0x0b);
    bytes written = read_file(path);
    ASSERT_EQ(written.size(), 16384u);
    EXPECT_EQ(written[16382], (uint8_t)16382);
    EXPECT_EQ(written[16383], 0xcd);
}

TEST(BitReverse, ReversesTheLowBits)
{
    EXPECT_EQ(bi_reverse(1, 3), 4u);
    EXPECT_EQ(bi_reverse(6, 3), 3u);
    EXPECT_EQ(bi_reverse(1, 15), 0x4000u);
    EXPECT_EQ(bi_reverse(0x30 + 0x61, 8), 0x89u);
}
