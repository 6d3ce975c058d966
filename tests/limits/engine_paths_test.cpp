/*
 * engine_paths_test.cpp: compress() takes source and destination paths of
 * up to 259 characters, the size of its name buffers less the NUL; one
 * character more is refused with "name too long" before any file is
 * opened or made.
 */
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

struct Scratch {
    std::string path;
    Scratch()
    {
        char tmpl[] = "/tmp/kv-limits-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~Scratch() { (void)!system(("rm -rf '" + path + "'").c_str()); }
};

/* A path under base of exactly len characters, its directories made. */
std::string path_of_length(const std::string &base, size_t len, char fill)
{
    std::string p = base;
    while (len - p.size() > 60) {
        p += "/" + std::string(50, fill);
        mkdir(p.c_str(), 0700);
    }
    p += "/" + std::string(len - p.size() - 1, fill);
    return p;
}

void write_text(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct PathCase {
    int mode;        /* 0 compress, 1 uncompress */
    bool long_src;   /* which of the two paths has the length */
    size_t length;
};

} // namespace

TEST(EnginePathLimits, TwoHundredFiftyNineCharactersAndOneMore)
{
    const PathCase cases[] = {
        {0, true, 259}, {0, true, 260}, {0, false, 259}, {0, false, 260},
        {1, true, 259}, {1, true, 260}, {1, false, 259}, {1, false, 260},
    };
    const std::string text = "the engine's name buffers hold 259 characters\n";
    for (const PathCase &c : cases) {
        Scratch dir;
        const std::string plain = dir.path + "/plain", gz = dir.path + "/plain.gz";
        write_text(plain, text);
        ASSERT_EQ(compress(plain.c_str(), gz.c_str(), 0), 0);
        std::string src = c.mode == 0 ? plain : gz;
        std::string dst = dir.path + "/out";
        std::string &long_path = c.long_src ? src : dst;
        const std::string original = long_path;
        long_path = path_of_length(dir.path, c.length, c.long_src ? 's' : 'd');
        ASSERT_EQ(long_path.size(), c.length);
        if (c.long_src) {
            ASSERT_EQ(rename(original.c_str(), long_path.c_str()), 0);
        }

        testing::internal::CaptureStderr();
        int status = compress(src.c_str(), dst.c_str(), c.mode);
        std::string err = testing::internal::GetCapturedStderr();
        const std::string what = "mode " + std::to_string(c.mode) + (c.long_src ? " source " : " destination ")
                                 + std::to_string(c.length);
        if (c.length < MAX_PATH_LEN) {
            EXPECT_EQ(status, 0) << what << ": " << err;
            EXPECT_EQ(err, "") << what;
            /* A gzip file written at the limit reads back as the text. */
            const std::string back = dir.path + "/back";
            if (c.mode == 0) {
                EXPECT_EQ(compress(dst.c_str(), back.c_str(), 1), 0) << what;
            }
            EXPECT_EQ(read_text(c.mode == 0 ? back : dst), text) << what;
        } else {
            EXPECT_EQ(status, 1) << what;
            EXPECT_EQ(err, long_path + ": name too long\n") << what;
            EXPECT_FALSE(exists(dst)) << what;
        }
    }
}
