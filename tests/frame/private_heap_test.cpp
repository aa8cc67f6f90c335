// The portable private heap: blocks, detach, serialisation across threads and
// the test instruments the other tests rely on.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "frame/heap_probe.h"
#include "frame/last_error.h"
#include "frame/private_heap.h"
#include "zqcrypt.h"

namespace {

using zq::PrivateHeap;
namespace probe = zq::heap_probe;

TEST(PrivateHeap, BlocksAreUsableAndCounted) {
    const uint32_t before = probe::liveBlocks();
    void* empty = PrivateHeap::allocate(0);
    void* block = PrivateHeap::allocate(100);
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(block, nullptr);
    EXPECT_NE(empty, block);
    std::memset(block, 0x5A, 100);
    EXPECT_EQ(probe::liveBlocks(), before + 2);
    PrivateHeap::release(block);
    PrivateHeap::release(empty);
    PrivateHeap::release(nullptr);
    EXPECT_EQ(probe::liveBlocks(), before);
}

TEST(PrivateHeap, FailsOnDemandOnceOrFromThenOn) {
    probe::failAllocations(1, false);
    void* first = PrivateHeap::allocate(8);
    void* second = PrivateHeap::allocate(8);
    void* third = PrivateHeap::allocate(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(probe::failedAllocations(), 1u);

    probe::failAllocations(0, true);
    EXPECT_EQ(PrivateHeap::allocate(8), nullptr);
    EXPECT_EQ(PrivateHeap::allocate(0), nullptr);
    EXPECT_EQ(probe::failedAllocations(), 2u);
    probe::stopFailing();
    void* fourth = PrivateHeap::allocate(8);
    EXPECT_NE(fourth, nullptr);
    for (void* block : {first, third, fourth}) PrivateHeap::release(block);
}

TEST(PrivateHeap, OnlyAnArmedFailureRefusesARequestAcrossTheCountersWrap) {
    std::vector<void*> blocks;
    probe::setAllocationCount(UINT32_MAX - 3);
    for (int i = 0; i < 8; ++i) {
        blocks.push_back(PrivateHeap::allocate(8));
        EXPECT_NE(blocks.back(), nullptr) << "request " << i;
    }
    EXPECT_EQ(probe::allocationCount(), 4u);

    probe::setAllocationCount(UINT32_MAX - 1);
    probe::failAllocations(3, false);  // the first request after the wrap but one
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(PrivateHeap::allocate(8));
        EXPECT_EQ(blocks.back() == nullptr, i == 3) << "request " << i;
    }
    EXPECT_EQ(probe::failedAllocations(), 1u);
    probe::stopFailing();
    for (void* block : blocks) PrivateHeap::release(block);
}

// The shared library, loaded and unloaded as a plug-in would be: unloading it
// releases the blocks of blobs that were never cleared.
TEST(PrivateHeap, UnloadingTheLibraryReleasesEveryBlock) {
#if defined(ZQ_SANITIZED)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#else
    void* library = dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using BlobInit = uintptr_t (*)(CryptBlob*, uint32_t);
    auto blobInit = reinterpret_cast<BlobInit>(dlsym(library, "zqCryptBlobInit"));
    ASSERT_NE(blobInit, nullptr);
    const size_t before = mallinfo2().hblkhd;
    CryptBlob blobs[3] = {};
    for (CryptBlob& blob : blobs) ASSERT_NE(blobInit(&blob, 8u << 20), 0u);
    EXPECT_GE(mallinfo2().hblkhd, before + (24u << 20));
    dlclose(library);
    EXPECT_LE(mallinfo2().hblkhd, before);
#endif
}

// A plug-in host loads and unloads the library in a loop: each cycle that
// allocates must give back all that it took, hooks of fork and exit included.
TEST(PrivateHeap, LoadingAndUnloadingInALoopDoesNotGrowTheProcess) {
#if defined(ZQ_SANITIZED)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#else
    const auto cycles = [](int count) {
        for (int i = 0; i < count; ++i) {
            void* library = dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            ASSERT_NE(library, nullptr) << dlerror();
            using BlobInit = uintptr_t (*)(CryptBlob*, uint32_t);
            auto blobInit = reinterpret_cast<BlobInit>(dlsym(library, "zqCryptBlobInit"));
            CryptBlob blob = {};
            ASSERT_NE(blobInit(&blob, 64), 0u);
            dlclose(library);
        }
    };
    cycles(50);
    const size_t before = mallinfo2().uordblks;
    cycles(2000);
    EXPECT_LT(mallinfo2().uordblks, before + 2000) << "bytes in use grew over 2000 cycles";
#endif
}

// Threads that called the library keep blocks in their caches when it is
// unloaded, and end afterwards: every block goes back with the unload, and
// their ends call nothing of the library.
TEST(PrivateHeap, UnloadingWhileThreadsHoldCachedBlocksReleasesThem) {
    // One arena for every thread, so that the statistics see all of them.
    mallopt(M_ARENA_MAX, 1);
    const auto cycle = [] {
        void* library = dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        using BlobInit = uintptr_t (*)(CryptBlob*, uint32_t);
        using BlobClear = uint32_t (*)(CryptBlob*);
        auto blobInit = reinterpret_cast<BlobInit>(dlsym(library, "zqCryptBlobInit"));
        auto blobClear = reinterpret_cast<BlobClear>(dlsym(library, "zqCryptBlobClear"));
        ASSERT_TRUE(blobInit != nullptr && blobClear != nullptr);
        std::atomic<int> filled{0};
        std::atomic<bool> unloaded{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 64; ++i) {
                    CryptBlob blob = {};
                    blobInit(&blob, static_cast<uint32_t>(16 + 16 * (i % 16)));
                    blobClear(&blob);
                }
                ++filled;
                while (!unloaded) std::this_thread::yield();
            });
        }
        while (filled != 4) std::this_thread::yield();
        dlclose(library);
        unloaded = true;
        for (auto& thread : threads) thread.join();
    };
    // Thread stacks, their thread-local storage and the loader's own memory
    // settle within a few cycles; after that, cycles must not grow.
    for (int i = 0; i < 8; ++i) cycle();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 8; ++i) cycle();
#if !defined(ZQ_SANITIZED)
    EXPECT_LE(mallinfo2().uordblks, before + 1024) << "bytes kept after the unload";
#else
    (void)before;
#endif
}

// fork copies the heap as it stands: a child must find it usable whatever
// the parent's other threads were doing, lock included.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZQ_THREAD_SANITIZER 1
#endif
#endif

TEST(PrivateHeap, AChildOfForkCanAlwaysAllocate) {
#if defined(__SANITIZE_THREAD__) || defined(ZQ_THREAD_SANITIZER)
    GTEST_SKIP() << "ThreadSanitizer does not support fork in a program with threads";
#else
    std::atomic<bool> stop{false};
    std::vector<std::thread> churners;
    for (int t = 0; t < 2; ++t) {
        churners.emplace_back([&stop] {
            while (!stop.load(std::memory_order_relaxed)) {
                CryptBlob a = {}, b = {};
                zqCryptBlobInit(&a, 100);
                zqCryptBlobCopy(&b, &a);
                zqCryptBlobClear(&a);
                zqCryptBlobClear(&b);
            }
        });
    }
    int hung = 0, failed = 0;
    for (int i = 0; i < 200; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            CryptBlob blob = {};
            _exit(zqCryptBlobInit(&blob, 64) != 0 && zqCryptBlobClear(&blob) == 1 ? 0 : 1);
        }
        ASSERT_GT(child, 0);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ++hung;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    stop = true;
    for (auto& thread : churners) thread.join();
    EXPECT_EQ(hung, 0) << "children that did not finish one allocation in 2 s";
    EXPECT_EQ(failed, 0);
#endif
}

// A waiter of higher real-time priority that finds the lock held by a thread
// it preempted on the same processor must let that thread run to let it go.
// Run in a child, which the test ends if it is stuck.
TEST(PrivateHeap, ARealTimeWaiterLetsAHolderOfLowerPriorityRun) {
#if defined(__SANITIZE_THREAD__) || defined(ZQ_THREAD_SANITIZER)
    GTEST_SKIP() << "ThreadSanitizer does not support fork in a program with threads";
#else
    const pid_t child = fork();
    if (child == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) _exit(77);
        std::atomic<bool> stop{false};
        const auto realTime = [](std::thread& thread, int priority) {
            const sched_param parameter = {priority};
            return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &parameter) == 0;
        };
        std::thread holder([&stop] {
            while (!stop.load(std::memory_order_relaxed)) PrivateHeap::release(PrivateHeap::allocate(64));
        });
        std::thread waiter([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            for (int i = 0; i < 100; ++i) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                PrivateHeap::release(PrivateHeap::allocate(64));
            }
        });
        const bool allowed = realTime(holder, 1) && realTime(waiter, 2);
        waiter.join();
        stop = true;
        holder.join();
        _exit(allowed ? 0 : 77);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the waiter kept the holder from running for 30 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no real-time scheduling here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// A large block released is kept and handed out again, so that repeated
// calls on large blocks find their pages already mapped.
TEST(PrivateHeap, ALargeBlockReleasedIsHandedOutAgain) {
    void* first = PrivateHeap::allocate(8u << 20);
    ASSERT_NE(first, nullptr);
    PrivateHeap::release(first);
    void* second = PrivateHeap::allocate((8u << 20) - 100);
    EXPECT_EQ(second, first);
    PrivateHeap::release(second);
}

std::vector<uint8_t> lastReleased;
void keepReleasedBytes(const void* block, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    lastReleased.assign(bytes, bytes + size);
}

TEST(PrivateHeap, ObserverSeesEachBlockAsItIsReleased) {
    auto* block = static_cast<uint8_t*>(PrivateHeap::allocate(3));
    block[0] = 1, block[1] = 2, block[2] = 3;
    probe::setReleaseObserver(keepReleasedBytes);
    PrivateHeap::release(block);
    probe::setReleaseObserver(nullptr);
    EXPECT_EQ(lastReleased, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(PrivateHeap, DetachReleasesEveryLiveBlockAndRefusesUntilAttach) {
    // Only this test's blocks may be live: detach takes everything.
    ASSERT_EQ(probe::liveBlocks(), 0u);
    for (int i = 0; i < 50; ++i) ASSERT_NE(PrivateHeap::allocate(64), nullptr);
    EXPECT_EQ(probe::liveBlocks(), 50u);
    PrivateHeap::detach();
    EXPECT_EQ(probe::liveBlocks(), 0u);
    EXPECT_EQ(PrivateHeap::allocate(1), nullptr);
    ASSERT_TRUE(PrivateHeap::attach());
    void* block = PrivateHeap::allocate(1);
    EXPECT_NE(block, nullptr);
    PrivateHeap::release(block);
}

TEST(PrivateHeap, ThreadsAllocateAndReleaseAtOnce) {
    const uint32_t before = probe::liveBlocks();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            std::vector<uint8_t*> blocks;
            for (int i = 0; i < 2000; ++i) {
                auto* block = static_cast<uint8_t*>(PrivateHeap::allocate(static_cast<uint32_t>(i % 97)));
                if (i % 97 != 0) block[0] = static_cast<uint8_t>(t);
                blocks.push_back(block);
                if (i % 3 == 0) {
                    PrivateHeap::release(blocks.back());
                    blocks.pop_back();
                }
            }
            for (uint8_t* block : blocks) PrivateHeap::release(block);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(probe::liveBlocks(), before);
}

// Blocks that one thread takes and another gives back: each thread keeps
// what it is given in a cache of its own, and every count stays exact.
TEST(PrivateHeap, ThreadsGiveBackBlocksThatOtherThreadsTook) {
    const uint32_t before = probe::liveBlocks();
    constexpr int Pairs = 2, Blocks = 4000;
    std::vector<std::vector<uint8_t*>> handedOver(Pairs, std::vector<uint8_t*>(Blocks));
    std::vector<std::atomic<int>> ready(Pairs);
    std::vector<std::thread> threads;
    for (int pair = 0; pair < Pairs; ++pair) {
        threads.emplace_back([&, pair] {
            for (int i = 0; i < Blocks; ++i) {
                const uint32_t size = static_cast<uint32_t>(1 + (i * 37) % 1500);
                auto* block = static_cast<uint8_t*>(PrivateHeap::allocate(size));
                memset(block, pair + 1, size);
                handedOver[pair][i] = block;
                ready[pair].store(i + 1, std::memory_order_release);
            }
        });
        threads.emplace_back([&, pair] {
            for (int i = 0; i < Blocks; ++i) {
                while (ready[pair].load(std::memory_order_acquire) <= i) std::this_thread::yield();
                uint8_t* block = handedOver[pair][i];
                const uint32_t size = static_cast<uint32_t>(1 + (i * 37) % 1500);
                EXPECT_TRUE(block[0] == pair + 1 && block[size - 1] == pair + 1);
                PrivateHeap::release(block);
                // Taken again from this thread's cache, and given back.
                PrivateHeap::release(PrivateHeap::allocate(size));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(probe::liveBlocks(), before);
}

// A thread's cached blocks belong to the store they came from: after the
// store is released whole and made anew, the thread must not hand them out.
TEST(PrivateHeap, AThreadsCacheIsDroppedWhenTheStoreIsReleased) {
    ASSERT_EQ(probe::liveBlocks(), 0u);
    std::atomic<int> step{0};
    std::thread other([&step] {
        for (int i = 0; i < 16; ++i) PrivateHeap::release(PrivateHeap::allocate(64));
        step = 1;
        while (step != 2) std::this_thread::yield();
        for (int i = 0; i < 16; ++i) {
            auto* block = static_cast<uint8_t*>(PrivateHeap::allocate(64));
            memset(block, 0xA5, 64);  // a block of the released store would be freed memory
            PrivateHeap::release(block);
        }
    });
    while (step != 1) std::this_thread::yield();
    PrivateHeap::detach();
    ASSERT_TRUE(PrivateHeap::attach());
    step = 2;
    other.join();
    EXPECT_EQ(probe::liveBlocks(), 0u);
}

TEST(LastError, IsPerThread) {
    zq::setLastError(13);
    uint32_t seenByOther = 1;
    std::thread([&] {
        seenByOther = zq::getLastError();
        zq::setLastError(zq::NTE_BAD_SIGNATURE);
    }).join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(zq::getLastError(), 13u);
}

}  // namespace
