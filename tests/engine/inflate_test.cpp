/* inflate_test.cpp: the block decoder on crafted DEFLATE bit streams. */
#include "engine/inflate.h"
#include "engine_test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

/* Decodes stream with inflate() from a file; keeps what was flushed. */
struct Decoded {
    int result = -1;
    Bytes out;
    uint32_t inptr = 0;
    unsigned bk = 0;
    std::string err;
};

Decoded decode(const Bytes &stream)
{
    ScratchDir dir;
    write_file(dir.file("in"), stream);
    clear_bufs();
    ifd = open(dir.file("in").c_str(), O_RDONLY);
    ofd = open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    strcpy(ifname, "in");
    testing::internal::CaptureStderr();
    Decoded d;
    d.result = inflate();
    d.err = testing::internal::GetCapturedStderr();
    d.inptr = inptr;
    d.bk = bk;
    close(ifd);
    close(ofd);
    d.out = read_file(dir.file("out"));
    return d;
}

/* Canonical codes of a list of lengths (RFC 1951 3.2.2). */
std::vector<unsigned> canonical(const std::vector<unsigned> &len)
{
    unsigned count[17] = {0}, next[17] = {0}, code = 0;
    for (unsigned l : len)
        count[l]++;
    count[0] = 0;
    for (unsigned b = 1; b <= 16; b++)
        next[b] = code = (code + count[b - 1]) << 1;
    std::vector<unsigned> codes(len.size());
    for (size_t i = 0; i < len.size(); i++)
        if (len[i])
            codes[i] = next[len[i]]++;
    return codes;
}

/* A code-length code: 0..12 four bits, 13..18 five bits (complete). */
std::vector<unsigned> default_cl()
{
    std::vector<unsigned> cl(19, 4);
    for (int s = 13; s < 19; s++)
        cl[s] = 5;
    return cl;
}

/* One code-length symbol with its extra bits. */
struct ClSym {
    unsigned sym, extra;
};

/* Writes a dynamic block header up to the end of the code lengths. */
void dynamic_header(BitWriter &w, bool last, unsigned nl, unsigned nd, const std::vector<unsigned> &cl,
                    const std::vector<ClSym> &syms, unsigned nb = 19)
{
    w.bits(last, 1);
    w.bits(2, 2);
    w.bits(nl - 257, 5);
    w.bits(nd - 1, 5);
    w.bits(nb - 4, 4);
    for (unsigned j = 0; j < nb; j++)
        w.bits(cl[border[j]], 3);
    std::vector<unsigned> codes = canonical(cl);
    for (const ClSym &s : syms) {
        w.code(codes[s.sym], cl[s.sym]);
        if (s.sym == 16)
            w.bits(s.extra, 2);
        else if (s.sym == 17)
            w.bits(s.extra, 3);
        else if (s.sym == 18)
            w.bits(s.extra, 7);
    }
}

/* Plain code-length symbols for a list of lengths (zeros as runs of 18/17). */
std::vector<ClSym> plain_lengths(const std::vector<unsigned> &len)
{
    std::vector<ClSym> out;
    for (size_t i = 0; i < len.size();) {
        size_t run = 0;
        while (i + run < len.size() && len[i + run] == 0)
            run++;
        if (run >= 11) {
            size_t r = run > 138 ? 138 : run;
            out.push_back({18, (unsigned)(r - 11)});
            i += r;
        } else if (run >= 3) {
            out.push_back({17, (unsigned)(run - 3)});
            i += run;
        } else {
            out.push_back({len[i], 0});
            i++;
        }
    }
    return out;
}

/* The small dynamic code used below: 'a' 1 bit, 256 and 257 two bits. */
struct SmallCode {
    std::vector<unsigned> lit = std::vector<unsigned>(258, 0);
    std::vector<unsigned> dist = {1};
    SmallCode()
    {
        lit['a'] = 1;
        lit[256] = 2;
        lit[257] = 2;
    }
    std::vector<unsigned> all() const
    {
        std::vector<unsigned> v(lit);
        v.insert(v.end(), dist.begin(), dist.end());
        return v;
    }
};

void send(BitWriter &w, const std::vector<unsigned> &len, unsigned sym)
{
    w.code(canonical(len)[sym], len[sym]);
}

} // namespace

TEST(Inflate, MinimalStreams)
{
    Decoded d = decode({0x03, 0x00, 0xAA});
    EXPECT_EQ(d.result, 0);
    EXPECT_TRUE(d.out.empty());
    EXPECT_EQ(d.inptr, 2u);
    EXPECT_EQ(d.bk, 6u);

    d = decode({0x01, 0x00, 0x00, 0xFF, 0xFF, 0xAA});
    EXPECT_EQ(d.result, 0);
    EXPECT_TRUE(d.out.empty());
    EXPECT_EQ(d.inptr, 5u);
}

TEST(Inflate, BadBlocks)
{
    const struct {
        Bytes stream;
        int result;
    } cases[] = {
        {{0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5}, 1}, /* complement wrong */
        {{0x01, 0x05, 0x00, 0x05, 0x00, 1, 2, 3, 4, 5}, 1},
        {{0x07, 0x00}, 2}, /* block type 3 */
    };
    for (const auto &c : cases) {
        Decoded d = decode(c.stream);
        EXPECT_EQ(d.result, c.result);
        EXPECT_TRUE(d.out.empty());
    }
}

TEST(Inflate, MatchRepeatsLastByte)
{
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixed_literal(w, 'x');
    fixed_match(w, 258, 1);
    fixed_literal(w, 256);
    Decoded d = decode(w.finish());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, Bytes(259, 'x'));
}

/* Stored data, then a match that wraps the window end; both as one reference. */
TEST(Inflate, WindowWrapAndLongStoredBlock)
{
    std::mt19937 rng(7);
    Bytes data(32758);
    for (auto &b : data)
        b = (uint8_t)rng();
    BitWriter w;
    w.bits(0, 1);
    w.bits(0, 2);
    w.align();
    w.bits((uint32_t)data.size(), 16);
    w.bits(~(uint32_t)data.size() & 0xffff, 16);
    for (uint8_t b : data)
        w.bits(b, 8);
    w.bits(0, 1);
    w.bits(1, 2);
    fixed_match(w, 20, 100);
    fixed_literal(w, 256);
    Bytes big(65535);
    for (auto &b : big)
        b = (uint8_t)rng();
    w.bits(1, 1);
    w.bits(0, 2);
    w.align();
    w.bits(65535, 16);
    w.bits(0, 16);
    for (uint8_t b : big)
        w.bits(b, 8);

    Bytes expect = data;
    for (int i = 0; i < 20; i++)
        expect.push_back(expect[expect.size() - 100]);
    expect.insert(expect.end(), big.begin(), big.end());
    Decoded d = decode(w.finish());
    EXPECT_EQ(d.result, 0);
    ASSERT_EQ(d.out.size(), expect.size());
    EXPECT_TRUE(d.out == expect);
}

TEST(Inflate, FixedInvalidSymbols)
{
    for (int which = 0; which < 2; which++) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        fixed_literal(w, 'q');
        if (which == 0) {
            fixed_literal(w, 286);
        } else {
            fixed_literal(w, 257);
            fixed_distance(w, 30);
        }
        fixed_literal(w, 256);
        EXPECT_EQ(decode(w.finish()).result, 1) << which;
    }
}

/* A distance before the start of the stream reads what the window holds. */
TEST(Inflate, DistanceBeyondOutputReadsWindow)
{
    for (unsigned i = 0; i < 5; i++)
        window[WSIZE - 5 + i] = (uch)(0xA0 + i);
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixed_match(w, 3, 5);
    fixed_literal(w, 256);
    Decoded d = decode(w.finish());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, (Bytes{0xA0, 0xA1, 0xA2}));
}

TEST(InflateDynamic, OneBitDistanceCode)
{
    SmallCode c;
    for (unsigned pattern = 0; pattern < 2; pattern++) {
        BitWriter w;
        dynamic_header(w, true, 258, 1, default_cl(), plain_lengths(c.all()));
        send(w, c.lit, 'a');
        send(w, c.lit, 257);
        w.bits(pattern, 1); /* distance symbol 0 is pattern 0 */
        send(w, c.lit, 256);
        Decoded d = decode(w.finish());
        if (pattern == 0) {
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.out, to_bytes("aaaa"));
        } else {
            EXPECT_EQ(d.result, 1);
        }
    }
}

TEST(InflateDynamic, RepeatsInCodeLengths)
{
    /* 'a' 1 bit, 254..257 three bits; eight distances of 3 bits. */
    std::vector<unsigned> lit(258, 0), dist(8, 3);
    lit['a'] = 1;
    for (int s = 254; s < 258; s++)
        lit[s] = 3;
    std::vector<ClSym> syms = {{16, 3}}; /* first symbol 16: six zeros */
    syms.push_back({18, 97 - 6 - 11});  /* the rest up to 'a' */
    syms.push_back({1, 0});
    syms.push_back({18, 127});          /* 98..235 */
    syms.push_back({18, 18 - 11});      /* 236..253 */
    syms.push_back({3, 0});             /* 254 */
    syms.push_back({16, 3});            /* 255..257 and distances 0..2 */
    syms.push_back({3, 0});             /* distance 3 */
    std::vector<unsigned> all(lit);
    all.insert(all.end(), dist.begin(), dist.end());
    for (unsigned over = 0; over < 2; over++) {
        std::vector<ClSym> s = syms;
        s.push_back({16, over ? 2u : 1u}); /* distances 4..7, or one too many */
        BitWriter w;
        dynamic_header(w, true, 258, 8, default_cl(), s);
        send(w, lit, 'a');
        send(w, lit, 257);
        send(w, dist, 0);
        send(w, lit, 256);
        Decoded d = decode(w.finish());
        if (!over) {
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.out, to_bytes("aaaa"));
        } else {
            EXPECT_EQ(d.result, 1);
        }
    }
}

TEST(InflateDynamic, HeaderCountsOutOfRange)
{
    const struct {
        unsigned hlit, hdist;
    } cases[] = {{30, 0}, {31, 0}, {0, 30}, {0, 31}};
    for (const auto &c : cases) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(c.hlit, 5);
        w.bits(c.hdist, 5);
        w.bits(15, 4);
        for (int i = 0; i < 40; i++)
            w.bits(0x5, 3);
        EXPECT_EQ(decode(w.finish()).result, 1) << c.hlit << "," << c.hdist;
    }
}

TEST(InflateDynamic, BadTrees)
{
    /* Literal code incomplete with 2-bit codes: a message and bad data. */
    std::vector<unsigned> lit(257, 0);
    lit['a'] = 2;
    lit[256] = 2;
    std::vector<unsigned> all(lit);
    all.push_back(1);
    BitWriter w;
    dynamic_header(w, true, 257, 1, default_cl(), plain_lengths(all));
    w.bits(0, 16);
    const Bytes stream = w.finish();
    Decoded d = decode(stream);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.err, " incomplete literal tree\n");

    /* Through a whole file the tree message comes first, then the fatal one. */
    {
        ScratchDir dir;
        const std::string src = dir.file("t.gz"), dst = dir.file("t");
        write_file(src, gzip_member(stream, 0, 0));
        ChildResult r = run_in_child([&] { return compress(src.c_str(), dst.c_str(), 1); });
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, " incomplete literal tree\n" + src + ": invalid compressed data--format violated\n");
    }

    /* Distance code incomplete with 2-bit codes. */
    SmallCode c;
    c.dist = {2, 2};
    all = c.all();
    BitWriter w2;
    dynamic_header(w2, true, 258, 2, default_cl(), plain_lengths(all));
    w2.bits(0, 16);
    d = decode(w2.finish());
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.err, " incomplete distance tree\n");

    /* Over-subscribed literal code. */
    c = SmallCode();
    c.lit['b'] = 1;
    BitWriter w3;
    dynamic_header(w3, true, 258, 1, default_cl(), plain_lengths(c.all()));
    w3.bits(0, 16);
    EXPECT_EQ(decode(w3.finish()).result, 2);

    /* Over-subscribed and incomplete code-length codes. */
    std::vector<unsigned> cl(19, 1);
    BitWriter w4;
    dynamic_header(w4, true, 257, 1, cl, {});
    EXPECT_EQ(decode(w4.finish()).result, 2);
    cl = std::vector<unsigned>(19, 0);
    cl[0] = 2;
    cl[18] = 2;
    BitWriter w5;
    dynamic_header(w5, true, 257, 1, cl, {});
    d = decode(w5.finish());
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.err, "");
}

/* Codes without any symbol, and the unused half of a one-code code-length code. */
TEST(InflateDynamic, EmptyAndOneSymbolCodes)
{
    /* All code-length lengths zero. */
    BitWriter w;
    dynamic_header(w, true, 257, 1, std::vector<unsigned>(19, 0), {}, 4);
    w.bits(0, 32);
    EXPECT_EQ(decode(w.finish()).result, 1);

    /* A single 1-bit code-length code (symbol 0), read through pattern 1. */
    std::vector<unsigned> cl(19, 0);
    cl[0] = 1;
    BitWriter w2;
    dynamic_header(w2, true, 257, 1, cl, {});
    w2.bits(0, 5);
    w2.bits(0xffffffff, 32);
    EXPECT_EQ(decode(w2.finish()).result, 1);

    /* The same code read through pattern 0 only: every length is zero. */
    BitWriter w3;
    dynamic_header(w3, true, 257, 1, cl, {});
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    w3.bits(0, 32);
    EXPECT_EQ(decode(w3.finish()).result, 1);

    /* No distance code: literals alone decode, a length is bad data. */
    SmallCode c;
    c.dist = {0};
    for (int with_match = 0; with_match < 2; with_match++) {
        BitWriter w4;
        dynamic_header(w4, true, 258, 1, default_cl(), plain_lengths(c.all()));
        send(w4, c.lit, 'a');
        send(w4, c.lit, 'a');
        if (with_match) {
            send(w4, c.lit, 257);
            w4.bits(0, 8);
        }
        send(w4, c.lit, 256);
        Decoded d = decode(w4.finish());
        if (!with_match) {
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.out, to_bytes("aa"));
        } else {
            EXPECT_EQ(d.result, 1);
        }
    }
}
