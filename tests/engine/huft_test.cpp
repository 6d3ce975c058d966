/* huft_test.cpp: the decoding-table builder and the alphabet tables. */
#include "engine/inflate.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

unsigned block_count(huft *t)
{
    unsigned n = 0;
    for (huft *p = t; p; p = (p - 1)->link)
        n++;
    return n;
}

/* Decodes one code (the bits of index, first bit in bit 0) by the builder's contract. */
const huft *lookup(const huft *t, int l, unsigned index, unsigned *used)
{
    const huft *e = t + (index & mask_bits[l]);
    *used = 0;
    while (e->op > 16) {
        if (e->op == HUFT_INVALID)
            return e;
        *used += e->bits;
        unsigned w = e->op - 16;
        e = e->link + ((index >> *used) & mask_bits[w]);
    }
    *used += e->bits;
    return e;
}

unsigned reverse(unsigned code, unsigned len)
{
    unsigned r = 0;
    for (unsigned i = 0; i < len; i++)
        r |= ((code >> i) & 1u) << (len - 1 - i);
    return r;
}

} // namespace

TEST(Huft, SmallCases)
{
    const struct {
        std::vector<unsigned> lengths;
        int request, width, result;
        unsigned blocks;
    } cases[] = {
        {{0, 0, 0}, 7, 0, HUFT_COMPLETE, 0},
        {{0, 1, 0}, 7, 1, HUFT_COMPLETE, 1},
        {{1, 1, 1}, 7, 1, HUFT_OVERSUB, 0},
        {{1, 2, 3, 3}, 7, 3, HUFT_COMPLETE, 1},
        {{5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5}, 9, 5, HUFT_INCOMPLETE, 1},
        {{4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 2, 4, HUFT_COMPLETE, 1},
        {{2, 2, 2, 0, 3}, 7, 3, HUFT_INCOMPLETE, 1},
    };
    for (const auto &c : cases) {
        huft *t = reinterpret_cast<huft *>(&t); /* must be overwritten or left */
        huft *const before = t;
        int m = c.request;
        int r = huft_build(c.lengths.data(), (unsigned)c.lengths.size(), 19, nullptr, nullptr, &t, &m);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(m, c.width);
        if (r == HUFT_OVERSUB) {
            EXPECT_EQ(t, before) << "nothing is returned for over-subscribed lengths";
            continue;
        }
        EXPECT_EQ(block_count(t), c.blocks);
        huft_free(t);
    }
}

TEST(Huft, OneBitCodeHasAnInvalidPattern)
{
    const unsigned lengths[3] = {0, 1, 0};
    huft *t;
    int m = 7;
    ASSERT_EQ(huft_build(lengths, 3, 19, nullptr, nullptr, &t, &m), HUFT_COMPLETE);
    ASSERT_EQ(m, 1);
    EXPECT_EQ(t[0].op, HUFT_LITERAL);
    EXPECT_EQ(t[0].value, 1);
    EXPECT_EQ(t[0].bits, 1);
    EXPECT_EQ(t[1].op, HUFT_INVALID);
    huft_free(t);
}

TEST(Huft, FixedLiteralCode)
{
    unsigned l[288];
    for (unsigned i = 0; i < 288; i++)
        l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    huft *t;
    int m = 7;
    ASSERT_EQ(huft_build(l, 288, 257, cplens, cplext, &t, &m), HUFT_COMPLETE);
    EXPECT_EQ(m, 7);
    EXPECT_EQ(block_count(t), 105u);
    unsigned one = 0, two = 0, entries = 128 + 1;
    for (unsigned i = 0; i < 128; i++) {
        if (t[i].op <= 16 || t[i].op == HUFT_INVALID)
            continue;
        unsigned w = t[i].op - 16;
        (w == 1 ? one : two)++;
        entries += (1u << w) + 1;
        EXPECT_EQ(t[i].bits, 7);
    }
    EXPECT_EQ(one, 76u);
    EXPECT_EQ(two, 28u);
    EXPECT_EQ(entries, 497u);

    /* Every symbol decodes from its canonical code; 286, 287 are invalid. */
    unsigned code = 0, next[10] = {0};
    unsigned count[10] = {0};
    for (unsigned i = 0; i < 288; i++)
        count[l[i]]++;
    for (unsigned len = 1; len < 10; len++)
        next[len] = code = (code + count[len - 1]) << 1;
    next[7] = 0;
    next[8] = (0 + 24) << 1;
    next[9] = (next[8] + 152) << 1;
    for (unsigned sym = 0; sym < 288; sym++) {
        unsigned c = next[l[sym]]++;
        unsigned used;
        const huft *e = lookup(t, m, reverse(c, l[sym]), &used);
        if (sym >= 286) {
            EXPECT_EQ(e->op, HUFT_INVALID) << sym;
            continue;
        }
        EXPECT_EQ(used, l[sym]) << sym;
        if (sym < 256) {
            EXPECT_EQ(e->op, HUFT_LITERAL);
            EXPECT_EQ(e->value, sym);
        } else if (sym == 256) {
            EXPECT_EQ(e->op, HUFT_END);
        } else {
            EXPECT_EQ(e->op, cplext[sym - 257]) << sym;
            EXPECT_EQ(e->value, cplens[sym - 257]) << sym;
        }
    }
    huft_free(t);
}

TEST(Huft, FixedDistanceCodeIsIncomplete)
{
    unsigned l[30];
    for (unsigned &x : l)
        x = 5;
    huft *t;
    int m = 5;
    ASSERT_EQ(huft_build(l, 30, 0, cpdist, cpdext, &t, &m), HUFT_INCOMPLETE);
    EXPECT_EQ(m, 5);
    EXPECT_EQ(block_count(t), 1u);
    for (unsigned i = 0; i < 32; i++) {
        if (i == 15 || i == 31) {
            EXPECT_EQ(t[i].op, HUFT_INVALID) << i;
            continue;
        }
        unsigned sym = reverse(i, 5);
        EXPECT_EQ(t[i].value, cpdist[sym]);
        EXPECT_EQ(t[i].op, cpdext[sym]);
    }
    huft_free(t);
}

/* Random complete codes: every symbol decodes from its canonical code. */
TEST(Huft, CanonicalCodesDecode)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; round++) {
        unsigned n = 2 + rng() % 287;
        /* Split leaves of a tree until it has n of them: complete by construction. */
        std::vector<unsigned> leaves = {0};
        while (leaves.size() < n) {
            unsigned pick = rng() % leaves.size();
            if (leaves[pick] >= 15)
                continue;
            leaves[pick]++;
            leaves.push_back(leaves[pick]);
        }
        std::shuffle(leaves.begin(), leaves.end(), rng);
        std::vector<unsigned> lengths(leaves);
        /* Some unused symbols in between. */
        for (unsigned z = rng() % 3; z > 0 && lengths.size() < 288; z--)
            lengths.insert(lengths.begin() + rng() % lengths.size(), 0);
        unsigned syms = (unsigned)lengths.size();
        int request = (round % 2) ? 9 : 6;
        huft *t;
        int m = request;
        ASSERT_EQ(huft_build(lengths.data(), syms, syms, nullptr, nullptr, &t, &m), HUFT_COMPLETE);
        unsigned count[17] = {0}, next[17] = {0}, code = 0;
        for (unsigned x : lengths)
            count[x]++;
        count[0] = 0;
        for (unsigned len = 1; len <= 16; len++)
            next[len] = code = (code + count[len - 1]) << 1;
        for (unsigned sym = 0; sym < syms; sym++) {
            if (lengths[sym] == 0)
                continue;
            unsigned used;
            const huft *e = lookup(t, m, reverse(next[lengths[sym]]++, lengths[sym]), &used);
            ASSERT_EQ(e->op, sym < 256 ? HUFT_LITERAL : HUFT_END) << "round " << round << " sym " << sym;
            ASSERT_EQ(e->value, sym);
            ASSERT_EQ(used, lengths[sym]);
        }
        huft_free(t);
    }
}

/* Checks every entry reachable from a table of 2^width entries. */
void check_entries(const huft *t, unsigned width, const std::set<const huft *> &blocks, unsigned *seen)
{
    ASSERT_TRUE(blocks.count(t)) << "a link points outside the build's blocks";
    for (unsigned i = 0; i < (1u << width); i++) {
        const huft &e = t[i];
        if (e.op == HUFT_INVALID)
            continue;
        ASSERT_GE(e.bits, 1) << "an entry that was never set";
        ASSERT_TRUE(e.op <= 16 || (e.op > 16 && e.op <= 32)) << (int)e.op;
        if (e.op > 16) {
            check_entries(e.link, e.op - 16u, blocks, seen);
        } else {
            (*seen)++;
        }
    }
}

/*
 * Lengths that make a sub-table wider than the first level (a 1-bit code
 * beside a 15-bit one, an incomplete code that the decoder refuses): every
 * index of every table still holds a set entry or an invalid one.
 */
TEST(Huft, WideSubTablesHoldNoUnsetEntries)
{
    const std::vector<std::vector<unsigned>> cases = {
        {1, 15}, {1, 0, 15, 15}, {2, 2, 14}, {1, 9, 15}};
    for (const auto &lengths : cases) {
        huft *t;
        int m = 6;
        int r = huft_build(lengths.data(), (unsigned)lengths.size(), 0, cpdist, cpdext, &t, &m);
        ASSERT_EQ(r, HUFT_INCOMPLETE);
        std::set<const huft *> blocks;
        for (huft *p = t; p; p = (p - 1)->link)
            blocks.insert(p);
        unsigned seen = 0;
        check_entries(t, (unsigned)m, blocks, &seen);
        EXPECT_GT(seen, 0u);
        huft_free(t);
    }
}

TEST(Tables, Alphabets)
{
    EXPECT_EQ(cplens[0], 3);
    EXPECT_EQ(cplens[28], 258);
    EXPECT_EQ(cplens[29], 0);
    EXPECT_EQ(cplext[28], 0);
    EXPECT_EQ(cplext[29], 99);
    EXPECT_EQ(cplext[30], 99);
    EXPECT_EQ(cpdist[29], 24577);
    EXPECT_EQ(cpdext[29], 13);
    const uch order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int i = 0; i < 19; i++)
        EXPECT_EQ(border[i], order[i]);
    for (int i = 0; i <= 16; i++)
        EXPECT_EQ(mask_bits[i], (1u << i) - 1);
}
