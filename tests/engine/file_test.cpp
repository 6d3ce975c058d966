/*
 * file_test.cpp: compress() in reading mode on whole files: gzip and zip
 * files from outside producers (libdeflate-gzip, 7zz) used as black boxes,
 * crafted containers, and the failures with their exact messages (paths
 * that end the process run in a child).
 */
#include "engine/engine.h"
#include "engine_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

/* A deterministic corpus: prose, structured binary, random, runs, large mixed. */
std::vector<std::pair<std::string, Bytes>> corpus()
{
    std::mt19937 rng(2026);
    const char *words[] = {"the", "engine", "reads", "each", "member", "of", "a", "file", "and",
                           "writes", "window", "block", "code", "length", "distance", "table"};
    std::string prose;
    while (prose.size() < 120000) {
        prose += words[rng() % 16];
        prose += (rng() % 11 == 0) ? ".\n" : " ";
    }
    Bytes binary;
    for (uint32_t i = 0; binary.size() < 90000; i++) {
        uint32_t v = (i % 7 == 0) ? (uint32_t)rng() : i * 4 + 0x401000;
        for (int k = 0; k < 4; k++)
            binary.push_back((uint8_t)(v >> (8 * k)));
        if (i % 13 == 0)
            binary.insert(binary.end(), 12, 0x90);
    }
    Bytes random(70000);
    for (auto &b : random)
        b = (uint8_t)rng();
    Bytes runs;
    for (int r = 0; r < 400; r++)
        runs.insert(runs.end(), 1 + rng() % 700, (uint8_t)(rng() % 4));
    Bytes large = to_bytes(prose);
    large.insert(large.end(), random.begin(), random.end());
    large.insert(large.end(), binary.begin(), binary.end());
    return {{"text", to_bytes(prose)}, {"binary", binary}, {"random", random},
            {"runs", runs},            {"large", large},   {"empty", Bytes()},
            {"one", Bytes{'x'}}};
}

void put16(Bytes &b, unsigned v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}

void put32(Bytes &b, uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

/* A zip local header with its name, followed by data. */
Bytes zip_entry(unsigned flags, unsigned method, uint32_t crc, uint32_t csize, uint32_t usize,
                const Bytes &data)
{
    Bytes z = {0x50, 0x4b, 0x03, 0x04};
    put16(z, 20);
    put16(z, flags);
    put16(z, method);
    put32(z, 0);
    put32(z, crc);
    put32(z, csize);
    put32(z, usize);
    put16(z, 5);
    put16(z, 0);
    for (char c : std::string("f.txt"))
        z.push_back((uint8_t)c);
    z.insert(z.end(), data.begin(), data.end());
    return z;
}

/* The raw DEFLATE stream inside a gzip file with a plain 10-byte header. */
Bytes raw_deflate(const Bytes &gz)
{
    return Bytes(gz.begin() + 10, gz.end() - 8);
}

/* A stored DEFLATE stream (one last block) of data, at most 65535 bytes. */
Bytes stored_stream(const Bytes &data)
{
    Bytes s = {0x01};
    put16(s, (unsigned)data.size());
    put16(s, ~(unsigned)data.size() & 0xffff);
    s.insert(s.end(), data.begin(), data.end());
    return s;
}

Bytes gz_of(const Bytes &data)
{
    return gzip_member(stored_stream(data), crc32_of(data), (uint32_t)data.size());
}

class FileTest : public testing::Test {
protected:
    ScratchDir dir;
    std::string src = dir.file("src.gz");
    std::string dst = dir.file("dst");

    /* Decodes src into dst in this process; returns the result and stderr. */
    int decode(std::string *err = nullptr)
    {
        testing::internal::CaptureStderr();
        int r = compress(src.c_str(), dst.c_str(), 1);
        std::string e = testing::internal::GetCapturedStderr();
        if (err)
            *err = e;
        return r;
    }
    /* Decodes src in a child; the result or exit status and stderr. */
    ChildResult decode_in_child()
    {
        return run_in_child([this] { return compress(src.c_str(), dst.c_str(), 1); });
    }
};

} // namespace

TEST_F(FileTest, OutsideProducersDecodeByteIdentical)
{
    ASSERT_TRUE(have_program("libdeflate-gzip")) << "libdeflate-tools is required";
    ASSERT_TRUE(have_program("7zz")) << "7zip is required";
    for (const auto &item : corpus()) {
        const std::string plain = dir.file(item.first);
        write_file(plain, item.second);
        std::vector<std::pair<std::string, std::string>> producers;
        for (int level : {1, 6, 9, 12})
            producers.push_back({"libdeflate-gzip -" + std::to_string(level),
                                 "libdeflate-gzip -" + std::to_string(level) + " -c '" + plain +
                                     "' > '" + src + "'"});
        const std::string in_dir = "cd '" + dir.path + "' && rm -f '" + src + "' && 7zz a -bd -y ";
        producers.push_back({"7zz gzip", in_dir + "-tgzip '" + src + "' " + item.first + " >/dev/null"});
        producers.push_back({"7zz zip deflate", in_dir + "-tzip -mm=Deflate '" + src + "' " + item.first + " >/dev/null"});
        producers.push_back({"7zz zip stored", in_dir + "-tzip -mx0 '" + src + "' " + item.first + " >/dev/null"});
        for (const auto &p : producers) {
            ASSERT_EQ(run_command(p.second), 0) << p.first;
            remove(dst.c_str());
            std::string err;
            EXPECT_EQ(decode(&err), 0) << p.first << " " << item.first;
            EXPECT_EQ(err, "") << p.first << " " << item.first;
            EXPECT_TRUE(read_file(dst) == item.second) << p.first << " " << item.first;
        }
    }
}

TEST_F(FileTest, MembersAndTrailingBytes)
{
    const Bytes a = to_bytes("first member\n"), b = to_bytes("second one\n");
    Bytes ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    const struct {
        const char *name;
        Bytes tail;
        int result;
        const char *warning;
    } cases[] = {
        {"two members", gz_of(b), 0, ""},
        {"garbage", to_bytes("xyz"), 0, "trailing"},
        {"zip signature", zip_entry(0, 0, 0, 0, 0, Bytes()), 0, "trailing"},
    };
    for (const auto &c : cases) {
        Bytes file = gz_of(a);
        file.insert(file.end(), c.tail.begin(), c.tail.end());
        write_file(src, file);
        remove(dst.c_str());
        std::string err;
        EXPECT_EQ(decode(&err), c.result) << c.name;
        if (std::string(c.warning).empty()) {
            EXPECT_EQ(err, "") << c.name;
            EXPECT_TRUE(read_file(dst) == ab) << c.name;
        } else {
            EXPECT_EQ(err, "warning " + src + ": decompression OK, trailing garbage ignored\n") << c.name;
            EXPECT_TRUE(read_file(dst) == a) << c.name;
        }
    }
}

/* A second member that starts exactly where a full input buffer ends is read too. */
TEST_F(FileTest, MemberStartingAtBufferEnd)
{
    Bytes first(32768 - 10 - 5 - 8, 'q');
    Bytes file = gz_of(first);
    ASSERT_EQ(file.size(), 32768u);
    Bytes second = to_bytes("after the boundary");
    Bytes g2 = gz_of(second);
    file.insert(file.end(), g2.begin(), g2.end());
    write_file(src, file);
    EXPECT_EQ(decode(), 0);
    Bytes expect = first;
    expect.insert(expect.end(), second.begin(), second.end());
    EXPECT_TRUE(read_file(dst) == expect);
}

TEST_F(FileTest, HeaderVariants)
{
    const Bytes data = to_bytes("header variants decode alike");
    const struct {
        const char *name;
        uint8_t magic2, flags;
        Bytes fields;
    } cases[] = {
        {"old magic", 0x9e, 0, {}},
        {"name and comment", 0x8b, 0x18, to_bytes(std::string("name.txt\0a comment\0", 19))},
        {"extra, name, text flag", 0x8b, 0x0d, to_bytes(std::string("\3\0abcz\0", 7))},
    };
    for (const auto &c : cases) {
        Bytes m = gzip_member(stored_stream(data), crc32_of(data), (uint32_t)data.size(), c.flags, c.fields);
        m[1] = c.magic2;
        write_file(src, m);
        remove(dst.c_str());
        time_stamp = 0;
        EXPECT_EQ(decode(), 0) << c.name;
        EXPECT_TRUE(read_file(dst) == data) << c.name;
        EXPECT_EQ(time_stamp, 0x12345678u) << c.name;
        EXPECT_FALSE(file_exists(dir.file("name.txt")));
    }
}

TEST_F(FileTest, ExistingDestinationIsReplaced)
{
    write_file(dst, Bytes(5000, 'o'));
    write_file(src, gz_of(to_bytes("new")));
    std::string err;
    EXPECT_EQ(decode(&err), 2);
    EXPECT_EQ(err, "warning: existing file " + dst + " is replaced\n");
    EXPECT_EQ(read_file(dst), to_bytes("new"));
}

TEST_F(FileTest, ZipWithDataDescriptorAndTwoEntries)
{
    ASSERT_TRUE(have_program("libdeflate-gzip"));
    Bytes data;
    for (int i = 0; i < 3000; i++)
        for (char c : "zip entry line " + std::to_string(i) + "\n")
            data.push_back((uint8_t)c);
    write_file(dir.file("plain"), data);
    ASSERT_EQ(run_command("libdeflate-gzip -6 -c '" + dir.file("plain") + "' > '" + dir.file("p.gz") + "'"), 0);
    Bytes raw = raw_deflate(read_file(dir.file("p.gz")));

    Bytes z = zip_entry(8, 8, 0, 0, 0, raw);
    put32(z, 0x08074b50);
    put32(z, crc32_of(data));
    put32(z, (uint32_t)raw.size());
    put32(z, (uint32_t)data.size());
    write_file(src, z);
    EXPECT_EQ(decode(), 0);
    EXPECT_TRUE(read_file(dst) == data);

    /* Two entries: the first is written, the call fails. */
    Bytes two = zip_entry(0, 8, crc32_of(data), (uint32_t)raw.size(), (uint32_t)data.size(), raw);
    Bytes second = zip_entry(0, 0, crc32_of(to_bytes("b")), 1, 1, to_bytes("b"));
    two.insert(two.end(), second.begin(), second.end());
    write_file(src, two);
    std::string err;
    EXPECT_EQ(decode(&err), 1);
    EXPECT_EQ(err, "warning: existing file " + dst + " is replaced\n" + src +
                       " has more than one entry -- unchanged\n");
    EXPECT_TRUE(read_file(dst) == data);

    /* The same from 7zz. */
    write_file(dir.file("zz.txt"), to_bytes("second"));
    ASSERT_EQ(run_command("cd '" + dir.path + "' && 7zz a -bd -y -tzip two.zip plain zz.txt >/dev/null"), 0);
    src = dir.file("two.zip");
    remove(dst.c_str());
    EXPECT_EQ(decode(&err), 1);
    EXPECT_EQ(err, src + " has more than one entry -- unchanged\n");
    EXPECT_TRUE(read_file(dst) == data);
}

/* Headers refused before any destination exists: result 1, nothing created. */
TEST_F(FileTest, RefusedHeaders)
{
    const Bytes ok = gz_of(to_bytes("data"));
    auto with = [&](size_t at, uint8_t v) {
        Bytes b = ok;
        b[at] = v;
        return b;
    };
    const Bytes short_zip = {0x50, 0x4b, 0x03, 0x04, 20, 0, 0, 0, 8, 0};
    const struct {
        const char *name;
        Bytes file;
        std::string err; /* with P for the source path */
    } cases[] = {
        {"not gzip", to_bytes("hello there"), "P: not in gzip format\n"},
        {"zip magic, not at a local header", to_bytes("PKzz and more"), "P: not in gzip format\n"},
        {"method", with(2, 7), "P: unknown method 7 \n"},
        {"encrypted", with(3, 0x20), "P is encrypted\n"},
        {"encrypted and multi-part", with(3, 0x22), "P is encrypted\n"},
        {"multi-part", with(3, 0x02), "P is a a multi-part gzip file\n"},
        {"reserved", with(3, 0x40), "P has flags 0x40\n"},
        {"reserved with name", with(3, 0x88), "P has flags 0x88\n"},
        {"zip cut off", short_zip, "\nP: not a valid zip file\n"},
        {"zip method", zip_entry(0, 12, 0, 0, 0, Bytes(8, 0)), "\nP: first entry not deflated or stored -- use unzip\n"},
        {"zip encrypted", zip_entry(1, 8, 0, 0, 0, Bytes(8, 0)), "\nP: encrypted file -- use unzip\n"},
    };
    for (const auto &c : cases) {
        write_file(src, c.file);
        remove(dst.c_str());
        std::string err;
        EXPECT_EQ(decode(&err), 1) << c.name;
        std::string expect = c.err;
        expect.replace(expect.find('P'), 1, src);
        EXPECT_EQ(err, expect) << c.name;
        EXPECT_FALSE(file_exists(dst)) << c.name;
    }

    remove(src.c_str());
    std::string err;
    EXPECT_EQ(decode(&err), 1);
    EXPECT_EQ(err, src + ": No such file or directory\n");
    EXPECT_FALSE(file_exists(dst));

    write_file(src, ok);
    dst = dir.file("no/such/dir/out");
    EXPECT_EQ(decode(&err), 1);
    EXPECT_EQ(err, dst + ": No such file or directory\n");
}

/* Fatal errors: the process ends with status 255 and the exact message. */
TEST_F(FileTest, FatalErrors)
{
    const Bytes data = to_bytes("some data that is decoded");
    const Bytes ok = gz_of(data);
    Bytes bad_crc = ok;
    bad_crc[ok.size() - 8] ^= 1;
    Bytes bad_len = ok;
    bad_len[ok.size() - 4] ^= 1;
    Bytes one_more = ok;
    one_more.push_back(0x1f);
    Bytes cut(ok.begin(), ok.begin() + 20);
    const Bytes type3 = gzip_member({0x07, 0}, 0, 0);
    const Bytes stored_sizes = zip_entry(0, 0, crc32_of(to_bytes("abcde")), 6, 5, to_bytes("abcdef"));
    const Bytes stored_desc = zip_entry(8, 0, 0, 0, 0, to_bytes("0123456789abcdefgh"));
    const struct {
        const char *name;
        Bytes file;
        std::string err;
        bool dst_created;
        Bytes dst_content;
    } cases[] = {
        {"empty", Bytes(), "P: unexpected end of file\n", false, {}},
        {"one byte", Bytes{0x1f}, "P: unexpected end of file\n", false, {}},
        {"cut inside data", cut, "P: unexpected end of file\n", true, {}},
        {"one stray byte", one_more, "P: unexpected end of file\n", true, data},
        {"crc", bad_crc, "P: invalid compressed data--crc error\n", true, data},
        {"length", bad_len, "P: invalid compressed data--length error\n", true, data},
        {"block type 3", type3, "P: invalid compressed data--format violated\n", true, {}},
        {"stored sizes", stored_sizes, "len 5, siz 6\nP: invalid compressed data--length mismatch\n", true, {}},
        {"stored with descriptor", stored_desc, "P: invalid compressed data--crc error\n", true, {}},
    };
    for (const auto &c : cases) {
        write_file(src, c.file);
        remove(dst.c_str());
        ChildResult r = decode_in_child();
        EXPECT_TRUE(r.exited) << c.name;
        EXPECT_EQ(r.status, 255) << c.name;
        std::string expect = c.err;
        expect.replace(expect.find('P'), 1, src);
        EXPECT_EQ(r.err, expect) << c.name;
        EXPECT_EQ(file_exists(dst), c.dst_created) << c.name;
        if (c.dst_created) {
            EXPECT_TRUE(read_file(dst) == c.dst_content) << c.name;
        }
    }
}

/* Compressing after a decode selects the writer again; the result reads back. */
TEST_F(FileTest, CompressModeAfterDecodeRoundTrips)
{
    const Bytes data = corpus()[0].second;
    write_file(src, gz_of(to_bytes("a member with a stamp")));
    ASSERT_EQ(decode(), 0);
    ASSERT_EQ(time_stamp, 0x12345678u);

    const std::string plain = dir.file("plain.txt"), packed = dir.file("plain.txt.gz");
    write_file(plain, data);
    testing::internal::CaptureStderr();
    EXPECT_EQ(compress(plain.c_str(), packed.c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    Bytes gz = read_file(packed);
    ASSERT_GE(gz.size(), 18u);
    EXPECT_EQ(gz[3], 0x08) << "the source's name is stored";
    EXPECT_EQ(gz[4] | gz[5] << 8 | gz[6] << 16 | (uint32_t)gz[7] << 24, 0x12345678u);

    src = packed;
    remove(dst.c_str());
    EXPECT_EQ(decode(), 0);
    EXPECT_TRUE(read_file(dst) == data);
}
