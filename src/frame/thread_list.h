// File: thread_list.h
//
// ThreadList is a list of records that threads keep of their own, one each
// (the call gates' marks, the heap's caches), linked through the records'
// `previous` and `next` fields. The list is not serialised by itself: its
// owner holds a lock around every use.
#pragma once

namespace zq {

template <typename Record>
class ThreadList {
public:
    void link(Record* record) noexcept {
        record->previous = nullptr;
        record->next = head_;
        if (head_ != nullptr) head_->previous = record;
        head_ = record;
    }

    void unlink(Record* record) noexcept {
        if (record->previous != nullptr) record->previous->next = record->next;
        else head_ = record->next;
        if (record->next != nullptr) record->next->previous = record->previous;
    }

    // keepOnly leaves `record` alone in the list, or no record when it is
    // null: after fork, the child's one thread keeps its own.
    void keepOnly(Record* record) noexcept {
        head_ = record;
        if (record != nullptr) record->previous = record->next = nullptr;
    }

    template <typename Visit>
    void forEach(Visit visit) const noexcept {
        for (Record* record = head_; record != nullptr; record = record->next) visit(*record);
    }

private:
    Record* head_ = nullptr;
};

}  // namespace zq
