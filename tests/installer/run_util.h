/*
 * run_util.h: helpers of the installer tests: temporary trees, files, and
 * running a program with its standard input through a pipe.
 */
#ifndef KOVRA_TESTS_INSTALLER_RUN_UTIL_H
#define KOVRA_TESTS_INSTALLER_RUN_UTIL_H

#include "installer/instfct.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

/* A fresh directory under /tmp, by its real path, removed at the end. */
struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/kv-inst-XXXXXX";
        const char *made = mkdtemp(tmpl);
        if (!made)
            abort();
        char real[PATH_MAX];
        path = realpath(made, real) ? real : made;
    }
    ~TempDir() { system(("rm -rf '" + path + "'").c_str()); }
};

inline void write_file(const std::string &path, const std::string &content)
{
    std::string dir = path.substr(0, path.rfind('/'));
    system(("mkdir -p '" + dir + "'").c_str());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline int mode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

/* The path with every '/' turned into '\', as the programs print it. */
inline std::string native(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

/* Compresses src into the gzip file dst with the kit's own FileCompress. */
inline void gzip_fixture(const std::string &src, const std::string &dst)
{
    std::vector<char> s(src.begin(), src.end()), d(dst.begin(), dst.end());
    s.push_back('\0');
    d.push_back('\0');
    unlink(dst.c_str()); /* a fresh file, without the replacement warning */
    int status = FileCompress(s.data(), d.data());
    ASSERT_EQ(status, 0) << src;
}

struct RunResult {
    int status = -1;      /* exit status, or -1 when killed or timed out */
    std::string out, err; /* what it wrote to stdout and stderr */
};

/*
 * Runs argv with HOME=home and standard input from a pipe fed with input.
 * keep_open leaves the pipe open after the input, so a program that reads
 * more than it was given blocks and is killed at the timeout (status -1).
 */
inline RunResult run(const std::vector<std::string> &argv, const std::string &input,
                     const std::string &home, bool keep_open = false, int timeout_s = 20)
{
    RunResult r;
    char out_tmpl[] = "/tmp/kv-out-XXXXXX", err_tmpl[] = "/tmp/kv-err-XXXXXX";
    int out_fd = mkstemp(out_tmpl), err_fd = mkstemp(err_tmpl);
    int in_pipe[2];
    if (out_fd < 0 || err_fd < 0 || pipe(in_pipe) != 0)
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        close(in_pipe[0]);
        close(in_pipe[1]);
        setenv("HOME", home.c_str(), 1);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in_pipe[0]);
    signal(SIGPIPE, SIG_IGN);
    if (!input.empty() && write(in_pipe[1], input.data(), input.size()) != (ssize_t)input.size())
        abort();
    if (!keep_open)
        close(in_pipe[1]);
    int status = 0;
    bool done = false;
    for (int i = 0; i < timeout_s * 100; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            done = true;
            break;
        }
        struct timespec ts = {0, 10 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    if (!done) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (keep_open)
        close(in_pipe[1]);
    if (done && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    close(out_fd);
    close(err_fd);
    r.out = read_file(out_tmpl);
    r.err = read_file(err_tmpl);
    unlink(out_tmpl);
    unlink(err_tmpl);
    return r;
}

#endif
