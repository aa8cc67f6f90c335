// The call gates: unload releases the heap only when no call is inside, and
// a call that comes after it touches nothing and fails.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "frame/call_gate.h"
#include "zqcrypt.h"

namespace {

using zq::CallGate;

TEST(CallGate, ClosesOnlyWhenNoCallIsInsideAndThenRefusesEveryCall) {
    std::atomic<bool> entered{false}, leave{false};
    std::thread caller([&] {
        const CallGate gate;
        EXPECT_TRUE(gate.open());
        entered = true;
        while (!leave) std::this_thread::yield();
    });
    while (!entered) std::this_thread::yield();
    EXPECT_FALSE(CallGate::closeAll()) << "a call is inside";
    {
        const CallGate gate;
        EXPECT_TRUE(gate.open()) << "the gates open again while a call keeps the heap";
    }
    leave = true;
    caller.join();

    ASSERT_TRUE(CallGate::closeAll());
    CryptBlob blob = {3, 4, nullptr};
    EXPECT_EQ(zqCryptBlobInit(&blob, 8), 0u);
    EXPECT_EQ(blob.data, nullptr);
    std::thread([] {
        const CallGate gate;
        EXPECT_FALSE(gate.open()) << "a thread new to the library";
    }).join();

    CallGate::stop();
    CallGate::start();
    const CallGate gate;
    EXPECT_TRUE(gate.open());
}

}  // namespace
