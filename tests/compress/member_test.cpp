/*
 * member_test.cpp: whole gzip members written by compress() in mode 0:
 * exact header and stream bytes of small inputs, and round trips of a
 * varied corpus through our own decoder, libdeflate-gunzip and 7-Zip.
 */
#include "compress_test_util.h"

#include "engine/engine.h"
#include "platform/crt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static uint32_t crc_of(const bytes &d)
{
    updcrc(nullptr, 0);
    return updcrc(d.data(), (unsigned)d.size());
}

static void append(bytes &to, const bytes &from)
{
    for (uint8_t b : from)
        to.push_back(b);
}

static bytes header_for(const std::string &name, uint32_t mtime = 0)
{
    bytes h = {0x1f, 0x8b, 8, 0x08, (uint8_t)mtime, (uint8_t)(mtime >> 8),
               (uint8_t)(mtime >> 16), (uint8_t)(mtime >> 24), 2, 11};
    for (char ch : name)
        h.push_back((uint8_t)ch);
    h.push_back(0);
    return h;
}

static bytes trailer_for(const bytes &d)
{
    uint32_t c = crc_of(d), n = (uint32_t)d.size();
    return {(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16), (uint8_t)(c >> 24),
            (uint8_t)n, (uint8_t)(n >> 8), (uint8_t)(n >> 16), (uint8_t)(n >> 24)};
}

/* Fixed-code helpers for hand-derived streams. */
static void lit(bit_packer &p, unsigned c)
{
    if (c <= 143)
        p.code(0x30 + c, 8);
    else
        p.code(0x190 + c - 144, 9);
}

TEST(Member, EmptyInputIsHeaderEndOfBlockAndZeroTrailer)
{
    bytes out = compress_bytes({}, "empty.txt");
    bytes want = header_for("empty.txt");
    bytes tail = {0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    append(want, tail);
    EXPECT_EQ(out, want);
}

TEST(Member, SmallInputsGiveHandDerivedFixedBlocks)
{
    struct item {
        const char *what;
        bytes input;
        bytes stream;
    };
    std::vector<item> cases;
    cases.push_back({"one byte 0x61", {0x61}, {0x4B, 0x04, 0x00}});
    {
        /* abcabcabc: literals a b c a, then length 5 (code 259) at distance 3 (code 2). */
        bit_packer p;
        p.field(1, 1);
        p.field(1, 2);
        for (char c : std::string("abca"))
            lit(p, (uint8_t)c);
        p.code(259 - 256, 7);
        p.code(2, 5);
        p.code(0, 7);
        cases.push_back({"abcabcabc", {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'}, p.out});
    }
    for (const item &c : cases) {
        bytes out = compress_bytes(c.input, "s.txt");
        bytes want = header_for("s.txt");
        append(want, c.stream);
        bytes tr = trailer_for(c.input);
        append(want, tr);
        EXPECT_EQ(out, want) << c.what;
    }
}

/* Runs body in a forked child (fresh process state); returns its status. */
template <class F> static int in_child(F body)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 100;
}

TEST(Member, HeaderFieldsAndBaseNameRule)
{
    EXPECT_EQ(in_child([] {
                  time_stamp = 0;
                  /* The stored name is what follows the last '/', '\' or ':'. */
                  strcpy(ifname, "C:\\a/b\\c.txt");
                  EXPECT_STREQ(xbasename(ifname), "c.txt");
                  bytes out = compress_bytes({'x'}, "c.txt");
                  ASSERT_GE(out.size(), 10u);
                  EXPECT_EQ(out[3], 0x08);
                  EXPECT_EQ(out[4] | out[5] | out[6] | out[7], 0);
                  EXPECT_EQ(out[8], 2);
                  EXPECT_EQ(out[9], 11);
              }),
              0);
}

TEST(Member, SourcePathWithDriveAndMixedSeparatorsStoresBaseName)
{
    EXPECT_EQ(in_child([] {
                  /* Write via a native path with a drive; the platform maps it. */
                  setenv("HOME", temp_path("home").c_str(), 1);
                  mkdir(temp_path("home").c_str(), 0700);
                  std::string src = "C:\\a/b\\c.txt";
                  std::string dst = "C:\\c.txt.gz";
                  /* Create the source through the engine's own path mapping. */
                  char host[512];
                  ASSERT_NE(os_host_path("C:\\a", host, sizeof host, true), nullptr);
                  mkdir(host, 0700);
                  ASSERT_NE(os_host_path("C:\\a/b", host, sizeof host, true), nullptr);
                  mkdir(host, 0700);
                  ASSERT_NE(os_host_path(src.c_str(), host, sizeof host, true), nullptr);
                  write_file(host, {'h', 'i'});
                  ASSERT_EQ(compress(src.c_str(), dst.c_str(), 0), 0);
                  ASSERT_NE(os_host_path(dst.c_str(), host, sizeof host, true), nullptr);
                  bytes out = read_file(host);
                  ASSERT_GE(out.size(), 16u);
                  EXPECT_EQ(std::string(out.begin() + 10, out.begin() + 16), std::string("c.txt\0", 6));
              }),
              0);
}

TEST(Member, MtimeIsZeroFreshAndRepeatsTheLastDecodedHeader)
{
    EXPECT_EQ(in_child([] {
                  bytes first = compress_bytes({'a', 'b'}, "m.txt");
                  ASSERT_GE(first.size(), 8u);
                  EXPECT_EQ(first[4] | first[5] | first[6] | first[7], 0);
                  /* Give the member an MTIME of 0x12345678 and decode it. */
                  bytes patched = first;
                  patched[4] = 0x78, patched[5] = 0x56, patched[6] = 0x34, patched[7] = 0x12;
                  std::string gz = temp_path("mt.gz"), back = temp_path("mt.out");
                  write_file(gz, patched);
                  unlink(back.c_str());
                  ASSERT_EQ(compress(gz.c_str(), back.c_str(), 1), 0);
                  bytes second = compress_bytes({'a', 'b'}, "m2.txt");
                  ASSERT_GE(second.size(), 8u);
                  EXPECT_EQ(second[4], 0x78);
                  EXPECT_EQ(second[5], 0x56);
                  EXPECT_EQ(second[6], 0x34);
                  EXPECT_EQ(second[7], 0x12);
              }),
              0);
}

/* A varied corpus, deterministic. */
static std::vector<std::pair<std::string, bytes>> corpus()
{
    std::vector<std::pair<std::string, bytes>> c;
    std::mt19937 rng(12345);
    c.push_back({"empty", {}});
    c.push_back({"one", {0x7f}});
    bytes text;
    const char *words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "\n"};
    while (text.size() < 200000)
        for (char ch : std::string(words[rng() % 9]))
            text.push_back((uint8_t)ch);
    c.push_back({"text", text});
    bytes bin;
    for (int i = 0; i < 150000; i++)
        bin.push_back((uint8_t)((i % 251) ^ ((i >> 9) * 7) ^ (rng() % 4 == 0 ? rng() : 0)));
    c.push_back({"binary", bin});
    bytes rnd(100000);
    for (auto &b : rnd)
        b = (uint8_t)rng();
    c.push_back({"random", rnd});
    c.push_back({"runs", bytes(300000, 0x20)});
    /* Fibonacci symbol counts: Huffman lengths beyond 15 bits, which must be limited. */
    bytes fib;
    for (unsigned a = 1, b = 1, sym = 0; sym < 26; sym++, b += a, a = b - a)
        for (unsigned k = 0; k < a; k++)
            fib.push_back((uint8_t)(sym * 9));
    std::shuffle(fib.begin(), fib.end(), rng);
    c.push_back({"fibonacci", fib});
    bytes mixed = rnd;
    append(mixed, text);
    append(mixed, bytes(70000, 0));
    c.push_back({"mixed", mixed});
    return c;
}

static bool tool_ok(const std::string &cmd) { return system(cmd.c_str()) == 0; }

TEST(Member, RoundTripsThroughOwnDecoderAndOutsideTools)
{
    for (auto &item : corpus()) {
        const std::string &n = item.first;
        bytes gz = compress_bytes(item.second, n);
        ASSERT_FALSE(gz.empty()) << n;
        std::string gzp = temp_path(n + ".gz");

        std::string own = temp_path(n + ".own");
        unlink(own.c_str());
        ASSERT_EQ(compress(gzp.c_str(), own.c_str(), 1), 0) << n;
        EXPECT_EQ(read_file(own), item.second) << n;

        std::string ld = temp_path(n + ".ld");
        ASSERT_TRUE(tool_ok("libdeflate-gunzip -c '" + gzp + "' > '" + ld + "'")) << n;
        EXPECT_EQ(read_file(ld), item.second) << n;

        std::string zd = temp_path("7z_" + n);
        ASSERT_TRUE(tool_ok("7zz t '" + gzp + "' >/dev/null")) << n;
        ASSERT_TRUE(tool_ok("rm -rf '" + zd + "' && 7zz e -y -o'" + zd + "' '" + gzp + "' >/dev/null")) << n;
        EXPECT_EQ(read_file(zd + "/" + n), item.second) << n;
    }
}

TEST(Member, ManySmallFilesInOneProcess)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 40; i++) {
        bytes d(rng() % 3000);
        for (auto &b : d)
            b = (uint8_t)("abcd efgh"[rng() % 9]);
        std::string n = "small" + std::to_string(i);
        compress_bytes(d, n);
        std::string own = temp_path(n + ".own");
        unlink(own.c_str());
        ASSERT_EQ(compress(temp_path(n + ".gz").c_str(), own.c_str(), 1), 0);
        EXPECT_EQ(read_file(own), d) << n;
    }
}
