// File: digest_vectors.h
//
// The digest known-answer files of tests/vectors (md5.txt, md5_random.txt,
// sha0.txt, sha0_random.txt, made by tools/make_digest_vectors.py) as
// message/digest pairs, and the pseudo-random generator their Seed records
// name. Plain C++: the export cases use it in the Windows host as well.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "exports/vector_file.h"

// xorshiftBytes is `length` bytes of the 32-bit xorshift generator (shifts 13,
// 17, 5) started at `seed`: each byte is bits 24 to 31 of the state after its
// step. tools/make_digest_vectors.py makes the same bytes.
inline Bytes xorshiftBytes(uint32_t seed, size_t length) {
    Bytes bytes(length);
    uint32_t x = seed;
    for (auto& byte : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

struct DigestVector {
    std::string name;  // where the record came from, for failure messages
    Bytes message;
    Bytes digest;
};

// readDigestVectors reads a digest file of records "In = hex" with an optional
// "Repeat = n" (the message is In repeated n times), or "Seed = s" with
// "Length = n" (the message is xorshiftBytes(s, n)), each closed by
// "Digest = hex".
inline std::vector<DigestVector> readDigestVectors(const std::string& file) {
    std::vector<DigestVector> vectors;
    Bytes in;
    size_t repeat = 1;
    uint32_t seed = 0;
    size_t length = 0;
    bool seeded = false;
    for (const VectorEntry& entry : readVectors(file)) {
        if (entry.name == "In") {
            in = entry.hex();
            repeat = 1;
            seeded = false;
        } else if (entry.name == "Repeat") {
            repeat = std::stoul(entry.value);
        } else if (entry.name == "Seed") {
            seed = static_cast<uint32_t>(std::stoul(entry.value));
            seeded = true;
        } else if (entry.name == "Length") {
            length = std::stoul(entry.value);
        } else if (entry.name == "Digest") {
            DigestVector vector;
            if (seeded) {
                vector.name = file + ": seed " + std::to_string(seed) + ", " + std::to_string(length) + " bytes";
                vector.message = xorshiftBytes(seed, length);
            } else {
                vector.name = file + ": " + std::to_string(in.size()) + " bytes x " + std::to_string(repeat);
                for (size_t i = 0; i < repeat; ++i) vector.message.insert(vector.message.end(), in.begin(), in.end());
            }
            vector.digest = entry.hex();
            vectors.push_back(std::move(vector));
        }
    }
    if (vectors.empty()) ADD_FAILURE() << file << " holds no digest records";
    return vectors;
}
