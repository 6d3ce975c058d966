/*
 * thread_message.cpp: thread identifiers and thread-message queues of the
 * POSIX emulation.
 *
 * Each thread the emulation knows has a record: a unique identifier (the
 * DWORD of GetCurrentThreadId), a bounded queue of posted messages and an
 * optional wake-up hook.  Records are found by identifier in one table.
 * A thread started by CreateThread gets its record before it starts (so
 * that its identifier is valid as soon as CreateThread returns); any other
 * thread gets one the first time it asks for it.  A thread_local holder
 * removes the record when its thread exits.
 *
 * PostThreadMessageA calls the hook while holding the table lock; that is
 * what guarantees that a hook is never called after its thread has gone
 * or after it has been replaced.
 */
#include "thread_object.h"

#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>

struct kv_thread_message {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
};

struct kv_thread_record {
    DWORD Id;
    std::mutex Lock; /* guards Queue */
    std::deque<kv_thread_message> Queue;
    KV_WAKE_HOOK Hook; /* guarded by the table lock */
    void *HookData;
};

namespace {

struct record_table {
    std::mutex Lock;
    std::unordered_map<DWORD, kv_thread_record *> ById;
    DWORD NextId = 1;
};

/* Never destroyed: other threads may still end while the process exits. */
record_table &table()
{
    static record_table *t = new record_table;
    return *t;
}

/* Drops the calling thread's record when the thread ends. */
struct record_holder {
    kv_thread_record *Record = nullptr;
    ~record_holder()
    {
        if (Record != nullptr)
            kv_drop_thread_record(Record);
    }
};

thread_local record_holder current;

/* A fresh identifier: never 0, never one in use (after a wrap-around).
 * Called with the table lock held. */
DWORD fresh_id(record_table &t)
{
    for (;;) {
        DWORD id = t.NextId++;
        if (id != 0 && t.ById.count(id) == 0)
            return id;
    }
}

/* The calling thread's record, made on first use. */
kv_thread_record *current_record()
{
    if (current.Record == nullptr) {
        kv_thread_record *record = kv_new_thread_record();
        if (record == nullptr)
            throw std::bad_alloc();
        current.Record = record;
    }
    return current.Record;
}

} // namespace

kv_thread_record *kv_new_thread_record(void)
{
    kv_thread_record *record = new (std::nothrow) kv_thread_record;
    if (record == nullptr)
        return nullptr;
    record->Hook = nullptr;
    record->HookData = nullptr;
    record_table &t = table();
    std::lock_guard<std::mutex> hold(t.Lock);
    try {
        record->Id = fresh_id(t);
        t.ById.emplace(record->Id, record);
    } catch (const std::bad_alloc &) {
        delete record;
        return nullptr;
    }
    return record;
}

DWORD kv_thread_record_id(const kv_thread_record *record)
{
    return record->Id;
}

void kv_adopt_thread_record(kv_thread_record *record)
{
    current.Record = record;
}

void kv_drop_thread_record(kv_thread_record *record)
{
    {
        record_table &t = table();
        std::lock_guard<std::mutex> hold(t.Lock);
        t.ById.erase(record->Id);
    }
    delete record;
}

DWORD GetCurrentThreadId(void)
{
    return current_record()->Id;
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam)
{
    record_table &t = table();
    std::lock_guard<std::mutex> hold(t.Lock);
    auto found = t.ById.find(threadId);
    if (found == t.ById.end())
        return FALSE;
    kv_thread_record *record = found->second;
    {
        std::lock_guard<std::mutex> queueHold(record->Lock);
        if (record->Queue.size() >= KV_MESSAGE_QUEUE_LIMIT)
            return FALSE;
        try {
            record->Queue.push_back(kv_thread_message{msg, wParam, lParam});
        } catch (const std::bad_alloc &) {
            return FALSE;
        }
    }
    if (record->Hook != nullptr)
        record->Hook(record->HookData);
    return TRUE;
}

void kv_set_wake_hook(KV_WAKE_HOOK hook, void *data)
{
    kv_thread_record *record = current_record();
    std::lock_guard<std::mutex> hold(table().Lock);
    record->Hook = hook;
    record->HookData = data;
}

BOOL kv_take_thread_message(UINT *msg, WPARAM *wParam, LPARAM *lParam)
{
    kv_thread_record *record = current_record();
    std::lock_guard<std::mutex> hold(record->Lock);
    if (record->Queue.empty())
        return FALSE;
    kv_thread_message m = record->Queue.front();
    record->Queue.pop_front();
    if (msg != nullptr)
        *msg = m.Msg;
    if (wParam != nullptr)
        *wParam = m.WParam;
    if (lParam != nullptr)
        *lParam = m.LParam;
    return TRUE;
}
