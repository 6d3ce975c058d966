/* compress_test_util.cpp: files and in-process compression for the compressor's tests. */
#include "compress_test_util.h"

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

std::string temp_path(const std::string &name)
{
    static std::string dir;
    if (dir.empty()) {
        char tmpl[] = "/tmp/kv_compress_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    return dir + "/" + name;
}

void write_file(const std::string &path, const bytes &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!data.empty())
        fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

bytes read_file(const std::string &path)
{
    bytes r;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return r;
    int c;
    while ((c = fgetc(f)) != EOF)
        r.push_back((uint8_t)c);
    fclose(f);
    return r;
}

bytes compress_bytes(const bytes &data, const std::string &name)
{
    std::string src = temp_path(name), dst = temp_path(name + ".gz");
    write_file(src, data);
    unlink(dst.c_str());
    EXPECT_EQ(compress(src.c_str(), dst.c_str(), 0), 0);
    return read_file(dst);
}
