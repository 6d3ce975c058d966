/* engine_test_util.cpp: the helpers of engine_test_util.h. */
#include "engine_test_util.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

ScratchDir::ScratchDir()
{
    char tmpl[] = "/tmp/kv_engine_test_XXXXXX";
    const char *p = mkdtemp(tmpl);
    path = p ? p : "/tmp";
}

ScratchDir::~ScratchDir()
{
    if (path.rfind("/tmp/kv_engine_test_", 0) == 0)
        run_command("rm -rf '" + path + "'");
}

Bytes read_file(const std::string &path)
{
    Bytes data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

void write_file(const std::string &path, const Bytes &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    if (!data.empty())
        fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

Bytes to_bytes(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

int run_command(const std::string &command)
{
    int st = system(command.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool have_program(const char *name)
{
    return run_command(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

ChildResult run_in_child(const std::function<int()> &body)
{
    ChildResult res;
    char tmpl[] = "/tmp/kv_engine_err_XXXXXX";
    int errfd = mkstemp(tmpl);
    if (errfd < 0)
        return res;
    unlink(tmpl);
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(errfd, 2);
        int rc = body();
        fflush(stderr);
        _exit(rc);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    res.exited = WIFEXITED(st);
    res.status = res.exited ? WEXITSTATUS(st) : -1;
    lseek(errfd, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(errfd, buf, sizeof buf)) > 0)
        res.err.append(buf, (size_t)n);
    close(errfd);
    return res;
}

void BitWriter::bits(uint32_t value, unsigned count)
{
    for (unsigned i = 0; i < count; i++) {
        acc |= ((value >> i) & 1u) << n;
        if (++n == 8) {
            out.push_back((uint8_t)acc);
            acc = 0;
            n = 0;
        }
    }
}

void BitWriter::code(uint32_t c, unsigned len)
{
    for (unsigned i = len; i-- > 0;)
        bits((c >> i) & 1u, 1);
}

void BitWriter::align()
{
    if (n)
        bits(0, 8 - n);
}

Bytes BitWriter::finish()
{
    align();
    return out;
}

void fixed_literal(BitWriter &w, unsigned sym)
{
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xc0 + sym - 280, 8);
}

void fixed_distance(BitWriter &w, unsigned sym)
{
    w.code(sym, 5);
}

static const unsigned LEN_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const unsigned LEN_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const unsigned DIST_BASE[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                       33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const unsigned DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void fixed_match(BitWriter &w, unsigned length, unsigned distance)
{
    unsigned li = 28;
    while (li > 0 && (LEN_BASE[li] > length || (li == 28 && length != 258)))
        li--;
    fixed_literal(w, 257 + li);
    w.bits(length - LEN_BASE[li], LEN_EXTRA[li]);
    unsigned di = 29;
    while (DIST_BASE[di] > distance)
        di--;
    fixed_distance(w, di);
    w.bits(distance - DIST_BASE[di], DIST_EXTRA[di]);
}

uint32_t crc32_of(const Bytes &data)
{
    uint32_t c = 0xffffffffu;
    for (uint8_t b : data) {
        c ^= b;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xedb88320u : c >> 1;
    }
    return c ^ 0xffffffffu;
}

Bytes gzip_member(const Bytes &deflate, uint32_t crc, uint32_t len, uint8_t flags,
                  const Bytes &fields)
{
    Bytes m = {0x1f, 0x8b, 8, flags, 0x78, 0x56, 0x34, 0x12, 0, 3};
    m.insert(m.end(), fields.begin(), fields.end());
    m.insert(m.end(), deflate.begin(), deflate.end());
    for (int i = 0; i < 4; i++)
        m.push_back((uint8_t)(crc >> (8 * i)));
    for (int i = 0; i < 4; i++)
        m.push_back((uint8_t)(len >> (8 * i)));
    return m;
}
