/* wait_until.h: bounded polling for the thread tests. */
#ifndef KOVRA_TESTS_THREADS_WAIT_UNTIL_H
#define KOVRA_TESTS_THREADS_WAIT_UNTIL_H

#include <chrono>
#include <thread>

/* Polls condition until it holds or seconds have passed; its last value. */
template <typename Condition>
bool WaitUntil(Condition condition, double seconds = 20.0)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/* Milliseconds elapsed since start. */
inline double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

#endif
