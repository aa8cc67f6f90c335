// Call sequences over a pool of four blob records: the input is a small
// program of init, copy, clear, hash, encode, decode and verify calls whose
// inputs and outputs may be the same record, with records emptied, retagged,
// rewritten or made to claim bytes without data between calls. A model of
// every record says what each call must leave. After every call: each record
// has the size, tag and bytes the model gives, no two records share a block,
// and the heap holds exactly one live block per record with data. A call that
// fails does so only when the heap refused it an allocation, and then leaves
// its output as it was. At the end every record is cleared and the heap
// holds no block the program made.
//
// Input: the fault (fuzz_support.h), then instructions: one byte (the
// operation, and in its high bits the first record), one byte of records,
// and the operation's own bytes.
#include <openssl/evp.h>
#include <string.h>

#include <array>
#include <optional>
#include <set>
#include <vector>

#include "fuzz_support.h"
#include "zqcrypt.h"

using fuzz::check;
using Bytes = std::vector<uint8_t>;

namespace {

struct Model {
    uint32_t size = 0;
    uint32_t tag = 0;
    bool hasData = false;
    Bytes bytes;
    std::optional<Bytes> encodes;  // the bytes this record is the Base64 text of
};

struct Pool {
    std::array<CryptBlob, 4> blobs{};
    std::array<Model, 4> models{};
    uint32_t live = 0;  // heap blocks alive before the program

    void holds() const {
        std::set<const uint8_t*> blocks;
        for (size_t i = 0; i < 4; ++i) {
            const CryptBlob& b = blobs[i];
            const Model& m = models[i];
            check(b.size == m.size && b.tag == m.tag && (b.data != nullptr) == m.hasData);
            if (b.data == nullptr) continue;
            check(blocks.insert(b.data).second);
            check(m.bytes.size() == b.size && (b.size == 0 || memcmp(b.data, m.bytes.data(), b.size) == 0));
        }
        check(zq::heap_probe::liveBlocks() == live + blocks.size());
    }
};

Bytes md5(const uint8_t* data, size_t size) {
    Bytes digest(16);
    unsigned int length = 0;
    check(EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr) == 1);
    return digest;
}

// base64Text: OpenSSL's Base64, CR LF after every 64 characters.
Bytes base64Text(const Bytes& bytes) {
    std::vector<unsigned char> plain(4 * ((bytes.size() + 2) / 3) + 1);
    const int length = EVP_EncodeBlock(plain.data(), bytes.data(), static_cast<int>(bytes.size()));
    Bytes text;
    for (int at = 0; at < length; at += 64) {
        const int line = std::min(64, length - at);
        text.insert(text.end(), plain.begin() + at, plain.begin() + at + line);
        if (line == 64) text.insert(text.end(), {'\r', '\n'});
    }
    return text;
}

// A service call into `out`: as the model says, or refused by the heap with
// `out` left as it was (the pool check sees that).
void serviceResult(Pool& pool, size_t out, uint32_t result, uint32_t refusedBefore, const Model& expected) {
    if (result == 0) {
        check(zq::heap_probe::failedAllocations() != refusedBefore);
        return;
    }
    check(result == 1);
    pool.models[out] = expected;
}

void step(Pool& pool, fuzz::Reader& in) {
    const uint8_t op = in.byte();
    const uint8_t which = in.byte();
    const size_t a = op >> 6, b = which & 3, c = (which >> 2) & 3;
    CryptBlob& blobA = pool.blobs[a];
    Model& ma = pool.models[a];
    const Model source = ma;  // a copy: the output may be the same record
    const uint32_t refused = zq::heap_probe::failedAllocations();
    switch (op % 11) {
    case 0: {
        // init on a record without data, then the host writes its bytes.
        if (blobA.data != nullptr) return;
        const uint32_t size = in.u16() % 300;
        const uintptr_t data = zqCryptBlobInit(&blobA, size);
        check(data == reinterpret_cast<uintptr_t>(blobA.data) && blobA.size == size && blobA.tag == 0);
        ma = Model{size, 0, data != 0, {}, {}};
        if (size != 0 && data == 0) check(zq::heap_probe::failedAllocations() != refused);
        if (data != 0) {
            ma.bytes = in.bytes(size);
            ma.bytes.resize(size, 0x33);
            memcpy(blobA.data, ma.bytes.data(), size);
        }
        break;
    }
    case 1: {
        Model expected = pool.models[b];
        const bool lacks = expected.size != 0 && !expected.hasData;
        const uint32_t result = zqCryptBlobCopy(&blobA, &pool.blobs[b]);
        if (a == b) {
            check(result == 1 || (lacks && result == 0));
        } else if (lacks) {
            check(result == 0);
        } else {
            expected.hasData = true;
            serviceResult(pool, a, result, refused, expected);
        }
        break;
    }
    case 2:
        check(zqCryptBlobClear(&blobA) == 1);
        ma = Model{};
        break;
    case 3: {
        zqSetLastError(5);
        const uint32_t result = zqCryptHashBuffer(&blobA, 0, &pool.blobs[b]);
        if (!source.hasData) {
            check(result == 0 && zqGetLastError() == 13);
            break;
        }
        serviceResult(pool, b, result, refused, Model{16, 0, true, md5(source.bytes.data(), source.size), {}});
        break;
    }
    case 4: {
        // Texts of texts grow by a third each time: chains stop at 4 KiB.
        if (source.size > 4096) return;
        const uint32_t result = zqCryptUUEncode(&blobA, 0, &pool.blobs[b]);
        if (source.size != 0 && !source.hasData) {
            check(result == 0);
            break;
        }
        Bytes text = base64Text(source.bytes);
        const size_t tail = result == 1 ? pool.blobs[b].size - text.size() : 0;
        check(result == 0 || (tail >= 4 && tail <= 6));
        text.resize(text.size() + tail, 0);
        serviceResult(pool, b, result, refused, Model{uint32_t(text.size()), 0, true, text, source.bytes});
        break;
    }
    case 5: {
        const uint32_t result = zqCryptUUDecode(&blobA, 0, &pool.blobs[b]);
        if (source.size != 0 && !source.hasData) {
            check(result == 0);
            break;
        }
        if (result == 0) {
            serviceResult(pool, b, 0, refused, {});
            break;
        }
        // The decoding of a text the library wrote is the bytes it encodes;
        // of any other text, whatever it is (other targets check those).
        const CryptBlob& out = pool.blobs[b];
        Bytes bytes(out.data, out.data + out.size);
        if (source.encodes) check(bytes == *source.encodes);
        check(out.size <= source.size && out.tag == 0);
        serviceResult(pool, b, result, refused, Model{out.size, 0, out.data != nullptr, bytes, {}});
        break;
    }
    case 6: {
        // Verify: any records as signature, key and digest; they stay as
        // they were, and a digest that is not 16 bytes gives no check.
        // Large operands are the signature target's business: runs stay fast.
        if (source.size > 600 || pool.models[b].size > 600) return;
        uint32_t matches = 7;
        zqSetLastError(5);
        const uint32_t result = zqCryptVerifySignature(&blobA, &pool.blobs[b], &pool.blobs[c], 0, &matches);
        check(result <= 1 && matches <= result);
        if (pool.models[c].size != 16) check(result == 0 && matches == 0);
        if (result == 0) check(zqGetLastError() == 5);
        break;
    }
    case 7:
        // A record the host makes: bytes claimed, no data.
        if (blobA.data != nullptr) return;
        blobA.size = in.u16();
        ma = Model{blobA.size, blobA.tag, false, {}, {}};
        break;
    case 8:
        blobA.tag = in.u32();
        ma.tag = blobA.tag;
        break;
    case 9:
        // The host writes into a block it was given.
        if (blobA.data == nullptr || blobA.size == 0) return;
        blobA.data[in.u16() % blobA.size] = in.byte();
        ma.bytes.assign(blobA.data, blobA.data + blobA.size);
        ma.encodes.reset();
        break;
    default: {
        // Emptying by hand is allowed for records the library holds no block for.
        if (blobA.data != nullptr) return;
        blobA = CryptBlob{0, 0, nullptr};
        ma = Model{};
        break;
    }
    }
    pool.holds();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runWithFault(data, size, [](fuzz::Reader in, const fuzz::Fault* fault) {
        Pool pool;
        pool.live = zq::heap_probe::liveBlocks();
        if (fault) fault->arm();
        for (int steps = 0; steps < 48 && !in.empty(); ++steps) step(pool, in);
        fuzz::Fault::disarm();
        for (CryptBlob& blob : pool.blobs) {
            check(zqCryptBlobClear(&blob) == 1);
            check(blob.size == 0 && blob.tag == 0 && blob.data == nullptr);
        }
    });
    return 0;
}
