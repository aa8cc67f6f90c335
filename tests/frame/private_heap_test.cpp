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

#include "frame/call_gate.h"
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

// Plugin is the shared library loaded as a plug-in host loads it, with the
// two blob exports that threads use to take and give back blocks.
struct Plugin {
    void* library = dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    uintptr_t (*blobInit)(CryptBlob*, uint32_t) = nullptr;
    uint32_t (*blobClear)(CryptBlob*) = nullptr;

    Plugin() {
        if (library == nullptr) return;
        blobInit = reinterpret_cast<decltype(blobInit)>(dlsym(library, "zqCryptBlobInit"));
        blobClear = reinterpret_cast<decltype(blobClear)>(dlsym(library, "zqCryptBlobClear"));
    }
    bool loaded() const { return blobInit != nullptr && blobClear != nullptr; }

    // calls takes and gives back blocks of small sizes, through the thread's
    // call mark and its heap cache.
    void calls(uint32_t count) const {
        for (uint32_t i = 0; i < count; ++i) {
            CryptBlob blob = {};
            blobInit(&blob, 16 + 16 * (i % 16));
            blobClear(&blob);
        }
    }
};

// The shared library, loaded and unloaded as a plug-in would be: unloading it
// releases the blocks of blobs that were never cleared.
TEST(PrivateHeap, UnloadingTheLibraryReleasesEveryBlock) {
#if defined(ZQ_SANITIZED)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#else
    Plugin plugin;
    ASSERT_TRUE(plugin.loaded()) << dlerror();
    const size_t before = mallinfo2().hblkhd;
    CryptBlob blobs[3] = {};
    for (CryptBlob& blob : blobs) ASSERT_NE(plugin.blobInit(&blob, 8u << 20), 0u);
    EXPECT_GE(mallinfo2().hblkhd, before + (24u << 20));
    dlclose(plugin.library);
    EXPECT_LE(mallinfo2().hblkhd, before);
#endif
}

// A plug-in host loads and unloads the library in a loop, while threads that
// called it still hold blocks in their caches and end only after the unload:
// each cycle must give back all that it took, hooks of fork, exit and thread
// ends included. (The unload is put off while those threads live; the next
// cycle's dlopen finds the same copy, and a later dlclose completes it.)
TEST(PrivateHeap, LoadingAndUnloadingInALoopDoesNotGrowTheProcess) {
    mallopt(M_ARENA_MAX, 1);  // one arena, so that the statistics see every thread's
    const auto cycle = [] {
        Plugin plugin;
        ASSERT_TRUE(plugin.loaded()) << dlerror();
        std::atomic<int> filled{0};
        std::atomic<bool> unloaded{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&] {
                plugin.calls(64);
                ++filled;
                while (!unloaded) std::this_thread::yield();
            });
        }
        while (filled != 2) std::this_thread::yield();
        dlclose(plugin.library);
        unloaded = true;
        for (auto& thread : threads) thread.join();
    };
    // Thread stacks, their thread-local storage and the loader's own memory
    // settle within a few cycles.
    for (int i = 0; i < 8; ++i) cycle();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 300; ++i) cycle();
#if !defined(ZQ_SANITIZED)
    EXPECT_LT(mallinfo2().uordblks, before + 2000) << "bytes in use grew over 300 cycles";
#else
    (void)before;
#endif
}

// A thread pool winds down while its host unloads the library: the threads'
// ends give back their records (call marks, heap caches) at the very moment
// the unload runs, and no thread's end may run in a library that is gone.
TEST(PrivateHeap, UnloadingWhileThreadsThatCalledItEndIsSafe) {
    for (int round = 0; round < 100; ++round) {
        Plugin plugin;
        ASSERT_TRUE(plugin.loaded()) << dlerror();
        std::atomic<int> done{0};
        std::atomic<bool> unloading{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 32; ++t) {
            threads.emplace_back([&] {
                plugin.calls(4);
                // Blocks left to the unload keep it busy under the heap's
                // lock while the threads end.
                for (uint32_t size = 100; size < 1000000; size *= 2) {
                    CryptBlob blob = {};
                    plugin.blobInit(&blob, size);
                }
                ++done;
                while (!unloading) std::this_thread::yield();
            });
        }
        while (done != 32) std::this_thread::yield();
        unloading = true;
        dlclose(plugin.library);
        for (auto& thread : threads) thread.join();
        // An unload that the threads put off takes place at a later dlclose
        // that unloads something: here the library's own, once more. Its
        // blocks go with it.
        if (void* again = dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_NOLOAD)) dlclose(again);
        ASSERT_EQ(dlopen(ZQ_SHARED_LIBRARY, RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded, round " << round;
    }
}

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZQ_THREAD_SANITIZER 1
#endif
#endif

// exitStatusOf runs `body` in a child and gives its exit status, or -1 when
// the child has not ended within `seconds` (it is then ended).
template <typename Body>
int exitStatusOf(Body body, int seconds) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    if (child < 0) return -2;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

// fork copies the heap as it stands: a child must find it usable whatever
// the parent's other threads were doing, lock included.
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
        const int status = exitStatusOf(
            [] {
                CryptBlob blob = {};
                return zqCryptBlobInit(&blob, 64) != 0 && zqCryptBlobClear(&blob) == 1 ? 0 : 1;
            },
            2);
        hung += status == -1;
        failed += status != 0 && status != -1;
    }
    stop = true;
    for (auto& thread : churners) thread.join();
    EXPECT_EQ(hung, 0) << "children that did not finish one allocation in 2 s";
    EXPECT_EQ(failed, 0);
#endif
}

// A waiter of higher real-time priority that finds the lock held by a thread
// it preempted on the same processor must let that thread run to let it go.
#if !defined(ZQ_THREAD_SANITIZER)
// listsAreWhole walks the lists of thread records (marks and caches) as
// unload and the test instruments do: 0 when they end, and they do not when
// a record in storage that a thread's end freed was left in them.
int listsAreWhole() {
    (void)probe::liveBlocks();
    return zq::CallGate::closeAll() ? 0 : 1;
}
#endif

// A thread whose first call comes after its end began, from a key
// destructor of the host's in the last round of them, when no hook of the
// library's will run any more: its records must not be left in the lists
// in storage that the next thread, made in the same place, lists again.
TEST(PrivateHeap, AThreadsFirstCallAfterItsEndBeganLeavesTheListsWhole) {
#if defined(ZQ_THREAD_SANITIZER)
    GTEST_SKIP() << "ThreadSanitizer does not support fork in a program with threads";
#else
    static void (*call)() = [] {
        CryptBlob blob = {};
        zqCryptBlobInit(&blob, 64);
        zqCryptBlobClear(&blob);
    };
    EXPECT_EQ(exitStatusOf(
                  [] {
                      static pthread_key_t key;
                      static thread_local int round = 0;
                      pthread_key_create(&key, [](void*) {
                          if (++round < PTHREAD_DESTRUCTOR_ITERATIONS) pthread_setspecific(key, &key);
                          else call();
                      });
                      for (int i = 0; i < 3; ++i) {
                          std::thread([] { pthread_setspecific(key, &key); }).join();
                          std::thread(call).join();  // in the storage of the one before
                      }
                      return listsAreWhole();
                  },
                  10),
              0);
#endif
}

// A child forked by a thread other than the main one while the main thread
// is inside a call: in the child the forking thread is the main one, and
// the main thread's records must start anew there, not as the parent's main
// thread left them (its call would keep the gates from ever closing).
TEST(PrivateHeap, AChildForkedByAnotherThreadStartsWithTheMainRecordsEmpty) {
#if defined(ZQ_THREAD_SANITIZER)
    GTEST_SKIP() << "ThreadSanitizer does not support fork in a program with threads";
#else
    void* block = PrivateHeap::allocate(16);
    int status = -3;
    {
        const zq::CallGate inside;
        std::thread([&status] {
            status = exitStatusOf(
                [] {
                    { const zq::CallGate own; }
                    return zq::CallGate::closeAll() ? 0 : 1;
                },
                10);
        }).join();
    }
    PrivateHeap::release(block);
    EXPECT_EQ(status, 0);
#endif
}

TEST(PrivateHeap, ARealTimeWaiterLetsAHolderOfLowerPriorityRun) {
#if defined(__SANITIZE_THREAD__) || defined(ZQ_THREAD_SANITIZER)
    GTEST_SKIP() << "ThreadSanitizer does not support fork in a program with threads";
#else
    const int status = exitStatusOf(
        [] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(0, &one);
            if (sched_setaffinity(0, sizeof one, &one) != 0) return 77;
            std::atomic<bool> stop{false};
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
            const sched_param low = {1}, high = {2};
            const bool allowed = pthread_setschedparam(holder.native_handle(), SCHED_FIFO, &low) == 0 &&
                                 pthread_setschedparam(waiter.native_handle(), SCHED_FIFO, &high) == 0;
            waiter.join();
            stop = true;
            holder.join();
            return allowed ? 0 : 77;
        },
        30);
    if (status == 77) GTEST_SKIP() << "no real-time scheduling here";
    EXPECT_EQ(status, 0) << "-1: the waiter kept the holder from running for 30 s";
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

// Blocks that one thread takes and another gives back: the giver keeps them
// in its own cache, hands them out again, and every count stays exact.
TEST(PrivateHeap, ThreadsGiveBackBlocksThatOtherThreadsTook) {
    const uint32_t before = probe::liveBlocks();
    std::vector<uint8_t*> blocks;
    const auto sizeOf = [](size_t i) { return static_cast<uint32_t>(1 + (i * 37) % 5000); };
    std::thread([&] {
        for (size_t i = 0; i < 4000; ++i) {
            blocks.push_back(static_cast<uint8_t*>(PrivateHeap::allocate(sizeOf(i))));
            memset(blocks.back(), 0xA5, sizeOf(i));
        }
    }).join();
    std::thread([&] {
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_TRUE(blocks[i][0] == 0xA5 && blocks[i][sizeOf(i) - 1] == 0xA5);
            PrivateHeap::release(blocks[i]);
            PrivateHeap::release(PrivateHeap::allocate(sizeOf(i)));
        }
    }).join();
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
