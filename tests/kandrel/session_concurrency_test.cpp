// Host threads sharing sessions and references: method calls on copies of
// one session from several threads, one of them unbinding its copy, and
// chains freed by one thread while another walks them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "directory_test_support.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

class SessionConcurrency : public DirectoryTest {};

TEST_F(SessionConcurrency, CopiesOfOneSessionSearchFromManyThreadsWhileOneLetsGo)
{
    Session original(host_);
    original.open();
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::vector<HostLParam> copies;
    for (int t = 0; t < kThreads; ++t) {
        copies.push_back(fresh_instance());
        host_.copy(original.instance(), copies.back());
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            testhost::TestHost host(component_);
            const HostLParam mine = copies[static_cast<std::size_t>(t)];
            for (int round = 0; round < kRounds; ++round) {
                if (t == 0 && round == kRounds / 2) {
                    // This copy lets go; the others keep the session.
                    if (host.call(mine, kUnbindS).result->integer != 0) {
                        ++wrong;
                    }
                    break;
                }
                const std::string chain =
                    host.call(mine, kSearchExtS, {Arg::utf8(kPeople), Arg::integer(1), Arg::utf8("(cn=Person 0001*)")})
                        .result->utf8();
                if (host.call(mine, kCountEntries, {Arg::utf8(chain)}).result->integer != 10 ||
                    host.call(mine, kFree, {Arg::utf8(chain)}).result->integer != 0) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(original.integer(kCompareS, {Arg::utf8(kMultiValued), Arg::utf8("sn"), Arg::utf8("Valued")}), 0)
        << "the original's session is still bound";
    for (const HostLParam copy : copies) {
        host_.destroy(copy);
    }
}

TEST_F(SessionConcurrency, AChainFreedByOneThreadWhileAnotherWalksItNeverHurtsTheWalker)
{
    Session session(host_);
    session.open();
    constexpr int kRounds = 30;
    std::atomic<int> wrong{0};
    for (int round = 0; round < kRounds; ++round) {
        const std::string chain = session.search(kPeople, 1);
        std::atomic<bool> freed{false};
        std::thread walker([&] {
            testhost::TestHost host(component_);
            std::string entry = host.call(session.instance(), kFirstEntry, {Arg::utf8(chain)}).result->utf8();
            while (!entry.empty()) {
                const std::string cn =
                    host.call(session.instance(), kGetValues, {Arg::utf8(entry), Arg::utf8("cn")}).result->utf8();
                // Either the value, or nothing once the chain is gone.
                if (!cn.empty() && cn.rfind("Person ", 0) != 0 && cn != "Multi Valued") {
                    ++wrong;
                }
                testhost::Reply first =
                    host.call(session.instance(), kFirstAttribute, {Arg::utf8(entry), Arg::utf8("")});
                const std::string ber = first.params[2].utf8();
                host.call(session.instance(), kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)});
                if (!ber.empty() && host.call(session.instance(), kFree, {Arg::utf8(ber)}).result->integer != 0) {
                    ++wrong;  // a BER element stays the host's to free
                }
                entry = host.call(session.instance(), kNextEntry, {Arg::utf8(entry)}).result->utf8();
            }
        });
        std::thread freer([&] {
            testhost::TestHost host(component_);
            std::this_thread::sleep_for(std::chrono::microseconds(round * 50));
            if (host.call(session.instance(), kFree, {Arg::utf8(chain)}).result->integer != 0) {
                ++wrong;
            }
            freed = true;
        });
        walker.join();
        freer.join();
        EXPECT_TRUE(freed.load());
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
