// Several host threads driving one component at once: creating, calling,
// copying and deleting objects, some of them shared between threads.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kandrel_test_support.h"
#include "library_binding.h"
#include "platform.h"

namespace {

using kandrel_test::fresh_instance;
using kandrel_test::HostTest;
using testhost::Arg;

class Concurrency : public HostTest {};

TEST_F(Concurrency, HostThreadsCreateCallCopyAndDeleteSafely)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    const HostLParam shared = fresh_instance();
    ASSERT_EQ(host_.create(shared), 1);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            testhost::TestHost host(component_);
            for (int round = 0; round < kRounds; ++round) {
                const HostLParam mine = fresh_instance();
                const HostLParam copy = fresh_instance();
                host.create(mine);
                host.set_property(mine, kandrel_test::kPropUtf8, Arg::boolean(round % 2 == 0));
                testhost::Reply added = host.call(mine, kandrel_test::kAddAtt,
                                                  {Arg::utf8("a: 1\r"), Arg::utf8("t"), Arg::integer(t)});
                if (added.answer != 0 || !added.result || added.result->utf8() != "a: 1\rt: " + std::to_string(t) + "\r") {
                    ++wrong;
                }
                host.copy(mine, copy);
                host.copy(shared, mine);
                host.copy(mine, shared);
                // Calls on the shared object race with copies into it.
                testhost::Reply got = host.call(shared, kandrel_test::kGetAtt, {Arg::utf8("x: y"), Arg::utf8("x")});
                if (got.answer != 1 || !got.result || got.result->utf8() != "y") {
                    ++wrong;
                }
                host.get_property(copy, kandrel_test::kPropSession);
                host.destroy(mine);
                host.destroy(copy);
                if (got.left_after_release != 0 || added.left_after_release != 0) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(host_.destroy(shared), 0);
}

TEST_F(Concurrency, AnObjectDeletedWhileOthersCallItNeverFailsThem)
{
    constexpr int kRounds = 200;
    std::atomic<int> wrong{0};
    for (int round = 0; round < kRounds; ++round) {
        const HostLParam instance = fresh_instance();
        host_.create(instance);
        std::thread caller([&] {
            testhost::TestHost host(component_);
            for (int i = 0; i < 5; ++i) {
                testhost::Reply reply = host.call(instance, kandrel_test::kGetAtt, {Arg::utf8("k: v"), Arg::utf8("k")});
                // Either the object answered in full or it was already gone.
                if (!(reply.answer == 0 && reply.component_items == 0) &&
                    !(reply.answer == 1 && reply.result && reply.result->utf8() == "v")) {
                    ++wrong;
                }
            }
        });
        std::thread deleter([&] {
            testhost::TestHost host(component_);
            host.destroy(instance);
        });
        caller.join();
        deleter.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

// Connects and disconnects race each other and the calls through the
// library table: every call reaches either the library or its fallback, and
// the table ends in the state of the last message.
TEST(LibraryTableRace, ConnectAndDisconnectRaceCallsThroughTheSlots)
{
    namespace library = kandrel::library;
    using library::Entry;
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                library::load();
                library::release();
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            while (!done.load()) {
                // The library's text, or the fallback's null: nothing else.
                const char* text = library::call<Entry::ldap_err2string>(81);
                if (text != nullptr && std::string(text) != "Can't contact LDAP server") {
                    ++wrong;
                }
            }
        });
    }
    threads[0].join();
    threads[1].join();
    done = true;
    threads[2].join();
    threads[3].join();
    EXPECT_EQ(wrong.load(), 0);
    ASSERT_TRUE(library::load());
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        EXPECT_FALSE(library::is_fallback(static_cast<Entry>(i))) << library::kEntries[i].name;
    }
    library::release();
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        EXPECT_TRUE(library::is_fallback(static_cast<Entry>(i))) << library::kEntries[i].name;
    }
}

// The component's lock: threads that find it held, also for long (the holder
// sleeps), wait for it, and no increment it guards is lost.
TEST(PlatformLock, ExcludesEveryOtherHolder)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    kandrel::platform::Lock lock;
    long counter = 0;  // guarded by lock
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                std::lock_guard guard(lock);
                ++counter;
                if (round % 2000 == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

}  // namespace
