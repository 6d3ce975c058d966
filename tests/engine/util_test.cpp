/* util_test.cpp: CRC-32, refill, report and name utilities of the engine. */
#include "engine/engine.h"
#include "engine_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Crc, TableAndCheckValue)
{
    EXPECT_EQ(crc_32_tab[0], 0u);
    EXPECT_EQ(crc_32_tab[1], 0x77073096u);
    EXPECT_EQ(crc_32_tab[255], 0x2D02EF8Du);
    updcrc(nullptr, 0);
    const uch digits[] = "123456789";
    EXPECT_EQ(updcrc(digits, 9), 0xCBF43926u);
    /* A non-null pointer with no bytes reports the register unchanged. */
    EXPECT_EQ(updcrc(outbuf, 0), 0xCBF43926u);
    /* Running in pieces gives the same value as in one go. */
    EXPECT_EQ(updcrc(nullptr, 0), 0u);
    updcrc(digits, 4);
    EXPECT_EQ(updcrc(digits + 4, 5), 0xCBF43926u);
}

static std::string ratio_text(int32_t num, int32_t den)
{
    char buf[64] = {0};
    FILE *f = fmemopen(buf, sizeof buf - 1, "w");
    display_ratio(num, den, f);
    fclose(f);
    return buf;
}

TEST(DisplayRatio, Table)
{
    const struct {
        int32_t num, den;
        const char *text;
    } cases[] = {
        {1, 4, " 25.0%"},
        {-1, 4, "-25.0%"},
        {5, 0, "  0.0%"},
        {1, 3, " 33.3%"},
        {4, 4, " 100.0%"},
        {1000000, 3000000, " 33.3%"},   /* large den: divided by 1000 first */
        {-2, 3, "-66.6%"},
        {2000000000, 3, " 66666666666.6%"}, /* no overflow of num x 1000 */
    };
    for (const auto &c : cases)
        EXPECT_EQ(ratio_text(c.num, c.den), c.text) << c.num << "/" << c.den;
}

TEST(Names, MakeSimpleName)
{
    const struct {
        const char *in, *out;
    } cases[] = {{"a.b.c", "a_b.c"}, {".profile", "_profile"}, {"plain", "plain"},
                 {"x.tar.gz", "x_tar.gz"}, {"one.txt", "one.txt"}, {"..x", "_.x"}};
    for (const auto &c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        make_simple_name(buf);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

TEST(Names, ShortName)
{
    const struct {
        const char *in, *out, *whole;
    } cases[] = {
        {"C:\\dir\\archive.tar.gz", "archive.gz", "C:\\dir\\archive.gz"},
        {"longfilename.text", "longfile.tex", "longfile.tex"},
        {".txt", ".txt", ".txt"},
        {"averylongname", "averylon", "averylon"},
        {"dir/sub/a.b", "a.b", "dir/sub/a.b"},
        {"d:name.c", "name.c", "d:name.c"},
    };
    for (const auto &c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        char *r = shortname(buf);
        EXPECT_STREQ(r, c.out) << c.in;
        EXPECT_STREQ(shname, c.whole) << c.in;
        EXPECT_STREQ(buf, c.in) << "the argument stays unchanged";
    }
}

TEST(Names, BasenameAndLower)
{
    const struct {
        const char *in, *out;
    } cases[] = {{"a/b\\c:d", "d"}, {"C:\\x\\y.z", "y.z"}, {"/usr/bin/", ""},
                 {"name", "name"}, {"a\\b/c", "c"}, {"x:", ""}};
    for (const auto &c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        EXPECT_STREQ(xbasename(buf), c.out) << c.in;
    }
    char s[] = "MiXeD 09 AZ az[]";
    EXPECT_EQ(strlwr(s), s);
    EXPECT_STREQ(s, "mixed 09 az az[]");
}

TEST(AddEnvopt, InsertsWordsAfterProgramName)
{
    setenv("KV_ENVOPT_TEST", "  -a\t-b  c ", 1);
    char prog[] = "prog", x[] = "x", y[] = "y";
    char *argv0[] = {prog, x, y, nullptr};
    int argc = 3;
    char **argv = argv0;
    char *env = add_envopt(&argc, &argv, "KV_ENVOPT_TEST");
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(argc, 6);
    const char *expect[] = {"prog", "-a", "-b", "c", "x", "y"};
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(argv[i], expect[i]) << i;
    EXPECT_EQ(argv[6], nullptr);
    free(argv);
    free(env);

    setenv("KV_ENVOPT_TEST", " \t ", 1);
    argc = 3;
    argv = argv0;
    EXPECT_EQ(add_envopt(&argc, &argv, "KV_ENVOPT_TEST"), nullptr);
    EXPECT_EQ(argc, 3);
    EXPECT_EQ(argv, argv0);
    unsetenv("KV_ENVOPT_TEST");
    EXPECT_EQ(add_envopt(&argc, &argv, "KV_ENVOPT_TEST"), nullptr);
}

TEST(AddEnvopt, NoProgramNameIsFatal)
{
    ChildResult r = run_in_child([] {
        setenv("KV_ENVOPT_TEST", "w", 1);
        strcpy(ifname, "src");
        char *argv0[] = {nullptr};
        int argc = 0;
        char **argv = argv0;
        add_envopt(&argc, &argv, "KV_ENVOPT_TEST");
        return 0;
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "src: argc<=0\n");
}

/* The refill loops over short reads (a pipe delivers in pieces) until full. */
TEST(FillInbuf, RetriesShortReadsAndCounts)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        uch chunk[1000];
        for (int i = 0; i < 40; i++) {
            memset(chunk, i, sizeof chunk);
            if (write(p[1], chunk, sizeof chunk) != (ssize_t)sizeof chunk)
                _exit(1);
            usleep(1000);
        }
        _exit(0);
    }
    close(p[1]);
    clear_bufs();
    ifd = p[0];
    EXPECT_EQ(fill_inbuf(0), 0);
    EXPECT_EQ(insize, INBUFSIZ);
    EXPECT_EQ(inptr, 1u);
    EXPECT_EQ(inbuf[32767], 32);
    EXPECT_EQ(bytes_in, 32768);
    EXPECT_EQ(fill_inbuf(0), 32);
    EXPECT_EQ(insize, 40000u - 32768u);
    EXPECT_EQ(bytes_in, 40000);
    EXPECT_EQ(fill_inbuf(1), -1);
    close(p[0]);
    waitpid(pid, nullptr, 0);
}

TEST(FatalPaths, MessagesAndStatus)
{
    ChildResult r = run_in_child([] {
        strcpy(ifname, "in.gz");
        error("invalid compressed data--crc error");
        return 0;
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "in.gz: invalid compressed data--crc error\n");

    r = run_in_child([] {
        strcpy(ifname, "in.gz");
        int fd = open("/dev/null", O_RDONLY);
        ifd = fd;
        fill_inbuf(0);
        return 0;
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "in.gz: unexpected end of file\n");

    r = run_in_child([] {
        strcpy(ifname, "in.gz");
        ifd = 999; /* not open: the system's message */
        fill_inbuf(0);
        return 0;
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, std::string("in.gz: ") + strerror(EBADF) + "\n");

    r = run_in_child([] {
        strcpy(ofname, "out.txt");
        write_buf(999, "abc", 3);
        return 0;
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, std::string("out.txt: ") + strerror(EBADF) + "\n");
}

static void hook_exit_7(int status)
{
    _exit(status == -1 ? 7 : 8);
}

TEST(FatalPaths, ExitHookIsCalledInstead)
{
    ChildResult r = run_in_child([] {
        engine_set_exit_hook(hook_exit_7);
        strcpy(ifname, "f");
        error("out of memory");
        return 0;
    });
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.err, "f: out of memory\n");
}

TEST(Warn, SetsWarningOnlyOverSuccess)
{
    testing::internal::CaptureStderr();
    strcpy(ifname, "src");
    exit_code = OK;
    warn("first ", "thing");
    EXPECT_EQ(exit_code, WARNING);
    exit_code = ERROR;
    warn("x", "");
    EXPECT_EQ(exit_code, ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "src: warning: first thing\nsrc: warning: x\n");
    exit_code = OK;
}

TEST(Output, FlushCountsAndPutHelpers)
{
    ScratchDir dir;
    std::string path = dir.file("o");
    ofd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    clear_bufs();
    for (unsigned i = 0; i < OUTBUFSIZ - 1; i++)
        put_out_byte(i & 0xff);
    EXPECT_EQ(outcnt, OUTBUFSIZ - 1);
    put_out_short(0x0201); /* crosses the flush point: low byte first */
    EXPECT_EQ(outcnt, 1u);
    EXPECT_EQ(bytes_out, (int32_t)OUTBUFSIZ);
    put_out_long(0x06050403);
    flush_outbuf();
    close(ofd);
    Bytes got = read_file(path);
    ASSERT_EQ(got.size(), OUTBUFSIZ + 5);
    EXPECT_EQ(got[OUTBUFSIZ - 1], 1);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(got[OUTBUFSIZ + i], 2 + i);
}

/* The pass-through writes the loaded buffer from its start, then the rest. */
TEST(Copy, PassesInputThrough)
{
    ScratchDir dir;
    Bytes data(100000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 7 + i / 251);
    write_file(dir.file("in"), data);
    clear_bufs();
    ifd = open(dir.file("in").c_str(), O_RDONLY);
    int out = open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    fill_inbuf(0);
    inptr = 2; /* a header reader looked at two bytes: they are copied too */
    EXPECT_EQ(copy(ifd, out), 0);
    close(ifd);
    close(out);
    EXPECT_TRUE(read_file(dir.file("out")) == data);
    EXPECT_EQ(bytes_out, 100000);
    EXPECT_EQ(bytes_in, 100000);
}
