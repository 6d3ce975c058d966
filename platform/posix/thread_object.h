/*
 * thread_object.h: what the files of the POSIX thread emulation share
 * among themselves: the waitable objects behind handles and the records
 * of known threads.  Not for use outside platform/posix.
 */
#ifndef KOVRA_PLATFORM_POSIX_THREAD_OBJECT_H
#define KOVRA_PLATFORM_POSIX_THREAD_OBJECT_H

#include <atomic>
#include <pthread.h>

#include "win_thread.h"

/* Kind tags: a handle of the wrong kind is refused, not misread. */
enum kv_kind : uint32_t {
    KV_KIND_ANY = 0,
    KV_KIND_EVENT = 0x45564E54,  /* "EVNT" */
    KV_KIND_THREAD = 0x54485244, /* "THRD" */
};

/*
 * A waitable object.  An event is auto- or manual-reset; a thread is a
 * manual-reset object signalled once when its start routine returns.
 * The object lives while the handle is open or someone holds a reference
 * (a waiter, or a running thread for its own object).
 */
struct kv_object {
    kv_kind Kind;
    std::atomic<int> Refs;
    pthread_mutex_t Mutex;
    pthread_cond_t Cond; /* on the monotonic clock */
    bool Signalled;
    bool ManualReset;
    DWORD ExitCode; /* threads: STILL_ACTIVE, then the routine's result */
};

/* A new object, entered in the table of live handles with one reference
 * (the handle's); null when out of memory. */
kv_object *kv_new_object(kv_kind kind, bool manualReset, bool signalled);
/* The live object behind handle, with a reference taken; null if handle
 * is not a live handle of that kind (KV_KIND_ANY: of either kind). */
kv_object *kv_acquire(HANDLE handle, kv_kind kind);
/* Drops a reference; the last one frees the object. */
void kv_release(kv_object *object);
/* Marks a thread's object ended with code, waking its waiters. */
void kv_end_thread(kv_object *object, DWORD code);

/* A known thread: its identifier, message queue and wake-up hook. */
struct kv_thread_record;

/* A new record with a fresh identifier, already findable by
 * PostThreadMessageA; for a thread about to be started.  Null when out of
 * memory. */
kv_thread_record *kv_new_thread_record(void);
DWORD kv_thread_record_id(const kv_thread_record *record);
/* Makes record the calling thread's own; it is dropped at thread exit. */
void kv_adopt_thread_record(kv_thread_record *record);
/* Removes and frees a record that no thread adopted. */
void kv_drop_thread_record(kv_thread_record *record);

#endif
