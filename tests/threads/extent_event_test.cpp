/* The launcher's thread and event utilities: CreateThread's text copy,
 * WaitEndThread, and the auto-reset events. */
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "launcher/extent.h"
#include "wait_until.h"

namespace {

/* What the started routine saw. */
struct Seen {
    HANDLE Gate; /* the routine waits for it before it looks at its text */
    std::string Text;
    const void *Pointer = nullptr;
    bool WasNull = false;
};
Seen seen;

void LookAtText(void *text)
{
    WaitForSingleObject(seen.Gate, INFINITE);
    seen.Pointer = text;
    seen.WasNull = text == nullptr;
    if (text != nullptr)
        seen.Text = static_cast<const char *>(text);
    free(text); /* the copy is the routine's */
}

std::string Thrown(void (*call)(void *), void *arg)
{
    try {
        call(arg);
    } catch (const char *text) {
        return text;
    }
    return "(nothing thrown)";
}

TEST(ExtentThread, RoutineGetsItsOwnCopyOfTheText)
{
    seen = Seen();
    seen.Gate = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    char text[] = "status 0";
    void *handle = nullptr;
    CreateThread(LookAtText, text, &handle);
    ASSERT_NE(handle, nullptr);
    /* The caller's text changes before the routine reads its own. */
    strcpy(text, "changed!");
    SetEvent(seen.Gate);
    WaitEndThread(handle);
    EXPECT_EQ(seen.Text, "status 0");
    EXPECT_NE(seen.Pointer, static_cast<void *>(text));
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0) << "the handle stays open";
    CloseHandle(handle);
    CloseHandle(seen.Gate);
}

TEST(ExtentThread, NullTextIsHandedOverAsNull)
{
    seen = Seen();
    seen.Gate = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    void *handle = nullptr;
    CreateThread(LookAtText, nullptr, &handle);
    ASSERT_NE(handle, nullptr);
    WaitEndThread(handle);
    EXPECT_TRUE(seen.WasNull);
    CloseHandle(handle);
    CloseHandle(seen.Gate);
}

HANDLE release_blocker;
void Blocked(void *text)
{
    WaitForSingleObject(release_blocker, INFINITE);
    free(text);
}

TEST(ExtentThread, WaitEndThreadGivesUpAfterFiveSeconds)
{
    release_blocker = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    void *handle = nullptr;
    CreateThread(Blocked, const_cast<char *>("x"), &handle);
    ASSERT_NE(handle, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Thrown(WaitEndThread, handle), "error: can't terminate");
    EXPECT_GE(MsSince(start), 4900.0);
    /* Once it can end, the same handle is awaited normally. */
    SetEvent(release_blocker);
    EXPECT_EQ(Thrown(WaitEndThread, handle), "(nothing thrown)");
    CloseHandle(handle);
    CloseHandle(release_blocker);
}

TEST(ExtentThread, WaitEndThreadOnADeadHandleThrows)
{
    EXPECT_EQ(Thrown(WaitEndThread, nullptr), "error: can't terminate");
}

TEST(ExtentEvent, TimeOutThenSignalThenAutoReset)
{
    void *event = CreateEventA();
    ASSERT_NE(event, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvent(event, 100), 0);
    EXPECT_GE(MsSince(start), 95.0);

    SetEvent(event);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvent(event, 30000), 1);
    EXPECT_LT(MsSince(start), 10000.0) << "a signalled event does not wait out its time";
    EXPECT_EQ(WaitForEvent(event, 50), 0) << "the first wait reset it";
    DeleteEvent(event);
}

TEST(ExtentEvent, SignalFromAnotherThreadWakesTheWaiter)
{
    void *event = CreateEventA();
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = WaitForEvent(event, 60000); });
    SetEvent(event);
    waiter.join();
    EXPECT_EQ(result.load(), 1);
    DeleteEvent(event);
}

TEST(ExtentEvent, FailedWaitCountsAsSignalled)
{
    EXPECT_EQ(WaitForEvent(nullptr, 10), 1);
    void *event = CreateEventA();
    DeleteEvent(event);
    EXPECT_EQ(WaitForEvent(event, 10), 1) << "a closed event";
}

} // namespace
