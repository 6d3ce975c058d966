/*
 * win_thread.h: threads, events, waits, critical sections and thread
 * messages of the POSIX emulation.
 *
 * Handles are small heap objects of our own (a thread or an event), each
 * tagged with its kind and kept in a table of live handles, so that a
 * null, closed or foreign handle gives a failure result instead of a
 * crash.  Threads run on pthreads and are never joined: a thread handle
 * becomes signalled when its start routine has returned.
 *
 * Thread messages: every thread known to the emulation (one started by
 * CreateThread, or one that asked for its identifier) has a bounded
 * queue of posted messages.  Nothing here dispatches them; instead a
 * thread may register a wake-up hook, which PostThreadMessageA calls
 * (from the posting thread) after it has queued a message, and the woken
 * thread takes its messages with kv_take_thread_message.  This keeps the
 * layer free of any event loop: the launcher's hook wakes Tcl's notifier.
 */
#ifndef KOVRA_PLATFORM_POSIX_WIN_THREAD_H
#define KOVRA_PLATFORM_POSIX_WIN_THREAD_H

#include <cstddef>
#include <pthread.h>

#include "win_types.h"

typedef ULONG_PTR SIZE_T;
typedef DWORD *LPDWORD;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef DWORD (WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 0x00000103u
#define CREATE_SUSPENDED 0x00000004u
#define WM_TIMER 0x0113u

/* ---- Threads ---------------------------------------------------------- */

/*
 * Starts start(param) on a new thread and returns its handle, or null.
 * A stack size of 0 takes the default; security is ignored; the only
 * flag understood is none (CREATE_SUSPENDED is refused with null).  The
 * new thread's identifier is stored through id when id is not null.
 */
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                    LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                    LPDWORD id);

/* The calling thread's identifier: unique per thread, never 0. */
DWORD GetCurrentThreadId(void);

/* Suspends the calling thread for ms milliseconds. */
void Sleep(DWORD ms);

/* ---- Events, waits and handles ---------------------------------------- */

/*
 * A new unnamed event (name must be null: named events are not shared
 * here, and a name gives null).  manualReset FALSE: a successful wait
 * resets the event; TRUE: it stays signalled until ResetEvent.
 */
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                    BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

/*
 * Waits until the thread has ended or the event is signalled, at most ms
 * milliseconds (INFINITE: no limit).  WAIT_OBJECT_0, WAIT_TIMEOUT, or
 * WAIT_FAILED for a handle that is not a live thread or event.
 */
DWORD WaitForSingleObject(HANDLE handle, DWORD ms);

/* The start routine's result, or STILL_ACTIVE while the thread runs. */
BOOL GetExitCodeThread(HANDLE thread, LPDWORD code);

/* Releases the handle; a thread goes on running.  FALSE if not live. */
BOOL CloseHandle(HANDLE handle);

/* ---- Critical sections ------------------------------------------------ */

/* A recursive lock, as on Windows: its owner may enter it again. */
typedef struct _CRITICAL_SECTION {
    pthread_mutex_t Mutex;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

/* ---- Thread messages -------------------------------------------------- */

/*
 * Queues the message for the thread with identifier threadId and calls
 * that thread's wake-up hook.  FALSE when no such thread lives (0 names
 * none) or its queue already holds KV_MESSAGE_QUEUE_LIMIT messages.
 */
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);

#define KV_MESSAGE_QUEUE_LIMIT 10000

/*
 * The calling thread's wake-up hook (null: none).  It runs on the posting
 * thread, once per posted message, while the emulation holds its lock on
 * the thread table: it must be quick and must not call back into the
 * thread-message routines.  It is never called after the thread ended.
 */
typedef void (*KV_WAKE_HOOK)(void *data);
void kv_set_wake_hook(KV_WAKE_HOOK hook, void *data);

/* Takes the oldest message posted to the calling thread; FALSE if none. */
BOOL kv_take_thread_message(UINT *msg, WPARAM *wParam, LPARAM *lParam);

#endif
