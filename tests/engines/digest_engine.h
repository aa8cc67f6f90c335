// File: digest_engine.h
//
// The MD5 and SHA-0 engines behind one shape, so that the properties they
// share are tested once for both (digest_engine_test.cpp).
#pragma once

#include <openssl/evp.h>
#include <stdint.h>

#include <vector>

#include "engines/byte_order.h"
#include "engines/md5.h"
#include "engines/sha0.h"

using Bytes = std::vector<uint8_t>;

struct Md5Engine {
    using Context = zq::Md5Context;
    static constexpr uint32_t digestSize = 16;
    static constexpr uint32_t chainWords = 4;
    static constexpr zq::ByteOrder order = zq::ByteOrder::little;
    static constexpr const char* vectorFiles[2] = {"md5.txt", "md5_random.txt"};

    // reference is OpenSSL's MD5 of the bytes.
    static Bytes reference(const uint8_t* bytes, size_t count) {
        Bytes digest(16);
        EVP_Digest(bytes, count, digest.data(), nullptr, EVP_md5(), nullptr);
        return digest;
    }
};

// SHA-0 has no reference implementation in OpenSSL 3; its known answers come
// from the vector files alone.
struct Sha0Engine {
    using Context = zq::Sha0Context;
    static constexpr uint32_t digestSize = 20;
    static constexpr uint32_t chainWords = 5;
    static constexpr zq::ByteOrder order = zq::ByteOrder::big;
    static constexpr const char* vectorFiles[2] = {"sha0.txt", "sha0_random.txt"};
};

// digestOf is the engine's digest of `count` bytes at `bytes` in one feed.
template <typename Engine>
Bytes digestOf(const uint8_t* bytes, size_t count) {
    typename Engine::Context context;
    Engine::Context::begin(context);
    Engine::Context::feed(context, bytes, static_cast<uint32_t>(count));
    Bytes digest(Engine::digestSize);
    Engine::Context::finish(digest.data(), context);
    return digest;
}

template <typename Engine>
Bytes digestOf(const Bytes& message) {
    return digestOf<Engine>(message.data(), message.size());
}

// digestInPieces feeds `message` in the given piece sizes (0 allowed), the
// last piece taking whatever is left.
template <typename Engine>
Bytes digestInPieces(const Bytes& message, const std::vector<size_t>& pieces) {
    typename Engine::Context context;
    Engine::Context::begin(context);
    size_t offset = 0;
    for (size_t piece : pieces) {
        if (piece > message.size() - offset) piece = message.size() - offset;
        Engine::Context::feed(context, message.data() + offset, static_cast<uint32_t>(piece));
        offset += piece;
    }
    Engine::Context::feed(context, message.data() + offset, static_cast<uint32_t>(message.size() - offset));
    Bytes digest(Engine::digestSize);
    Engine::Context::finish(digest.data(), context);
    return digest;
}
