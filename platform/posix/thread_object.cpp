/*
 * thread_object.cpp: handles, events and waits of the POSIX emulation.
 *
 * Every handle given out is a kv_object entered in one table of live
 * handles.  Each call looks its handle up in the table (and checks the
 * kind) before touching the object, so a null, closed or foreign handle
 * yields FALSE or WAIT_FAILED.  A waiter holds a reference for the whole
 * wait, so closing a handle that another thread waits on does not free
 * the object under it.
 */
#include "thread_object.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <mutex>
#include <unordered_set>

namespace {

struct handle_table {
    std::mutex Lock;
    std::unordered_set<kv_object *> Live;
};

/* Never destroyed: threads may still close handles while the process exits. */
handle_table &table()
{
    static handle_table *t = new handle_table;
    return *t;
}

void free_object(kv_object *object)
{
    pthread_cond_destroy(&object->Cond);
    pthread_mutex_destroy(&object->Mutex);
    delete object;
}

/* The monotonic time ms milliseconds from now. */
timespec deadline_after(DWORD ms)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

} // namespace

kv_object *kv_new_object(kv_kind kind, bool manualReset, bool signalled)
{
    kv_object *object = new (std::nothrow) kv_object;
    if (object == nullptr)
        return nullptr;
    pthread_condattr_t attr;
    bool condOk = pthread_condattr_init(&attr) == 0;
    condOk = condOk && pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
             pthread_cond_init(&object->Cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
    if (!condOk) {
        delete object;
        return nullptr;
    }
    if (pthread_mutex_init(&object->Mutex, nullptr) != 0) {
        pthread_cond_destroy(&object->Cond);
        delete object;
        return nullptr;
    }
    object->Kind = kind;
    object->Refs.store(1);
    object->Signalled = signalled;
    object->ManualReset = manualReset;
    object->ExitCode = STILL_ACTIVE;
    try {
        std::lock_guard<std::mutex> hold(table().Lock);
        table().Live.insert(object);
    } catch (const std::bad_alloc &) {
        free_object(object);
        return nullptr;
    }
    return object;
}

kv_object *kv_acquire(HANDLE handle, kv_kind kind)
{
    if (handle == nullptr)
        return nullptr;
    kv_object *object = static_cast<kv_object *>(handle);
    std::lock_guard<std::mutex> hold(table().Lock);
    if (table().Live.count(object) == 0)
        return nullptr;
    if (kind != KV_KIND_ANY && object->Kind != kind)
        return nullptr;
    object->Refs.fetch_add(1, std::memory_order_relaxed);
    return object;
}

void kv_release(kv_object *object)
{
    if (object->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        free_object(object);
}

void kv_end_thread(kv_object *object, DWORD code)
{
    pthread_mutex_lock(&object->Mutex);
    object->ExitCode = code;
    object->Signalled = true;
    pthread_cond_broadcast(&object->Cond);
    pthread_mutex_unlock(&object->Mutex);
    kv_release(object);
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (name != nullptr) /* a named event would have to be shared by name */
        return nullptr;
    return kv_new_object(KV_KIND_EVENT, manualReset != FALSE, initialState != FALSE);
}

static BOOL set_state(HANDLE event, bool signalled)
{
    kv_object *object = kv_acquire(event, KV_KIND_EVENT);
    if (object == nullptr)
        return FALSE;
    pthread_mutex_lock(&object->Mutex);
    object->Signalled = signalled;
    if (signalled) {
        /* An auto-reset event releases one waiter; a manual one, all. */
        if (object->ManualReset)
            pthread_cond_broadcast(&object->Cond);
        else
            pthread_cond_signal(&object->Cond);
    }
    pthread_mutex_unlock(&object->Mutex);
    kv_release(object);
    return TRUE;
}

BOOL SetEvent(HANDLE event)
{
    return set_state(event, true);
}

BOOL ResetEvent(HANDLE event)
{
    return set_state(event, false);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD ms)
{
    kv_object *object = kv_acquire(handle, KV_KIND_ANY);
    if (object == nullptr)
        return WAIT_FAILED;
    pthread_mutex_lock(&object->Mutex);
    if (ms == INFINITE) {
        while (!object->Signalled)
            pthread_cond_wait(&object->Cond, &object->Mutex);
    } else if (!object->Signalled && ms > 0) {
        timespec deadline = deadline_after(ms);
        while (!object->Signalled &&
               pthread_cond_timedwait(&object->Cond, &object->Mutex, &deadline) != ETIMEDOUT) {
        }
    }
    DWORD result = object->Signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    if (object->Signalled && !object->ManualReset)
        object->Signalled = false;
    pthread_mutex_unlock(&object->Mutex);
    kv_release(object);
    return result;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD code)
{
    kv_object *object = kv_acquire(thread, KV_KIND_THREAD);
    if (object == nullptr || code == nullptr) {
        if (object != nullptr)
            kv_release(object);
        return FALSE;
    }
    pthread_mutex_lock(&object->Mutex);
    *code = object->ExitCode;
    pthread_mutex_unlock(&object->Mutex);
    kv_release(object);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    kv_object *object = static_cast<kv_object *>(handle);
    {
        std::lock_guard<std::mutex> hold(table().Lock);
        if (handle == nullptr || table().Live.erase(object) == 0)
            return FALSE;
    }
    kv_release(object);
    return TRUE;
}
