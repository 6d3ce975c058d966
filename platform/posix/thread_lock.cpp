/*
 * thread_lock.cpp: critical sections of the POSIX emulation.
 *
 * A critical section is a recursive pthread mutex: on Windows the owning
 * thread may enter it again, and must leave it as many times.
 */
#include "win_thread.h"

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->Mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_lock(&section->Mutex);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    return pthread_mutex_trylock(&section->Mutex) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_unlock(&section->Mutex);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_destroy(&section->Mutex);
}
