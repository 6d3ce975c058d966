/* launcher_util.cpp: child processes and a private Xvfb display for the launcher tests. */
#include "launcher_util.h"

#include "launcher/extent.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string MakeTempDir()
{
    char tmpl[] = "/tmp/kvlauncherXXXXXX";
    char *dir = mkdtemp(tmpl);
    return dir ? dir : "";
}

void CopyFile(const std::string &from, const std::string &to, bool executable)
{
    WriteFile(to, ReadFile(from));
    chmod(to.c_str(), executable ? 0755 : 0644);
}

RunResult RunProgram(const std::vector<std::string> &argv, const std::string &display,
                     double timeout_s, const std::string &cwd)
{
    RunResult r;
    std::string dir = MakeTempDir();
    std::string out = dir + "/out", err = dir + "/err";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int n = open("/dev/null", O_RDONLY);
        dup2(n, 0);
        dup2(o, 1);
        dup2(e, 2);
        if (display.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", display.c_str(), 1);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t > timeout_s) {
            r.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.timed_out && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    unlink(out.c_str());
    unlink(err.c_str());
    rmdir(dir.c_str());
    return r;
}

static pid_t xvfb_pid = -1;
static std::string xvfb_display;

std::string StartXvfb()
{
    if (!xvfb_display.empty())
        return xvfb_display;
    if (access("/usr/bin/Xvfb", X_OK) != 0 && system("command -v Xvfb >/dev/null 2>&1") != 0)
        return "";
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    xvfb_pid = fork();
    if (xvfb_pid == 0) {
        close(fds[0]);
        int n = open("/dev/null", O_RDWR);
        dup2(n, 0);
        dup2(n, 1);
        dup2(n, 2);
        std::string fd = std::to_string(fds[1]);
        /* -displayfd: the server picks a free display and writes its number. */
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        StopXvfb();
        return "";
    }
    xvfb_display = ":" + number;
    return xvfb_display;
}

void StopXvfb()
{
    if (xvfb_pid > 0) {
        kill(xvfb_pid, SIGTERM);
        waitpid(xvfb_pid, nullptr, 0);
    }
    xvfb_pid = -1;
    xvfb_display.clear();
}

std::string PanicReport(const std::string &text, int *status)
{
    *status = -1;
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        unsetenv("DISPLAY");
        Panic("%s", text.c_str());
    }
    close(fds[1]);
    std::string err;
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;)
        err.append(chunk, (size_t)n);
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st))
        *status = WEXITSTATUS(st);
    return err;
}
