// Several host threads driving one component at once: creating, calling,
// copying and deleting objects, some of them shared between threads.
#include <gtest/gtest.h>

#include <thread>

#include "kandrel_test_support.h"

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

TEST_F(Concurrency, ConnectedThreadsReadTheLibraryTableWhileOthersWork)
{
    host_.connect();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            testhost::TestHost host(component_);
            for (int i = 0; i < 100; ++i) {
                const HostLParam instance = fresh_instance();
                host.create(instance);
                host.call(instance, kandrel_test::kInit, {Arg::utf8("localhost"), Arg::integer(389)});
                host.get_property(instance, kandrel_test::kPropDebug);
                host.destroy(instance);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    host_.disconnect();
}

}  // namespace
