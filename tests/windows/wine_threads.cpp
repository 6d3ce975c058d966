/*
 * wine_threads.cpp: the thread, event, notifier and pipe utilities on the
 * real Windows API.  Helper threads of the tests themselves are started
 * with the system's CreateThread; the launcher's own CreateThread is
 * tested for what it promises.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "launcher/extent.h"
#include "wine_check.h"

namespace {

/* ---- Threads ---------------------------------------------------------- */

char Seen[64];                      /* the text the routine received */
const void *SeenAt = nullptr;       /* where it lay */
volatile LONG Finished = 0;
HANDLE Release = nullptr;           /* lets the long routine end */

void Record(void *text)
{
    SeenAt = text;
    snprintf(Seen, sizeof Seen, "%s", text ? static_cast<char *>(text) : "(null)");
    free(text);
    InterlockedExchange(&Finished, 1);
}

void Linger(void *text)
{
    WaitForSingleObject(Release, 20000);
    free(text);
}

bool RoutineFinished() { return Finished != 0; }

/* A helper thread of the tests: runs one routine on one pointer. */
struct Helper {
    HANDLE Thread;
};

struct Job {
    void (*Body)(void *);
    void *Arg;
};

DWORD WINAPI RunJob(LPVOID p)
{
    Job job = *static_cast<Job *>(p);
    delete static_cast<Job *>(p);
    job.Body(job.Arg);
    return 0;
}

Helper Start(void (*body)(void *), void *arg)
{
    return Helper{::CreateThread(nullptr, 0, RunJob, new Job{body, arg}, 0, nullptr)};
}

bool Join(Helper h, DWORD ms)
{
    bool ended = WaitForSingleObject(h.Thread, ms) == WAIT_OBJECT_0;
    CloseHandle(h.Thread);
    return ended;
}

} // namespace

void TestThreads()
{
    char text[] = "hand-over text";
    void *handle = nullptr;
    Finished = 0;
    CreateThread(Record, text, &handle);
    bool ended = handle != nullptr;
    try {
        if (ended)
            WaitEndThread(handle);
    } catch (const char *) {
        ended = false;
    }
    Check(ended && RoutineFinished() && strcmp(Seen, text) == 0 && SeenAt != text,
          "CreateThread runs the routine on its own copy of the text; WaitEndThread returns",
          std::string("saw ") + Seen);
    if (handle)
        CloseHandle(handle);

    Finished = 0;
    handle = nullptr;
    CreateThread(Record, nullptr, &handle);
    ended = handle != nullptr && WaitUntil(RoutineFinished, 10000);
    Check(ended && strcmp(Seen, "(null)") == 0, "CreateThread hands a null text over as null");
    if (handle) {
        WaitForSingleObject(handle, 10000);
        CloseHandle(handle);
    }

    Release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    handle = nullptr;
    CreateThread(Linger, text, &handle);
    DWORD start = GetTickCount();
    const char *thrown = nullptr;
    try {
        WaitEndThread(handle);
    } catch (const char *t) {
        thrown = t;
    }
    DWORD spent = GetTickCount() - start;
    Check(thrown && strcmp(thrown, "error: can't terminate") == 0 && spent >= 4900,
          "WaitEndThread gives up on a running thread after 5000 ms", std::to_string(spent) + " ms");
    SetEvent(Release);
    bool gone = false;
    try {
        WaitEndThread(handle);
        gone = true;
    } catch (const char *) {
    }
    Check(gone, "WaitEndThread returns once the thread has ended");
    CloseHandle(handle);
    CloseHandle(Release);

    thrown = nullptr;
    try {
        WaitEndThread(nullptr);
    } catch (const char *t) {
        thrown = t;
    }
    Check(thrown && strcmp(thrown, "error: can't terminate") == 0,
          "WaitEndThread on no thread throws \"error: can't terminate\"");
}

/* ---- Events ----------------------------------------------------------- */

namespace {
void SignalLater(void *event)
{
    Sleep(100);
    SetEvent(static_cast<HANDLE>(event));
}
} // namespace

void TestEvents()
{
    void *event = CreateEventA();
    Check(event != nullptr, "CreateEventA makes an event");
    Check(WaitForEvent(event, 50) == 0, "WaitForEvent on a silent event times out with 0");
    SetEvent(event);
    int first = WaitForEvent(event, 0);
    int second = WaitForEvent(event, 50);
    Check(first == 1 && second == 0, "a signalled event gives 1 once, then resets itself");
    Helper h = Start(SignalLater, event);
    Check(WaitForEvent(event, 20000) == 1, "a signal from another thread wakes the waiter");
    Join(h, 10000);
    Check(WaitForEvent(nullptr, 0) == 1, "a failed wait counts as signalled");
    DeleteEvent(event);
}

/* ---- Notifier --------------------------------------------------------- */

namespace {

bool TakeMessage(MSG *msg, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE))
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

void NotifyFromHere(void *)
{
    Notify();
}

} // namespace

void TestNotify()
{
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); /* this thread gets a queue */
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    Notify(); /* no notifier yet: reaches no thread */
    Check(IdMainThread == 0 && !TakeMessage(&msg, 100),
          "Notify before CreateNotifier reaches no thread");
    CreateNotifier();
    Check(IdMainThread == GetCurrentThreadId(), "CreateNotifier names the calling thread");
    Helper h = Start(NotifyFromHere, nullptr);
    Join(h, 10000);
    bool woke = TakeMessage(&msg, 10000);
    Check(woke && msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == 0 &&
              msg.lParam == 0,
          "Notify from another thread posts WM_TIMER with no parameters to the notifier's thread");
    Check(!TakeMessage(&msg, 100), "one Notify posts one message");
    DeleteNotifier();
}

/* ---- Pipes ------------------------------------------------------------ */

namespace {

struct Transfer {
    PIPE *Pipe;
    const char *Data;
    int Len;
    int Chunk;
    volatile LONG Done;
};

void Writer(void *arg)
{
    Transfer *t = static_cast<Transfer *>(arg);
    for (int at = 0; at < t->Len; at += t->Chunk)
        WritePipe(t->Pipe, t->Data + at, t->Len - at < t->Chunk ? t->Len - at : t->Chunk);
    InterlockedExchange(&t->Done, 1);
}

void Reader(void *arg)
{
    Transfer *t = static_cast<Transfer *>(arg);
    ReadPipe(t->Pipe, const_cast<char *>(t->Data), t->Len);
    InterlockedExchange(&t->Done, 1);
}

const char *Thrown(int size)
{
    try {
        DeletePipe(CreatePipe(size));
    } catch (const char *text) {
        return text;
    }
    return "";
}

} // namespace

void TestPipes()
{
    for (int size : {0, -1, 1})
        Check(strcmp(Thrown(size), "error: CreatePipe") == 0,
              "CreatePipe(" + std::to_string(size) + ") throws \"error: CreatePipe\"");

    PIPE *pipe = CreatePipe(4);
    Check(pipe->Size == 4 && EmptyPipe(pipe) && !FullPipe(pipe) && WaitForEvent(pipe->Event, 0) == 0,
          "a new pipe is empty, not full, its event silent");
    WritePipe(pipe, "abc", 3);
    Check(FullPipe(pipe) && !EmptyPipe(pipe) && WaitForEvent(pipe->Event, 0) == 1,
          "a pipe of size 4 is full after 3 bytes, and the write signalled");

    /* A fourth byte waits for the reader. */
    Transfer fourth = {pipe, "d", 1, 1, 0};
    Helper w = Start(Writer, &fourth);
    Sleep(200);
    bool waited = fourth.Done == 0;
    char got[5] = {};
    ReadPipe(pipe, got, 1);
    bool finished = Join(w, 10000) && fourth.Done;
    ReadPipe(pipe, got + 1, 3);
    Check(waited && finished && strcmp(got, "abcd") == 0 && EmptyPipe(pipe),
          "the writer of a fourth byte waits until the reader has taken one", got);

    /* A read of 5 bytes over several writes. */
    char five[6] = {};
    Transfer reading = {pipe, five, 5, 5, 0};
    Helper r = Start(Reader, &reading);
    WritePipe(pipe, "12", 2);
    Sleep(50);
    bool early = reading.Done != 0;
    WritePipe(pipe, "3", 1);
    WritePipe(pipe, "45", 2);
    bool read = Join(r, 10000) && reading.Done;
    Check(!early && read && strcmp(five, "12345") == 0,
          "ReadPipe of 5 bytes returns once 5 bytes came in three writes", five);

    WaitForEvent(pipe->Event, 0);
    WritePipe(pipe, "x", 0);
    Check(EmptyPipe(pipe) && WaitForEvent(pipe->Event, 0) == 1,
          "WritePipe of 0 bytes writes nothing and signals");
    memset(got, 'z', 4);
    ReadPipe(pipe, got, 0);
    Check(got[0] == 'z' && EmptyPipe(pipe), "ReadPipe of 0 bytes on an empty pipe returns at once");

    WritePipe(pipe, "xy", 2);
    FlushPipe(pipe);
    Check(EmptyPipe(pipe) && !FullPipe(pipe), "FlushPipe leaves the pipe empty");
    WritePipe(pipe, "pq", 2);
    char pq[3] = {};
    ReadPipe(pipe, pq, 2);
    Check(strcmp(pq, "pq") == 0, "the ring goes on after FlushPipe", pq);
    DeletePipe(pipe);

    /* Bytes through small rings, writer and reader on their own threads. */
    /* The writer looks again every 10 ms while the ring is full: the byte
     * counts keep each run to about a second. */
    const struct {
        int Size, Len;
    } rings[] = {{2, 100}, {3, 200}, {7, 600}, {64, 6000}};
    for (auto ring : rings) {
        const int size = ring.Size, len = ring.Len;
        std::vector<char> src(len), dst(len, 0);
        for (int i = 0; i < len; i++)
            src[i] = (char)(i * 7 + i / 251);
        pipe = CreatePipe(size);
        Transfer in = {pipe, src.data(), len, 37, 0};
        Transfer out = {pipe, dst.data(), len, len, 0};
        Helper wr = Start(Writer, &in);
        Helper rd = Start(Reader, &out);
        bool both = Join(wr, 60000) & Join(rd, 60000);
        Check(both && src == dst && EmptyPipe(pipe),
              std::to_string(len) + " bytes arrive unchanged and in order through a pipe of size " +
                  std::to_string(size));
        if (both)
            DeletePipe(pipe);
    }
}
