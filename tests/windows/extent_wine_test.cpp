/*
 * extent_wine_test.cpp: the launcher's utilities on Windows, run under
 * Wine: command-line splitting and start-up, the Tcl commands and the
 * window icon (against Tcl doubles), threads, events, the notifier and
 * pipes.  Prints PASS or FAIL per case; exit status 1 if any failed.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/extent.h"
#include "wine_check.h"

static int Failures = 0;

void Check(bool ok, const std::string &name, const std::string &detail)
{
    if (ok) {
        printf("PASS %s\n", name.c_str());
    } else {
        printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        Failures++;
    }
    fflush(stdout);
}

bool WaitUntil(bool (*done)(), unsigned ms)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms)
            return done();
        Sleep(5);
    }
    return true;
}

int main(int, char **argv)
{
    if (getenv("KV_STARTUP_CHILD"))
        return RunStartupChild();
    TestCmd2argv();
    TestStartup(argv[0]);
    TestCommands();
    TestThreads();
    TestEvents();
    TestNotify();
    TestPipes();
    printf("%s\n", Failures ? "some cases failed" : "all cases passed");
    return Failures ? 1 : 0;
}
