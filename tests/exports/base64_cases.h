// File: base64_cases.h
//
// What the Base64 export cases share: the known answers of
// tests/vectors/base64_text.txt (inputs of every length from 0 to 200 bytes
// and a few longer, each with the whole block the encoder writes for it, made
// by Python's base64 module), and the check that a refused call leaves its
// output blob exactly as it was.
#pragma once

#include "exports/export_test.h"
#include "exports/vector_file.h"

struct Base64Vector {
    Bytes input;
    Bytes block;  // the text, its CR LF line ends and its zero tail

    // text: the block without its zero tail.
    Bytes text() const {
        Bytes bytes = block;
        while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
        return bytes;
    }
};

inline const std::vector<Base64Vector>& base64Vectors() {
    static const std::vector<Base64Vector> vectors = [] {
        std::vector<Base64Vector> list;
        for (const VectorEntry& entry : readVectors("base64_text.txt")) {
            if (entry.name == "In") list.push_back({entry.hex(), {}});
            if (entry.name == "Out" && !list.empty()) list.back().block = entry.hex();
        }
        return list;
    }();
    return vectors;
}

// BlobSnapshot: a record as it was, to tell that a call left it alone: the
// same block, size, tag and bytes.
struct BlobSnapshot {
    explicit BlobSnapshot(const Blob& blob) : record(blob), bytes(blob.bytes()) {}

    void expectUnchanged(const Blob& blob) const {
        EXPECT_EQ(blob.data, record.data);
        EXPECT_EQ(blob.size, record.size);
        EXPECT_EQ(blob.tag, record.tag);
        EXPECT_EQ(blob.bytes(), bytes);
    }

    CryptBlob record;
    Bytes bytes;
};

// expectRefusedOnExhaustedHeap: `call`, run with each of its allocations
// failing in turn, returns 0 and leaves `output` alone every time, and
// returns 1 once none fails. False where the heap cannot be made to fail.
template <typename Call>
bool expectRefusedOnExhaustedHeap(const Blob& output, Call call) {
    const int runs = forEachAllocationFailure(true, [&](uint32_t) {
        const BlobSnapshot before(output);
        const uint32_t result = call();
        if (api().failedAllocations() == 0) {
            EXPECT_EQ(result, 1u);
            return;
        }
        EXPECT_EQ(result, 0u);
        before.expectUnchanged(output);
    });
    if (runs < 0) return false;
    EXPECT_EQ(runs, 1) << "one allocation, the output block";
    return true;
}
