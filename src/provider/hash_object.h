// File: hash_object.h
//
// Provider hash objects: created for an algorithm (CALG_MD5 or CALG_SHA), fed
// any number of byte runs, then either asked for their value or given a value
// computed elsewhere (the signature check compares against it), and finally
// destroyed. Every object lives in one block of the PrivateHeap; a hash handle
// is a pointer to it.
#pragma once

#include <stdint.h>

#include "engines/md5.h"
#include "engines/sha0.h"
#include "provider/provider.h"
#include "zqcrypt.h"

namespace zq {

// HashObject: the algorithm, the creation flags (kept, never consulted) and
// the state area.
//  - While hashing, `algId` is CALG_MD5 or CALG_SHA and `state` holds that
//    engine's context.
//  - Once ProvSetHashParam has stored a value, `algId` is 0 and `state` holds
//    a CryptBlob whose 16-byte block is the object's own copy of the value.
// The hash size is 20 bytes for CALG_SHA and 16 for any other `algId`, 0
// included.
struct HashObject {
    uint32_t algId;
    uint32_t flags;
    union State {
        Md5Context md5;
        Sha0Context sha0;
        CryptBlob stored;
    } state;

    // HashObject::hashSize is the object's hash size in bytes: 20 or 16.
    uint32_t hashSize() const noexcept { return algId == CALG_SHA ? 20 : 16; }

    // HashObject::storedValue is the 16-byte value that ProvSetHashParam
    // stored, or null while the object is still hashing.
    const uint8_t* storedValue() const noexcept { return algId == 0 ? state.stored.data : nullptr; }
};

// ProvCreateHash makes a hash object for `algId` (CALG_MD5 or CALG_SHA) with
// its engine begun, keeps `flags` in it, writes its address to `*hash` and
// returns 1. It returns 0 and leaves `*hash` unwritten for any other `algId`,
// or when the heap cannot supply the object. `provider` and `key` are not
// read.
uint32_t ProvCreateHash(ProviderContext provider, uint32_t algId, uintptr_t key, uint32_t flags,
                        HashObject** hash) noexcept;

// ProvHashData feeds `count` bytes at `bytes` to the object's engine and
// returns 1 (a count of 0 is a valid update). It returns 0 for an object that
// holds a stored value. `flags` is not read.
uint32_t ProvHashData(HashObject* hash, const uint8_t* bytes, uint32_t count,
                      uint32_t flags) noexcept;

// ProvGetHashParam answers a query about the object. With S its hash size:
//  - HP_HASHSIZE: with `buffer` null, writes 4 to `*length`; otherwise
//    `*length` must be exactly 4, and S is written to `buffer` as a u32.
//  - HP_HASHVAL: with `buffer` null, writes S to `*length`; otherwise
//    `*length` must be exactly S (a larger buffer is refused too), and the
//    value is written to `buffer`: the digest of every byte fed so far (the
//    engine's context is only read, so the object is left as it was and
//    asking again gives the same value), or, after
//    ProvSetHashParam, the stored value.
// Returns 1, or 0 for any other parameter and for a `*length` that does not
// match, in which case nothing is written. A non-null `buffer` leaves
// `*length` as it was. `flags` is not read.
uint32_t ProvGetHashParam(const HashObject* hash, uint32_t parameter, uint8_t* buffer,
                          uint32_t* length, uint32_t flags) noexcept;

// ProvSetHashParam stores the 16 bytes at `value` in the object, whatever its
// algorithm: the engine state is abandoned unfinished, `algId` becomes 0 and
// `state` a CryptBlob with a new 16-byte block holding the bytes in order
// (see HashObject::storedValue). From then on a size query reports 16 and
// ProvHashData fails. Returns 1, or 0 with the object unchanged when the heap
// cannot supply the block. `parameter` and `flags` are not read: every call
// stores the hash value.
uint32_t ProvSetHashParam(HashObject* hash, uint32_t parameter, const uint8_t* value,
                          uint32_t flags) noexcept;

// ProvDestroyHash returns the object, and the block of a stored value, to the
// heap, and returns 1. A null handle is ignored.
uint32_t ProvDestroyHash(HashObject* hash) noexcept;

}  // namespace zq
