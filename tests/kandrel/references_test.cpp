// Typed references: reference texts, the token table behind them, and the
// checks that keep stale or forged references away from the library.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "debug_log.h"
#include "kandrel_test_support.h"
#include "parameters.h"
#include "references.h"

namespace {

using kandrel_test::InProcessRequest;
using kandrel_test::ScopedDirectory;
using testhost::Arg;
namespace refs = kandrel::refs;

int objects[16];  // stand-ins for library objects

std::string text_of(refs::Kind kind, refs::Token token)
{
    char text[32];
    refs::format(kind, token, text);
    return text;
}

TEST(ReferenceText, IsThePrefixAndEightLowerCaseDigits)
{
    EXPECT_EQ(text_of(refs::Kind::message, 0x00ABCDEF), "MESS:00abcdef");
    EXPECT_EQ(text_of(refs::Kind::controls, 0xFFFFFFFF), "CTRL:ffffffff");
    EXPECT_EQ(text_of(refs::Kind::entry, 0), "");
}

TEST(TokenTable, ResolvesOnlyLiveObjectsOfTheRightKind)
{
    const refs::Token message = refs::mint(refs::Kind::message, &objects[0]);
    ASSERT_NE(message, 0u);
    EXPECT_EQ(refs::resolve(refs::Kind::message, message), &objects[0]);
    EXPECT_EQ(refs::resolve(refs::Kind::entry, message), nullptr);
    EXPECT_EQ(refs::mint(refs::Kind::message, &objects[0]), message) << "one token per object";
    EXPECT_EQ(refs::retire(refs::Kind::entry, message), nullptr);
    EXPECT_EQ(refs::retire(refs::Kind::message, message), &objects[0]);
    EXPECT_EQ(refs::resolve(refs::Kind::message, message), nullptr);
    EXPECT_EQ(refs::retire(refs::Kind::message, message), nullptr) << "no double release";
    EXPECT_EQ(refs::mint(refs::Kind::message, nullptr), 0u);
}

TEST(TokenTable, FreeingAChainInvalidatesEverythingTakenFromIt)
{
    const std::size_t before = refs::live_count();
    const refs::Token chain = refs::mint(refs::Kind::message, &objects[1]);
    const refs::Token entry = refs::mint(refs::Kind::entry, &objects[2], chain);
    const refs::Token inner = refs::mint(refs::Kind::message, &objects[3], chain);
    // Taken from a message inside the chain: still belongs to the chain.
    const refs::Token deeper = refs::mint(refs::Kind::entry, &objects[4], inner);
    const refs::Token other = refs::mint(refs::Kind::ber_element, &objects[5]);
    EXPECT_EQ(refs::live_count(), before + 5);
    EXPECT_EQ(refs::retire(refs::Kind::message, chain), &objects[1]);
    EXPECT_EQ(refs::resolve(refs::Kind::entry, entry), nullptr);
    EXPECT_EQ(refs::resolve(refs::Kind::message, inner), nullptr);
    EXPECT_EQ(refs::resolve(refs::Kind::entry, deeper), nullptr);
    EXPECT_EQ(refs::resolve(refs::Kind::ber_element, other), &objects[5]);
    refs::retire(refs::Kind::ber_element, other);
    EXPECT_EQ(refs::live_count(), before);
}

TEST(TokenTable, ReleasedTokensAreNotHandedOutAgainSoon)
{
    std::set<refs::Token> seen;
    for (int round = 0; round < 1000; ++round) {
        const refs::Token token = refs::mint(refs::Kind::entry, &objects[6]);
        EXPECT_TRUE(seen.insert(token).second) << "token reused after " << round << " rounds";
        refs::retire(refs::Kind::entry, token);
    }
}

TEST(TokenTable, ManyThreadsMintAndRetireWithoutMixingUp)
{
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            static int owned[4][64];
            for (int round = 0; round < 200; ++round) {
                for (int i = 0; i < 64; ++i) {
                    const refs::Token token = refs::mint(refs::Kind::controls, &owned[t][i]);
                    if (refs::resolve(refs::Kind::controls, token) != &owned[t][i] ||
                        refs::retire(refs::Kind::controls, token) != &owned[t][i]) {
                        ++wrong;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

class ReferenceParams : public ::testing::Test {
protected:
    void TearDown() override { kandrel::log::set_enabled(false); }
    ScopedDirectory directory_;
};

TEST_F(ReferenceParams, WrittenReferenceReadsBackAsTheSameObject)
{
    InProcessRequest request({Arg::utf8("")});
    ASSERT_TRUE(refs::set_param(request.info(), 1, refs::Kind::message, &objects[7]));
    const std::string text = request.param(1).utf8();
    ASSERT_EQ(text.size(), refs::kTextLength);
    EXPECT_EQ(text.substr(0, 5), "MESS:");
    void* read = nullptr;
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_EQ(read, &objects[7]);
    refs::retire(refs::Kind::message, refs::mint(refs::Kind::message, &objects[7]));
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read))
        << "a released object must not resolve";
    EXPECT_EQ(read, nullptr);
}

TEST_F(ReferenceParams, NullObjectWritesTheEmptyTextWhichReadsAsNull)
{
    InProcessRequest request({Arg::utf8("x")});
    ASSERT_TRUE(refs::set_param(request.info(), 1, refs::Kind::entry, nullptr));
    EXPECT_TRUE(request.param(1).is_text(""));
    void* read = &objects[0];
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::entry, read));
    EXPECT_EQ(read, nullptr);
}

TEST_F(ReferenceParams, WrongKindIsRefusedAndLoggedWhileDebugging)
{
    InProcessRequest request({Arg::utf8("ENTY:00abcdef")});
    void* read = &objects[0];
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_EQ(read, nullptr);
    EXPECT_FALSE(directory_.log_exists());
    kandrel::log::set_enabled(true);
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_EQ(directory_.log_text(), "Bad pointer type. Required MESS: but passed ENTY:00abcdef.\n");
}

TEST_F(ReferenceParams, ForgedOrMalformedDigitsNeverResolve)
{
    const refs::Token live = refs::mint(refs::Kind::message, &objects[8]);
    InProcessRequest request({Arg::utf8("MESS:1f"), Arg::utf8("MESS:"), Arg::utf8("MESS:zz"),
                              Arg::utf8("MESS:1234567890"), Arg::utf8("MES"),
                              Arg::utf8(text_of(refs::Kind::entry, live))});
    void* read = nullptr;
    // A token nobody minted does not resolve even with the right prefix.
    EXPECT_EQ(refs::resolve(refs::Kind::message, 0x1F), nullptr);
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    // The right prefix and no digits read as null.
    EXPECT_TRUE(refs::get_param(request.info(), 2, true, refs::Kind::message, read));
    EXPECT_EQ(read, nullptr);
    EXPECT_TRUE(refs::get_param(request.info(), 3, true, refs::Kind::message, read));
    EXPECT_EQ(read, nullptr);
    EXPECT_FALSE(refs::get_param(request.info(), 4, true, refs::Kind::message, read));
    EXPECT_FALSE(refs::get_param(request.info(), 5, true, refs::Kind::message, read));
    // A live message token behind an entry prefix is refused by the prefix.
    EXPECT_FALSE(refs::get_param(request.info(), 6, true, refs::Kind::message, read));
    EXPECT_FALSE(refs::get_param(request.info(), 7, true, refs::Kind::message, read)) << "absent";
    refs::retire(refs::Kind::message, live);
}

TEST_F(ReferenceParams, DigitsMayBeAnyCaseAndStopAtTheFirstNonDigit)
{
    const refs::Token token = refs::mint(refs::Kind::controls, &objects[9]);
    char upper[32];
    std::snprintf(upper, sizeof upper, "CTRL:%08X-trailing", token);
    InProcessRequest request({Arg::utf8(upper)});
    void* read = nullptr;
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::controls, read));
    EXPECT_EQ(read, &objects[9]);
    refs::retire(refs::Kind::controls, token);
}

}  // namespace
