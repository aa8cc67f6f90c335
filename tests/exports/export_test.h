// File: export_test.h
//
// What every export case shares: the fixture that checks the heap gives back
// every block a case took, a self-clearing blob record, and a driver that
// runs a call once for each allocation it makes, with that allocation
// failing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/export_table.h"

using Bytes = std::vector<uint8_t>;

inline const ExportTable& api() { return exports(); }

// ExportTest: where the heap can be looked into, a case must end with as many
// live blocks as it began with.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (heapInstrumented()) liveAtStart_ = api().liveBlocks();
    }
    void TearDown() override {
        if (!heapInstrumented()) return;
        api().stopFailing();
        EXPECT_EQ(api().liveBlocks(), liveAtStart_) << "the case left heap blocks behind";
    }
    static bool heapInstrumented() { return api().liveBlocks != nullptr; }

private:
    uint32_t liveAtStart_ = 0;
};

// Blob: a CryptBlob that the library clears when the case is done with it.
struct Blob : CryptBlob {
    Blob() : CryptBlob{0, 0, nullptr} {}
    explicit Blob(const Bytes& bytes) : Blob() { assign(bytes); }
    explicit Blob(const std::string& text) : Blob(Bytes(text.begin(), text.end())) {}
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;
    ~Blob() { api().blobClear(this); }

    // assign makes the record hold exactly `bytes` (a zero-length block for
    // none), by zqCryptBlobInit on a scratch record and zqCryptBlobCopy.
    void assign(const Bytes& bytes) {
        CryptBlob scratch{0, 0, nullptr};
        api().blobInit(&scratch, static_cast<uint32_t>(bytes.size()));
        for (size_t i = 0; i < bytes.size(); ++i) scratch.data[i] = bytes[i];
        api().blobCopy(this, &scratch);
        api().blobClear(&scratch);
    }

    Bytes bytes() const { return data == nullptr ? Bytes{} : Bytes(data, data + size); }
};

// forEachAllocationFailure runs `call` with allocation 0, 1, 2, ... failing
// (with every later one too when `sticky`), until a run makes no allocation
// that fails; `call` receives the index of the failing allocation and checks
// the outcome. It returns the number of runs in which an allocation failed,
// or -1 where the heap cannot be instrumented.
template <typename Call>
int forEachAllocationFailure(bool sticky, Call call) {
    if (api().failAllocations == nullptr) return -1;
    for (uint32_t k = 0; k < 10000; ++k) {
        api().failAllocations(k, sticky);
        call(k);
        const uint32_t failed = api().failedAllocations();
        api().stopFailing();
        if (failed == 0) return static_cast<int>(k);
    }
    ADD_FAILURE() << "the call never ran out of allocations to fail";
    return -1;
}
