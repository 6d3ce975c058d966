/* The POSIX emulation of threads, events, waits, critical sections and
 * thread messages. */
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "platform/win.h"
#include "wait_until.h"

namespace {

struct Gate {
    HANDLE Event; /* the thread waits on it before returning */
    std::atomic<DWORD> Id{0};
};

DWORD WINAPI GatedThread(LPVOID arg)
{
    Gate *gate = static_cast<Gate *>(arg);
    gate->Id.store(GetCurrentThreadId());
    WaitForSingleObject(gate->Event, INFINITE);
    return 42;
}

TEST(PlatformThread, HandleSignalledWhenRoutineReturns)
{
    Gate gate;
    gate.Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(gate.Event, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, GatedThread, &gate, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);

    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    ASSERT_TRUE(SetEvent(gate.Event));
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(gate.Id.load(), id) << "the identifier CreateThread gave is the thread's own";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    /* A thread stays signalled. */
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(CloseHandle(gate.Event));
}

TEST(PlatformThread, ClosingTheHandleLeavesTheThreadRunning)
{
    Gate gate;
    gate.Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 64 * 1024, GatedThread, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(CloseHandle(thread));
    ASSERT_TRUE(WaitUntil([&] { return gate.Id.load() != 0; }));
    DWORD id = gate.Id.load();
    EXPECT_TRUE(PostThreadMessageA(id, WM_TIMER, 0, 0)) << "the thread still lives";
    SetEvent(gate.Event);
    /* Once ended, its identifier names no thread. */
    EXPECT_TRUE(WaitUntil([&] { return !PostThreadMessageA(id, WM_TIMER, 0, 0); }));
    CloseHandle(gate.Event);
}

TEST(PlatformThread, IdentifiersAreUniqueAndNeverZero)
{
    std::vector<DWORD> ids(8);
    std::vector<std::thread> threads;
    for (auto &id : ids)
        threads.emplace_back([&id] { id = GetCurrentThreadId(); });
    for (auto &t : threads)
        t.join();
    ids.push_back(GetCurrentThreadId());
    EXPECT_EQ(GetCurrentThreadId(), ids.back()) << "stable within a thread";
    std::set<DWORD> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), ids.size());
    EXPECT_EQ(distinct.count(0u), 0u);
}

TEST(PlatformThread, RefusedStarts)
{
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    Gate gate;
    EXPECT_EQ(CreateThread(nullptr, 0, GatedThread, &gate, CREATE_SUSPENDED, nullptr), nullptr);
}

TEST(PlatformEvent, AutoResetReleasesOneWaitPerSignal)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    SetEvent(event); /* signals do not add up */
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    /* Two waiters, one signal: exactly one of them is released. */
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; i++)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 30000) == WAIT_OBJECT_0)
                released++;
        });
    SetEvent(event);
    ASSERT_TRUE(WaitUntil([&] { return released.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(released.load(), 1);
    SetEvent(event);
    for (auto &w : waiters)
        w.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(PlatformEvent, ManualResetStaysSignalled)
{
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(PlatformEvent, TimedWaitLastsItsTime)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
    EXPECT_GE(MsSince(start), 55.0);
    start = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(MsSince(start), 28.0);
    CloseHandle(event);
}

TEST(PlatformEvent, NamedEventsAreNotOffered)
{
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
}

TEST(PlatformHandle, MisuseFailsWithoutCrashing)
{
    int foreign = 0;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Gate gate;
    gate.Event = event;
    HANDLE thread = CreateThread(nullptr, 0, GatedThread, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);

    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(&foreign, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_FALSE(SetEvent(&foreign));
    EXPECT_FALSE(SetEvent(thread)) << "a thread is no event";
    DWORD code;
    EXPECT_FALSE(GetExitCodeThread(event, &code)) << "an event is no thread";
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(&foreign));

    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(CloseHandle(event));
    /* Closed handles are dead handles. */
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
}

TEST(PlatformLock, CriticalSectionIsRecursiveAndExclusive)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    std::atomic<int> tried{-1};
    std::thread other([&] { tried = TryEnterCriticalSection(&section); });
    other.join();
    EXPECT_EQ(tried.load(), FALSE) << "held by this thread";
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    long counter = 0; /* guarded by section only: ThreadSanitizer checks it */
    auto work = [&] {
        for (int i = 0; i < 20000; i++) {
            EnterCriticalSection(&section);
            counter++;
            LeaveCriticalSection(&section);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&section);
}

/* ---- thread messages ---- */

struct Woken {
    std::atomic<int> Calls{0};
};

void CountWake(void *data)
{
    static_cast<Woken *>(data)->Calls++;
}

TEST(PlatformMessage, PostedMessagesArriveInOrderAndWake)
{
    Woken woken;
    kv_set_wake_hook(CountWake, &woken);
    DWORD self = GetCurrentThreadId();
    std::thread poster([self] {
        EXPECT_TRUE(PostThreadMessageA(self, WM_TIMER, 1, -1));
        EXPECT_TRUE(PostThreadMessageA(self, 0x400, 2, 7));
    });
    poster.join();
    EXPECT_EQ(woken.Calls.load(), 2);
    UINT msg;
    WPARAM w;
    LPARAM l;
    ASSERT_TRUE(kv_take_thread_message(&msg, &w, &l));
    EXPECT_EQ(msg, WM_TIMER);
    EXPECT_EQ(w, 1u);
    EXPECT_EQ(l, -1);
    ASSERT_TRUE(kv_take_thread_message(&msg, &w, &l));
    EXPECT_EQ(msg, 0x400u);
    EXPECT_EQ(w, 2u);
    EXPECT_EQ(l, 7);
    EXPECT_FALSE(kv_take_thread_message(&msg, &w, &l));

    kv_set_wake_hook(nullptr, nullptr);
    EXPECT_TRUE(PostThreadMessageA(self, WM_TIMER, 0, 0));
    EXPECT_EQ(woken.Calls.load(), 2) << "a removed hook is not called";
    EXPECT_TRUE(kv_take_thread_message(nullptr, nullptr, nullptr));
}

TEST(PlatformMessage, NoThreadNoMessage)
{
    EXPECT_FALSE(PostThreadMessageA(0, WM_TIMER, 0, 0));
    DWORD gone = 0;
    std::thread t([&] { gone = GetCurrentThreadId(); });
    t.join();
    EXPECT_NE(gone, 0u);
    EXPECT_FALSE(PostThreadMessageA(gone, WM_TIMER, 0, 0)) << "the thread has ended";
}

TEST(PlatformMessage, QueueIsBounded)
{
    DWORD self = GetCurrentThreadId();
    for (int i = 0; i < KV_MESSAGE_QUEUE_LIMIT; i++)
        ASSERT_TRUE(PostThreadMessageA(self, WM_TIMER, (WPARAM)i, 0)) << i;
    EXPECT_FALSE(PostThreadMessageA(self, WM_TIMER, 0, 0));
    WPARAM w;
    ASSERT_TRUE(kv_take_thread_message(nullptr, &w, nullptr));
    EXPECT_EQ(w, 0u);
    EXPECT_TRUE(PostThreadMessageA(self, WM_TIMER, 0, 0)) << "room again";
    int left = 0;
    while (kv_take_thread_message(nullptr, nullptr, nullptr))
        left++;
    EXPECT_EQ(left, KV_MESSAGE_QUEUE_LIMIT);
}

} // namespace
