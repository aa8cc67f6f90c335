// The digest engines and the provider's hash objects. MD5 and SHA-0 fed in
// the pieces the input chooses give the one-shot digest, and MD5 gives
// OpenSSL's. Then up to four hash objects are created, fed, queried, given
// values and destroyed in the order the input chooses, each against a model
// that knows what it was fed; with a heap failure armed, creation and value
// storage may fail, as documented, and leave everything as it was.
//
// Input: the fault (fuzz_support.h), a message (two length bytes, then the
// bytes), then the split and object program, one instruction byte and its
// arguments at a time.
#include <openssl/evp.h>
#include <string.h>

#include <array>
#include <vector>

#include "engines/md5.h"
#include "engines/sha0.h"
#include "fuzz_support.h"
#include "provider/hash_object.h"

using fuzz::check;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes md5OfOpenSsl(const Bytes& message) {
    Bytes digest(16);
    unsigned int length = 0;
    check(EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_md5(), nullptr) == 1);
    return digest;
}

template <typename Context, size_t N>
Bytes digestInPieces(const Bytes& message, fuzz::Reader& splits) {
    Context context;
    Context::begin(context);
    size_t at = 0;
    while (at < message.size()) {
        size_t piece = splits.empty() ? message.size() - at : splits.byte() % 130;
        piece = std::min(piece, message.size() - at);
        Context::feed(context, message.data() + at, static_cast<uint32_t>(piece));
        at += piece;
    }
    Bytes digest(N);
    Context::finish(digest.data(), context);
    return digest;
}

template <typename Context, size_t N>
Bytes digestOnce(const Bytes& message) {
    fuzz::Reader none(nullptr, 0);
    return digestInPieces<Context, N>(message, none);
}

// Model of one hash object: what it was fed, or the value it stores.
struct Model {
    zq::HashObject* handle = nullptr;
    uint32_t algId = 0;
    Bytes fed;
    bool stored = false;
    Bytes value;

    Bytes expectedValue() const {
        if (stored) return value;
        return algId == zq::CALG_MD5 ? md5OfOpenSsl(fed) : digestOnce<zq::Sha0Context, 20>(fed);
    }
    uint32_t expectedSize() const { return stored ? 16 : algId == zq::CALG_SHA ? 20 : 16; }
};

void query(const Model& m, uint8_t how) {
    uint32_t length = 0xA5A5A5A5u;
    const uint32_t parameter = how & 1 ? zq::HP_HASHSIZE : zq::HP_HASHVAL;
    const uint32_t size = parameter == zq::HP_HASHSIZE ? 4 : m.expectedSize();
    if (how & 2) {
        check(zq::ProvGetHashParam(m.handle, parameter, nullptr, &length, 0) == 1 && length == size);
        return;
    }
    std::array<uint8_t, 32> buffer;
    buffer.fill(0x5A);
    length = (how & 4) ? size + (how >> 4) % 3 - 1 : size;  // size − 1, size or size + 1
    const bool right = length == size;
    check(zq::ProvGetHashParam(m.handle, parameter, buffer.data(), &length, 0) == (right ? 1u : 0u));
    check(length == ((how & 4) ? size + (how >> 4) % 3 - 1 : size));
    if (!right) {
        for (uint8_t b : buffer) check(b == 0x5A);
    } else if (parameter == zq::HP_HASHSIZE) {
        uint32_t reported;
        memcpy(&reported, buffer.data(), 4);
        check(reported == m.expectedSize());
    } else {
        check(memcmp(buffer.data(), m.expectedValue().data(), size) == 0 && buffer[size] == 0x5A);
    }
}

void objects(fuzz::Reader& in, const fuzz::Fault* fault) {
    std::array<Model, 4> models;
    for (int steps = 0; steps < 64 && !in.empty(); ++steps) {
        const uint8_t instruction = in.byte();
        Model& m = models[instruction & 3];
        const uint8_t argument = in.byte();
        if (m.handle == nullptr) {
            // Create: MD5, SHA-0, or an algorithm it must refuse.
            const uint32_t algIds[] = {zq::CALG_MD5, zq::CALG_SHA, 0x8001, 0};
            const uint32_t algId = algIds[argument & 3];
            zq::HashObject* handle = reinterpret_cast<zq::HashObject*>(uintptr_t{0x1234});
            if (fault) fault->arm();
            const uint32_t made = zq::ProvCreateHash(0, algId, 0, argument, &handle);
            fuzz::Fault::disarm();
            if (algId != zq::CALG_MD5 && algId != zq::CALG_SHA) {
                check(made == 0 && handle == reinterpret_cast<zq::HashObject*>(uintptr_t{0x1234}));
            } else if (made == 0) {
                check(fuzz::refused(fault) && handle == reinterpret_cast<zq::HashObject*>(uintptr_t{0x1234}));
            } else {
                m = Model{handle, algId, {}, false, {}};
            }
            continue;
        }
        switch ((instruction >> 2) % 5) {
        case 0: {
            const Bytes piece = in.bytes(argument);
            const uint32_t fed = zq::ProvHashData(m.handle, piece.data(), static_cast<uint32_t>(piece.size()), 0);
            check(fed == (m.stored ? 0u : 1u));
            if (!m.stored) m.fed.insert(m.fed.end(), piece.begin(), piece.end());
            break;
        }
        case 1: query(m, argument); break;
        case 2: {
            Bytes value = in.bytes(16);
            value.resize(16, argument);
            if (fault) fault->arm();
            const uint32_t set = zq::ProvSetHashParam(m.handle, zq::HP_HASHVAL, value.data(), argument);
            fuzz::Fault::disarm();
            check(set == 1 || fuzz::refused(fault));
            if (set == 1) m.stored = true, m.value = value;
            query(m, 0);  // unchanged when refused
            break;
        }
        default:
            check(zq::ProvDestroyHash(m.handle) == 1);
            m = Model{};
            break;
        }
    }
    for (Model& m : models) check(zq::ProvDestroyHash(m.handle) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runWithFault(data, size, [](fuzz::Reader in, const fuzz::Fault* fault) {
        const Bytes message = in.bytes(in.u16());
        const size_t splitCount = in.byte();
        const Bytes splitBytes = in.bytes(splitCount);
        fuzz::Reader splits(splitBytes.data(), splitBytes.size());
        const Bytes md5 = digestInPieces<zq::Md5Context, 16>(message, splits);
        check(md5 == digestOnce<zq::Md5Context, 16>(message) && md5 == md5OfOpenSsl(message));
        fuzz::Reader again(splitBytes.data(), splitBytes.size());
        check((digestInPieces<zq::Sha0Context, 20>(message, again) == digestOnce<zq::Sha0Context, 20>(message)));
        objects(in, fault);
    });
    return 0;
}
