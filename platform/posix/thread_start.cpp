/*
 * thread_start.cpp: CreateThread and Sleep of the POSIX emulation.
 *
 * A thread runs detached on pthreads; waiting for it goes through its
 * handle's object, which the thread signals when its start routine has
 * returned.  The object carries two references while the thread runs:
 * the handle's and the thread's own, so either side may finish first.
 */
#include "thread_object.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <new>
#include <unistd.h>

namespace {

struct thread_start {
    LPTHREAD_START_ROUTINE Start;
    LPVOID Param;
    kv_object *Object;
    kv_thread_record *Record;
};

void *run_thread(void *arg)
{
    thread_start start = *static_cast<thread_start *>(arg);
    delete static_cast<thread_start *>(arg);
    kv_adopt_thread_record(start.Record);
    DWORD code = start.Start(start.Param);
    kv_end_thread(start.Object, code);
    return nullptr;
}

/* A requested stack size made acceptable to pthreads: at least the
 * minimum, in whole pages. */
size_t stack_size(SIZE_T requested)
{
    size_t size = requested < (SIZE_T)PTHREAD_STACK_MIN ? (size_t)PTHREAD_STACK_MIN : (size_t)requested;
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0)
        size = (size + (size_t)page - 1) / (size_t)page * (size_t)page;
    return size;
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                    LPVOID param, DWORD flags, LPDWORD id)
{
    if (start == nullptr || (flags & CREATE_SUSPENDED) != 0)
        return nullptr;
    kv_object *object = kv_new_object(KV_KIND_THREAD, true, false);
    if (object == nullptr)
        return nullptr;
    kv_thread_record *record = kv_new_thread_record();
    thread_start *arg = new (std::nothrow) thread_start{start, param, object, record};
    if (record == nullptr || arg == nullptr) {
        delete arg;
        if (record != nullptr)
            kv_drop_thread_record(record);
        CloseHandle(object);
        return nullptr;
    }
    /* Read before the thread starts: it may end, and drop its record, at once. */
    DWORD newId = kv_thread_record_id(record);

    pthread_attr_t attr;
    int rc = pthread_attr_init(&attr);
    if (rc == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        if (stack != 0)
            rc = pthread_attr_setstacksize(&attr, stack_size(stack));
        if (rc == 0) {
            object->Refs.fetch_add(1, std::memory_order_relaxed); /* the thread's */
            pthread_t thread;
            rc = pthread_create(&thread, &attr, run_thread, arg);
            if (rc != 0)
                object->Refs.fetch_sub(1, std::memory_order_relaxed);
        }
        pthread_attr_destroy(&attr);
    }
    if (rc != 0) {
        delete arg;
        kv_drop_thread_record(record);
        CloseHandle(object);
        return nullptr;
    }
    if (id != nullptr)
        *id = newId;
    return object;
}

void Sleep(DWORD ms)
{
    timespec left;
    left.tv_sec = ms / 1000;
    left.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
