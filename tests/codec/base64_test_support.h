// File: base64_test_support.h
//
// What the codec's internal tests share: buffers that end at an inaccessible
// page, so that a read or write one byte past them faults at once; the codec
// run into such buffers by a given path; the vector paths this processor has;
// random bytes and texts.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/base64_codec.h"
#include "codec/base64_layout.h"

namespace zq::testing {

using Bytes = std::vector<uint8_t>;

// GuardedBuffer: `size` bytes whose last one is followed by a page that can
// be neither read nor written.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : size_(size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (size + page - 1) / page * page + page;
        void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) abort();
        base_ = static_cast<uint8_t*>(base);
        if (mprotect(base_ + mapped_ - page, page, PROT_NONE) != 0) abort();
        data_ = base_ + mapped_ - page - size;
    }
    GuardedBuffer(const uint8_t* bytes, size_t size) : GuardedBuffer(size) {
        if (size != 0) memcpy(data_, bytes, size);
    }
    explicit GuardedBuffer(const Bytes& bytes) : GuardedBuffer(bytes.data(), bytes.size()) {}
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() { munmap(base_, mapped_); }

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    Bytes bytes() const { return Bytes(data_, data_ + size_); }

private:
    uint8_t* base_;
    uint8_t* data_;
    size_t size_;
    size_t mapped_;
};

inline const char* pathName(Base64Path path) {
    switch (path) {
        case Base64Path::automatic: return "automatic";
        case Base64Path::scalar: return "scalar";
        case Base64Path::ssse3: return "ssse3";
        case Base64Path::avx2: return "avx2";
        case Base64Path::avx512: return "avx512";
    }
    return "?";
}

// vectorPaths: the vectorised paths this processor can run.
inline std::vector<Base64Path> vectorPaths() {
    std::vector<Base64Path> paths;
    for (Base64Path path : {Base64Path::ssse3, Base64Path::avx2, Base64Path::avx512}) {
        if (base64PathAvailable(path)) paths.push_back(path);
    }
    return paths;
}

// allPaths: scalar first, then the vectorised ones.
inline std::vector<Base64Path> allPaths() {
    std::vector<Base64Path> paths{Base64Path::scalar};
    for (Base64Path path : vectorPaths()) paths.push_back(path);
    return paths;
}

// encodeBlock: the encoder's whole block for `input`, by `path`, with the
// input and the block each ending at a guard page.
inline Bytes encodeBlock(const Bytes& input, Base64Path path) {
    Base64TextLayout layout{};
    EXPECT_TRUE(Base64TextLayout::of(static_cast<uint32_t>(input.size()), layout));
    GuardedBuffer in(input);
    GuardedBuffer block(layout.blockSize);
    memset(block.data(), 0xA5, block.size());
    base64EncodeText(in.data(), static_cast<uint32_t>(input.size()), layout, block.data(), path);
    return block.bytes();
}

// decodeText: the bytes decoded from the `size` bytes at `text`, by `path`,
// with the text and the output block each ending at a guard page.
inline Bytes decodeText(const uint8_t* text, size_t size, Base64Path path) {
    GuardedBuffer in(text, size);
    GuardedBuffer out(base64DecodedCapacity(static_cast<uint32_t>(size)));
    const uint32_t count = base64DecodeText(in.data(), static_cast<uint32_t>(size), out.data(), path);
    EXPECT_LE(count, out.size());
    return Bytes(out.data(), out.data() + count);
}

inline Bytes decodeText(const Bytes& text, Base64Path path) { return decodeText(text.data(), text.size(), path); }
inline Bytes decodeText(const std::string& text, Base64Path path) {
    return decodeText(reinterpret_cast<const uint8_t*>(text.data()), text.size(), path);
}

inline Bytes randomBytes(std::mt19937& rng, size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

inline Bytes asBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace zq::testing
