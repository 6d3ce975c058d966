/*
 * extent_thread.cpp: the launcher's thread, event and pipe utilities.
 *
 * Threads that work beside the Tcl event loop are started and awaited
 * here, the event-loop thread is woken with Notify, and bytes pass from
 * one thread to another through PIPE, a ring with one writer, one reader
 * and no lock.  Failures throw a constant text.
 *
 * Waking the event loop: Notify posts the thread message WM_TIMER to the
 * thread that called CreateNotifier.  On Windows that message itself
 * wakes Tcl's notifier.  On POSIX hosts the platform layer only queues
 * thread messages; CreateNotifier registers a wake-up hook with it, and
 * the hook (run on the posting thread) queues a Tcl event for the
 * notifier's thread and alerts that thread, so that its Tcl_DoOneEvent
 * returns.  The Tcl event takes the queued thread messages, which carry
 * nothing beyond the wake-up.  One Tcl event at a time is outstanding, so
 * a burst of Notify calls cannot flood Tcl's queue.
 */
#include "launcher/extent.h"

#include <cstdlib>
#include <cstring>
#include <new>

#ifndef _WIN32
#define _strdup strdup /* the runtime's name on Windows */
#endif

DWORD IdMainThread = 0;
CRITICAL_SECTION CSection;

/* ---- Threads ---------------------------------------------------------- */

namespace {

/* What the started thread needs: the routine and its own copy of the text. */
struct ThreadStart {
    void (*Routine)(void *);
    char *Text;
};

DWORD WINAPI RunThread(LPVOID arg)
{
    ThreadStart start = *static_cast<ThreadStart *>(arg);
    free(arg);
    start.Routine(start.Text);
    return 0;
}

} // namespace

/*
 * The copy of text belongs to the routine (which frees it).  When the
 * thread cannot be started, nothing is kept and the stored handle is
 * null.  A null text is handed over as null.
 */
void CreateThread(void (*routine)(void *), void *text, void **handle)
{
    *handle = nullptr;
    ThreadStart *start = static_cast<ThreadStart *>(malloc(sizeof(ThreadStart)));
    if (start == nullptr)
        return;
    start->Routine = routine;
    start->Text = nullptr;
    if (text != nullptr) {
        start->Text = _strdup(static_cast<const char *>(text));
        if (start->Text == nullptr) {
            free(start);
            return;
        }
    }
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == nullptr) {
        free(start->Text);
        free(start);
        return;
    }
    *handle = thread;
}

void WaitEndThread(void *handle)
{
    if (WaitForSingleObject(handle, 5000) != WAIT_OBJECT_0)
        throw "error: can't terminate";
}

/* ---- Waking the event-loop thread ------------------------------------- */

#ifndef _WIN32
namespace {

/* True while a wake-up event is queued for the notifier's thread. */
std::atomic<bool> WakePending{false};

/* Runs on the notifier's thread: takes the thread messages. */
int WakeEventProc(Tcl_Event *, int flags)
{
    if ((flags & TCL_WINDOW_EVENTS) == 0)
        return 0; /* a thread message is a window-system event */
    /* Cleared first: a Notify after this point queues a new event. */
    WakePending.store(false);
    while (kv_take_thread_message(nullptr, nullptr, nullptr)) {
    }
    return 1;
}

/* Runs on the posting thread, for every message posted to the notifier. */
void WakeTcl(void *data)
{
    Tcl_ThreadId thread = static_cast<Tcl_ThreadId>(data);
    if (!WakePending.exchange(true)) {
        Tcl_Event *event = reinterpret_cast<Tcl_Event *>(Tcl_Alloc(sizeof(Tcl_Event)));
        event->proc = WakeEventProc;
        event->nextPtr = nullptr;
        Tcl_ThreadQueueEvent(thread, event, TCL_QUEUE_TAIL);
    }
    Tcl_ThreadAlert(thread);
}

} // namespace
#endif

void CreateNotifier()
{
#ifndef _WIN32
    WakePending.store(false);
    kv_set_wake_hook(WakeTcl, static_cast<void *>(Tcl_GetCurrentThread()));
#endif
    IdMainThread = GetCurrentThreadId();
}

void Notify()
{
    PostThreadMessageA(IdMainThread, WM_TIMER, 0, 0);
}

void DeleteNotifier()
{
}

/* ---- Events ----------------------------------------------------------- */

void *CreateEventA()
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
        throw "error: can't create event";
    return event;
}

void DeleteEvent(void *event)
{
    CloseHandle(event);
}

int WaitForEvent(void *event, unsigned ms)
{
    return WaitForSingleObject(event, ms) == WAIT_TIMEOUT ? 0 : 1;
}

/* ---- Pipes ------------------------------------------------------------ */

/*
 * A ring of size bytes holds size - 1 of them, so a size of 1 could never
 * take a byte and its writer would wait for ever: it is refused as a size
 * of 0 is.  A pipe whose event or storage cannot be made is released
 * before the failure is thrown.
 */
PIPE *CreatePipe(int size)
{
    if (size <= 1)
        throw "error: CreatePipe";
    PIPE *pipe = new (std::nothrow) PIPE;
    if (pipe == nullptr)
        throw "error: CreatePipe";
    pipe->Size = size;
    pipe->Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (pipe->Event == nullptr) {
        delete pipe;
        throw "error: can't create event";
    }
    pipe->Data = static_cast<char *>(malloc((size_t)size));
    if (pipe->Data == nullptr) {
        CloseHandle(pipe->Event);
        delete pipe;
        throw "error: CreatePipe";
    }
    pipe->ReadIndex.store(0);
    pipe->WriteIndex.store(0);
    return pipe;
}

void DeletePipe(PIPE *pipe)
{
    if (pipe == nullptr)
        return;
    CloseHandle(pipe->Event);
    free(pipe->Data);
    delete pipe;
}

/*
 * Each side owns one index: it reads its own relaxed and publishes it
 * with release once the byte is stored (writer) or taken (reader); the
 * other side's index is read with acquire, so the byte it guards is seen.
 */
bool EmptyPipe(PIPE *pipe)
{
    return pipe->ReadIndex.load(std::memory_order_relaxed) ==
           pipe->WriteIndex.load(std::memory_order_acquire);
}

bool FullPipe(PIPE *pipe)
{
    int next = (pipe->WriteIndex.load(std::memory_order_relaxed) + 1) % pipe->Size;
    return next == pipe->ReadIndex.load(std::memory_order_acquire);
}

void ReadPipe(PIPE *pipe, char *dst, int len)
{
    for (int i = 0; i < len; i++) {
        while (EmptyPipe(pipe))
            WaitForSingleObject(pipe->Event, 250);
        int at = pipe->ReadIndex.load(std::memory_order_relaxed);
        dst[i] = pipe->Data[at];
        pipe->ReadIndex.store((at + 1) % pipe->Size, std::memory_order_release);
    }
}

/*
 * The event is signalled once the call has written.  A call that finds the
 * pipe full after writing part of its bytes signals before it waits too:
 * the reader may be waiting for exactly those bytes, and without the
 * signal both would stall until the reader's 250 ms look-again.
 */
void WritePipe(PIPE *pipe, const char *src, int len)
{
    bool unsignalled = false;
    for (int i = 0; i < len; i++) {
        while (FullPipe(pipe)) {
            if (unsignalled) {
                SetEvent(pipe->Event);
                unsignalled = false;
            }
            Sleep(10);
        }
        int at = pipe->WriteIndex.load(std::memory_order_relaxed);
        pipe->Data[at] = src[i];
        pipe->WriteIndex.store((at + 1) % pipe->Size, std::memory_order_release);
        unsignalled = true;
    }
    SetEvent(pipe->Event);
}

/* Used by the reader: every byte written so far counts as taken. */
void FlushPipe(PIPE *pipe)
{
    pipe->ReadIndex.store(pipe->WriteIndex.load(std::memory_order_acquire),
                          std::memory_order_release);
}
