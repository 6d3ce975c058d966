/*
 * match_test.cpp: the match finder's shortcut for runs of one byte value
 * must choose exactly the matches of the plain walk over every chain
 * entry.  Both builds of the compressor (kv_squash and kv_squash_plain)
 * compress the same run-heavy files at every level, all files in one
 * process, and their members must be byte for byte the same; the members
 * must also decode back to the files.
 */
#include "compress_test_util.h"

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

static void run(bytes &d, size_t n, uint8_t v) { d.insert(d.end(), n, v); }

/* Runs of every length up to 300, of bytes whose chains collide. */
static bytes every_length()
{
    static const uint8_t values[] = {0x00, 0x20, 0xff, 0x00, 0x40};
    bytes d;
    for (size_t len = 1; len <= 300; len++) {
        run(d, len, values[len % 5]);
        d.push_back((uint8_t)(0x41 + len % 7));
    }
    return d;
}

/*
 * Short zero runs packed densely, after bytes that share the zero run's
 * hash (0x20, 0x40, ...): the chains hold far more than 4096 entries, so
 * the chain limit falls inside runs; 160 KiB slides the window.
 */
static bytes dense_short_runs()
{
    std::mt19937 rng(7);
    bytes d;
    while (d.size() < (160u << 10)) {
        run(d, 3 + rng() % 29, 0);
        unsigned gap = 1 + rng() % 3;
        for (unsigned k = 0; k < gap; k++)
            d.push_back((uint8_t)(rng() % 4 == 0 ? 0x20 * (1 + rng() % 7) : rng()));
    }
    return d;
}

/*
 * Runs whose lengths differ by one or two, followed by a few fixed tails:
 * the equal-length entry and the bytes after it decide, and the lower
 * levels' nice lengths (16, 32, 128) fall on the ramps.
 */
static bytes near_lengths()
{
    static const char *tails[] = {"AB", "ABC", "AC", "B"};
    std::mt19937 rng(3);
    bytes d;
    while (d.size() < (96u << 10)) {
        unsigned base = 3 + rng() % 140;
        run(d, base + rng() % 3, (uint8_t)(rng() % 2 ? 0x00 : 0x61));
        for (const char *t = tails[rng() % 4]; *t; t++)
            d.push_back((uint8_t)*t);
    }
    return d;
}

/* Long runs across the window slide and beyond the farthest distance. */
static bytes long_runs()
{
    bytes d;
    run(d, 40000, 0);
    d.push_back('x');
    run(d, 70000, 0);
    d.push_back('y');
    run(d, 300, 0);
    run(d, 33000, 0x20);
    run(d, 257, 0);
    d.push_back('z');
    run(d, 259, 0);
    return d;
}

/* Records, noise, copies and zero runs, like real binary files. */
static bytes mixed_binary()
{
    std::mt19937_64 rng(5);
    bytes d;
    uint32_t counter = 0;
    while (d.size() < (128u << 10)) {
        uint64_t r = rng();
        switch (r % 4) {
        case 0:
            for (int k = 0; k < 4; k++)
                d.push_back((uint8_t)(counter >> (8 * k)));
            counter += 1 + (uint32_t)(r >> 60);
            for (int k = 0; k < 12; k++)
                d.push_back((uint8_t)((r >> (k * 4)) & 0x0f));
            break;
        case 1:
            for (int k = 0; k < 8; k++)
                d.push_back((uint8_t)rng());
            break;
        case 2:
            if (d.size() > 4096) {
                size_t from = d.size() - 1 - (size_t)((r >> 8) % 4000);
                for (size_t k = 0, n = 8 + (r >> 24) % 56; k < n; k++)
                    d.push_back(d[from + k]);
            }
            break;
        default:
            run(d, 4 + (r >> 32) % 28, 0);
        }
    }
    return d;
}

/*
 * A long match whose run entry lies right at the chain limit: the target
 * (twelve zeros, 'K' and 40 bytes) opens the file, then blocks of twelve
 * zeros with other followers put ten entries each in the zero chain, and a
 * filler run of `filler` zeros shifts the count by filler - 2; the file
 * ends with three new bytes and the target again, whose entry is then 10 * blocks + filler +
 * 7 entries down the chain.  Over fillers 3 to 16 with 408 blocks it falls
 * on both sides of the limit of 4096.
 */
static bytes chain_cut(unsigned blocks, unsigned filler)
{
    std::mt19937 rng(blocks * 100 + filler);
    auto follower = [&] { return (uint8_t)(0x41 + rng() % 26); };
    bytes target;
    run(target, 12, 0);
    target.push_back('K');
    for (int k = 0; k < 40; k++)
        target.push_back(follower());
    bytes d = {'#', '#'};
    d.insert(d.end(), target.begin(), target.end());
    run(d, filler, 0);
    d.push_back('J');
    for (unsigned b = 0; b < blocks; b++) {
        run(d, 12, 0);
        d.push_back('J');
        d.push_back(follower());
        d.push_back(follower());
    }
    for (uint8_t b : {0xf1, 0xf2, 0xf3}) /* seen nowhere else: the search starts afresh */
        d.push_back(b);
    d.insert(d.end(), target.begin(), target.end());
    return d;
}

/* Small files, several ending inside a run. */
static std::vector<bytes> small_files()
{
    bytes a = {'a', 'b', 'c'};
    run(a, 300, 0);
    bytes b(3, 0), c(4, 0x20), e = {0, 0};
    bytes f = {'q'};
    run(f, 258, 7);
    f.push_back('q');
    run(f, 258, 7);
    return {a, b, c, e, f};
}

TEST(RunShortcut, ChoosesTheMatchesOfThePlainWalkAtEveryLevel)
{
    std::vector<bytes> files = {every_length(), dense_short_runs(), near_lengths(), long_runs(),
                                mixed_binary()};
    for (bytes &s : small_files())
        files.push_back(s);
    for (unsigned filler = 3; filler <= 16; filler++)
        files.push_back(chain_cut(408, filler));
    const std::string dir = temp_path("match"), fast = dir + "/fast", plain = dir + "/plain";
    ASSERT_EQ(system(("mkdir -p '" + fast + "' '" + plain + "'").c_str()), 0);
    std::string args;
    for (size_t i = 0; i < files.size(); i++) {
        std::string path = dir + "/in" + std::to_string(i);
        write_file(path, files[i]);
        args += " '" + path + "'";
    }

    for (int lvl = 1; lvl <= 9; lvl++) {
        std::string l = std::to_string(lvl);
        ASSERT_EQ(system((std::string(KV_SQUASH) + " " + l + " '" + fast + "'" + args).c_str()), 0);
        ASSERT_EQ(system((std::string(KV_SQUASH_PLAIN) + " " + l + " '" + plain + "'" + args).c_str()), 0);
        for (size_t i = 0; i < files.size(); i++) {
            std::string name = "/" + std::to_string(i) + ".gz";
            bytes a = read_file(fast + name), b = read_file(plain + name);
            ASSERT_FALSE(a.empty()) << "level " << lvl << " file " << i;
            EXPECT_TRUE(a == b) << "level " << lvl << " file " << i << ": " << a.size() << " vs "
                                << b.size() << " bytes";
            std::string back = dir + "/back";
            remove(back.c_str());
            ASSERT_EQ(compress((fast + name).c_str(), back.c_str(), 1), 0);
            EXPECT_TRUE(read_file(back) == files[i]) << "level " << lvl << " file " << i;
        }
    }
    EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}
