/* launcher_util.h: child processes and a private Xvfb display for the launcher tests. */
#ifndef KOVRA_TESTS_LAUNCHER_UTIL_H
#define KOVRA_TESTS_LAUNCHER_UTIL_H

#include <string>
#include <vector>

struct RunResult {
    int status = -1;      /* exit status, or -1 when killed or not started */
    bool timed_out = false;
    std::string out, err;
    double seconds = 0;
};

/* Runs argv[0] with display as DISPLAY (none if empty), killed after timeout_s. */
RunResult RunProgram(const std::vector<std::string> &argv, const std::string &display,
                     double timeout_s, const std::string &cwd = "");

/* Starts Xvfb on a free display; "" if Xvfb is not installed or fails. */
std::string StartXvfb();
void StopXvfb();

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);
/* A fresh temporary directory. */
std::string MakeTempDir();
void CopyFile(const std::string &from, const std::string &to, bool executable);

/* Panic("%s", text) in a child without a display: what it wrote to stderr, and its exit status. */
std::string PanicReport(const std::string &text, int *status);

#endif
