/* Notify wakes the thread that runs a Tcl event loop: a thread waiting in
 * Tcl_DoOneEvent(0) stays there until another thread calls Notify. */
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "launcher/extent.h"
#include "wait_until.h"

namespace {

/* The thread of the Tcl event loop, as the tests see it. */
struct Loop {
    std::atomic<bool> Ready{false};
    std::atomic<bool> Stop{false};
    std::atomic<int> Returns{0}; /* Tcl_DoOneEvent calls that returned */
    std::atomic<int> Handled{0}; /* ... and reported an event handled */
    std::atomic<DWORD> Id{0};
    std::atomic<bool> Exited{false};
};

void RunLoop(Loop *loop)
{
    Tcl_Interp *interp = Tcl_CreateInterp();
    CreateNotifier();
    loop->Id = GetCurrentThreadId();
    /* Whatever the interpreter queued for itself goes first. */
    while (Tcl_DoOneEvent(TCL_DONT_WAIT) != 0) {
    }
    loop->Ready = true;
    while (!loop->Stop.load()) {
        int handled = Tcl_DoOneEvent(0);
        loop->Handled += handled != 0;
        loop->Returns++;
    }
    DeleteNotifier();
    Tcl_DeleteInterp(interp);
    /* Tcl keeps a thread's notifier until told; a later thread may be
     * given the same thread identifier by the system. */
    Tcl_FinalizeThread();
    loop->Exited = true;
}

/* Joins the loop's thread once it has ended; if it does not end, leaves
 * it (and its Loop) behind so that the failure is reported, not a hang. */
bool Finished(std::thread &thread, Loop *loop)
{
    if (!WaitUntil([&] { return loop->Exited.load(); }, 30.0)) {
        thread.detach();
        return false;
    }
    thread.join();
    return true;
}

class NotifyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Tcl_FindExecutable(nullptr); }
};

TEST_F(NotifyTest, WakesTheWaitingEventLoopAndNothingElseDoes)
{
    Loop &loop = *new Loop;
    std::thread tcl(RunLoop, &loop);
    ASSERT_TRUE(WaitUntil([&] { return loop.Ready.load(); }));
    EXPECT_EQ(IdMainThread, loop.Id.load()) << "CreateNotifier names its own thread";

    /* Without a Notify the loop stays asleep. */
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(loop.Returns.load(), 0);

    /* Notify from another thread than the loop's and this one. */
    std::thread([] { Notify(); }).join();
    ASSERT_TRUE(WaitUntil([&] { return loop.Returns.load() >= 1; }, 30.0))
        << "Tcl_DoOneEvent did not return after Notify";
    EXPECT_EQ(loop.Handled.load(), loop.Returns.load()) << "the wake-up is an event Tcl handled";

    /* And again: the wake-up is not a one-off, and it is not repeated. */
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int returns = loop.Returns.load();
    EXPECT_EQ(returns, 1);
    loop.Stop = true;
    Notify();
    ASSERT_TRUE(Finished(tcl, &loop));
    delete &loop;
}

TEST_F(NotifyTest, BurstFromSeveralThreadsNeitherFloodsNorWedges)
{
    Loop &loop = *new Loop;
    std::thread tcl(RunLoop, &loop);
    ASSERT_TRUE(WaitUntil([&] { return loop.Ready.load(); }));
    constexpr int perThread = 8000; /* more than a thread-message queue holds */
    std::thread a([] {
        for (int i = 0; i < perThread; i++)
            Notify();
    });
    std::thread b([] {
        for (int i = 0; i < perThread; i++)
            Notify();
    });
    a.join();
    b.join();
    /* A last Notify after the stop request must still get through. */
    loop.Stop = true;
    Notify();
    ASSERT_TRUE(Finished(tcl, &loop)) << "the loop missed the last wake-up";
    /* Wake-ups are merged: never more returns than Notify calls. */
    EXPECT_GE(loop.Returns.load(), 1);
    EXPECT_LE(loop.Returns.load(), 2 * perThread + 1);
    delete &loop;
}

} // namespace
