// File: record_pool.h
//
// RecordPool holds the records that threads other than the main one keep in
// the library's lists (their call marks, their heap caches), in memory of
// the library's own rather than in the threads' storage. A thread's record
// is taken out of its list by a hook when the thread ends (thread_end.h);
// should the hook never run (a first call made after the thread's end
// began), the record stays listed, idle, and never points into storage the
// C library has freed. Records of threads that ended are kept for the next
// threads, and unload frees them.
//
// The pool is not serialised by itself: its owner holds its lock around
// take, keep and freeAll; make allocates, and is called outside it.
// Records link through their `next` field while they are kept.
#pragma once

#include <stdlib.h>

#include <new>

namespace zq {

template <typename Record>
class RecordPool {
public:
    // take gives a kept record, made anew, or null when none is kept.
    Record* take() noexcept {
        Record* record = kept_;
        if (record == nullptr) return nullptr;
        kept_ = record->next;
        record->~Record();
        return new (record) Record;
    }

    // make allocates a new record, or gives null.
    static Record* make() noexcept {
        void* memory = calloc(1, sizeof(Record));
        return memory != nullptr ? new (memory) Record : nullptr;
    }

    void keep(Record* record) noexcept {
        record->next = kept_;
        kept_ = record;
    }

    void freeAll() noexcept {
        while (kept_ != nullptr) {
            Record* record = kept_;
            kept_ = record->next;
            record->~Record();
            free(record);
        }
    }

private:
    Record* kept_ = nullptr;
};

}  // namespace zq
