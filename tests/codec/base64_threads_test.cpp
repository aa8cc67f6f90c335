// The exports from several threads at once, on different blobs, starting
// from a process that has not yet asked the processor what it can do (ctest
// runs each case in a process of its own): the only state the codec shares
// is that answer.
#include <thread>

#include "codec/base64_test_support.h"
#include "zqcrypt.h"

namespace {

using namespace zq::testing;

TEST(Base64Threads, ConcurrentRoundTripsOnSeparateBlobs) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::mt19937 rng(100 + t);
            for (int round = 0; round < 200; ++round) {
                const Bytes input = randomBytes(rng, rng() % 5000);
                CryptBlob in{}, scratch{}, text{}, out{};
                zqCryptBlobInit(&scratch, static_cast<uint32_t>(input.size()));
                if (!input.empty()) memcpy(scratch.data, input.data(), input.size());
                zqCryptBlobCopy(&in, &scratch);
                const bool ok = zqCryptUUEncode(&in, 0, &text) == 1 && zqCryptUUDecode(&text, 0, &out) == 1 &&
                                Bytes(out.data, out.data + out.size) == input;
                if (!ok) ++failures[t];
                for (CryptBlob* blob : {&in, &scratch, &text, &out}) zqCryptBlobClear(blob);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
