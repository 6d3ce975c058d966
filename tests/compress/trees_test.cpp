/*
 * trees_test.cpp: block emission: the run-length coding of code lengths,
 * the choice of block type, the ends of a block, and exact streams for
 * tiny inputs at every level.
 */
#include "compress_test_util.h"

#include "engine/trees.h"
#include "platform/crt.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <unistd.h>

/* Reads bits back from outbuf, least significant first. */
struct bit_reader {
    const uint8_t *p;
    unsigned pos = 0;
    unsigned field(int n)
    {
        unsigned v = 0;
        for (int i = 0; i < n; i++, pos++)
            v |= (unsigned)((p[pos / 8] >> (pos % 8)) & 1) << i;
        return v;
    }
    unsigned code(int n)
    {
        unsigned v = 0;
        for (int i = 0; i < n; i++, pos++)
            v = (v << 1) | ((p[pos / 8] >> (pos % 8)) & 1);
        return v;
    }
};

class Trees : public ::testing::Test {
protected:
    void SetUp() override
    {
        ofd = os_open("/dev/null", O_WRONLY, 0);
        ASSERT_NE(ofd, -1);
        outcnt = 0;
        bi_init(-1);
        ct_init();
    }
    void TearDown() override { os_close(ofd); }
};

/* Code-length codes sent as 5-bit codes equal to the symbol, for reading back. */
static void plain_bl_codes()
{
    for (int s = 0; s < BL_CODES; s++) {
        bl_tree[s].dl = 5;
        bl_tree[s].fc = (ush)bi_reverse((unsigned)s, 5);
    }
}

TEST_F(Trees, LengthRunsAreCodedWithRepeatCodes)
{
    struct item {
        const char *what;
        std::vector<int> lens;
        std::vector<std::pair<unsigned, unsigned>> sent; /* symbol, extra value */
        unsigned freq16, freq17, freq18;
    };
    std::vector<item> cases = {
        {"255 zeros", std::vector<int>(255, 0), {{18, 138 - 11}, {18, 117 - 11}}, 0, 0, 2},
        {"ten fours", std::vector<int>(10, 4), {{4, 0}, {16, 6 - 3}, {16, 3 - 3}}, 2, 0, 0},
        {"five zeros", std::vector<int>(5, 0), {{17, 5 - 3}}, 0, 1, 0},
        {"two threes", {3, 3}, {{3, 0}, {3, 0}}, 0, 0, 0},
    };
    for (const item &c : cases) {
        static ct_data tree[300];
        for (size_t i = 0; i < c.lens.size(); i++)
            tree[i].dl = (ush)c.lens[i];
        for (int s = 0; s < BL_CODES; s++)
            bl_tree[s].fc = 0;
        int max_code = (int)c.lens.size() - 1;
        scan_tree(tree, max_code);
        EXPECT_EQ(bl_tree[16].fc, c.freq16) << c.what;
        EXPECT_EQ(bl_tree[17].fc, c.freq17) << c.what;
        EXPECT_EQ(bl_tree[18].fc, c.freq18) << c.what;
        EXPECT_EQ(tree[max_code + 1].dl, 0xffff) << c.what;

        plain_bl_codes();
        outcnt = 0;
        bi_init(-1);
        send_tree(tree, max_code);
        bi_windup();
        bit_reader r{outbuf};
        for (auto [sym, extra] : c.sent) {
            EXPECT_EQ(r.code(5), sym) << c.what;
            int xbits = sym == 16 ? 2 : sym == 17 ? 3 : sym == 18 ? 7 : 0;
            if (xbits) {
                EXPECT_EQ(r.field(xbits), extra) << c.what;
            }
        }
        EXPECT_EQ((r.pos + 7) / 8, outcnt) << c.what;
    }
    /* Leave the code-length tree clean for the next block. */
    for (int s = 0; s < BL_CODES; s++)
        bl_tree[s].fc = 0;
}

TEST_F(Trees, IncompressibleBlockIsStoredOnlyWhenItsDataIsPresent)
{
    std::mt19937 rng(3);
    bytes data(300);
    for (auto &b : data)
        b = (uint8_t)rng();
    for (int present = 1; present >= 0; present--) {
        outcnt = 0;
        bi_init(-1);
        for (uint8_t b : data)
            EXPECT_EQ(ct_tally(0, b), 0);
        flush_block(present ? (const char *)data.data() : nullptr, data.size(), 1);
        bit_reader r{outbuf};
        EXPECT_EQ(r.field(1), 1u);
        unsigned btype = r.field(2);
        if (present) {
            EXPECT_EQ(btype, 0u);
            ASSERT_EQ(outcnt, 5u + data.size());
            EXPECT_EQ(outbuf[1] | outbuf[2] << 8, 300);
            EXPECT_EQ(outbuf[3] | outbuf[4] << 8, 0xffff ^ 300);
            EXPECT_EQ(bytes(outbuf + 5, outbuf + outcnt), data);
        } else {
            EXPECT_NE(btype, 0u);
        }
    }
}

/*
 * Block sizes are compared in whole bytes, and a tie goes to the fixed
 * codes.  Fifteen literals a and b cost 127 bits with the fixed codes (17
 * bytes with the block header).  With 7 a and 8 b the dynamic estimate is
 * 126 bits, also 17 bytes, so the fixed block is sent although it is one
 * bit longer; with 5 a and 10 b it is 124 bits, 16 bytes, and wins.
 */
TEST_F(Trees, EqualByteEstimatesChooseTheFixedBlock)
{
    struct item { const char *lits; unsigned btype; unsigned size; };
    for (item c : {item{"bbbaaaaaabbbbba", 1, 17}, item{"ababaabbbbabbbb", 2, 16}}) {
        outcnt = 0;
        bi_init(-1);
        for (const char *p = c.lits; *p; p++)
            ASSERT_EQ(ct_tally(0, (uint8_t)*p), 0);
        flush_block(nullptr, 100000, 1);
        bit_reader r{outbuf};
        EXPECT_EQ(r.field(1), 1u) << c.lits;
        EXPECT_EQ(r.field(2), c.btype) << c.lits;
        EXPECT_EQ(outcnt, c.size) << c.lits;
    }
}

TEST_F(Trees, BlockEndsEarlyAt4096TalliesOnlyWhenItPacksWell)
{
    struct item { long in; bool early; };
    for (item c : {item{100000, true}, item{8000, false}}) {
        block_start = 0;
        strstart = (unsigned)c.in;
        int r = 0;
        for (int i = 1; i < 4096; i++)
            ASSERT_EQ(ct_tally(0, 'a' + i % 3), 0) << i;
        r = ct_tally(0, 'a');
        EXPECT_EQ(r != 0, c.early) << c.in;
        outcnt = 0;
        flush_block(nullptr, (ulg)c.in, 0);
    }
    strstart = 0;
}

TEST_F(Trees, BlockEndsAtTally32767)
{
    block_start = 0;
    strstart = 0; /* no input counted: the early end never triggers */
    for (unsigned i = 1; i < 32767; i++)
        ASSERT_EQ(ct_tally(0, (int)(i & 0xff)), 0) << i;
    EXPECT_EQ(ct_tally(0, 1), 1);
    EXPECT_EQ(last_lit, 32767u);
    outcnt = 0;
    flush_block(nullptr, 32767, 0);
    EXPECT_EQ(last_lit, 0u);
}

TEST(Levels, TwentyEqualBytesAreTwoLiteralsAndOneMatchAtEveryLevel)
{
    bit_packer p;
    p.field(1, 1);
    p.field(1, 2);
    p.code(0x30 + 0x61, 8);
    p.code(0x30 + 0x61, 8);
    p.code(268 - 256, 7); /* length 18: code 268, one extra bit */
    p.field(1, 1);
    p.code(0, 5);         /* distance 1 */
    p.code(0, 7);         /* end of block */
    const int saved = level;
    for (int l = 1; l <= 9; l++) {
        level = l;
        bytes out = compress_bytes(bytes(20, 0x61), "a20");
        size_t off = deflate_offset("a20");
        ASSERT_GE(out.size(), off + p.out.size() + 8) << l;
        EXPECT_EQ(out[8], l == 1 ? 4 : l == 9 ? 2 : 0) << l;
        EXPECT_EQ(bytes(out.begin() + off, out.end() - 8), p.out) << l;
    }
    level = saved;
}

/*
 * The lazy loop drops a 3-byte match more than 4096 bytes back; the
 * greedy loop takes it.  The input holds one repeated 3-byte string and
 * filler without any repeated 3 bytes, so the block's only possible match
 * is that one; d_buf keeps the last block's distances after it is sent.
 */
TEST(Levels, FarThreeByteMatchIsDroppedOnlyByTheLazyLoop)
{
    struct item { size_t filler; int lvl; bool matched; };
    const int saved = level;
    for (item c : {item{5000, 9, false}, item{5000, 3, true}, item{3000, 9, true}}) {
        std::mt19937 rng(11);
        bytes in = {0xee, 0xf0, 0xf1, 0xf2};
        std::set<uint32_t> seen;
        while (in.size() < 4 + c.filler) {
            uint8_t b = (uint8_t)(rng() % 0xe0);
            size_t n = in.size();
            uint32_t g = (uint32_t)in[n - 2] << 16 | (uint32_t)in[n - 1] << 8 | b;
            if (n >= 6 && seen.count(g))
                continue; /* keep every 3 bytes of the filler unique */
            if (n >= 6)
                seen.insert(g);
            in.push_back(b);
        }
        const size_t second = in.size();
        for (uint8_t b : {0xf0, 0xf1, 0xf2, 0xfa, 0xfb})
            in.push_back(b);
        level = c.lvl;
        d_buf[0] = 0xffff;
        compress_bytes(in, "far");
        if (c.matched)
            EXPECT_EQ(d_buf[0], second - 1 - 1) << c.filler << " level " << c.lvl;
        else
            EXPECT_EQ(d_buf[0], 0xffff) << c.filler << " level " << c.lvl;
    }
    level = saved;
}
