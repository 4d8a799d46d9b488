// Typed references: reference texts, the token table behind them, and the
// checks that keep stale or forged references away from the library.
#include <gtest/gtest.h>

#include <atomic>
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

// Stand-ins for host-owned library objects: releasing one counts.
std::atomic<int> released[16];
void count_release(void* object) noexcept { ++released[static_cast<int*>(object) - objects]; }

TEST(TokenTable, ResolvesOnlyLiveObjectsOfTheRightKind)
{
    const refs::Token message = refs::mint_owned(refs::Kind::message, &objects[0], count_release);
    ASSERT_NE(message, 0u);
    EXPECT_EQ(refs::resolve(refs::Kind::message, message).get(), &objects[0]);
    EXPECT_FALSE(refs::resolve(refs::Kind::entry, message));
    EXPECT_EQ(refs::mint_owned(refs::Kind::message, &objects[0], count_release), message)
        << "one token per object";
    EXPECT_FALSE(refs::retire(refs::Kind::entry, message));
    EXPECT_EQ(released[0], 0);
    EXPECT_TRUE(refs::retire(refs::Kind::message, message));
    EXPECT_EQ(released[0], 1) << "released once, the second owner disarmed";
    EXPECT_FALSE(refs::resolve(refs::Kind::message, message));
    EXPECT_FALSE(refs::retire(refs::Kind::message, message)) << "no double release";
    EXPECT_EQ(released[0], 1);
    EXPECT_EQ(refs::mint(refs::Kind::message, nullptr), 0u);
}

TEST(TokenTable, FreeingAChainInvalidatesWhatWasTakenFromItButLeavesBerElementsFreeable)
{
    const std::size_t before = refs::live_count();
    const refs::Token chain = refs::mint_owned(refs::Kind::message, &objects[1], count_release);
    const refs::Token entry = refs::mint(refs::Kind::entry, &objects[2], chain);
    const refs::Token inner = refs::mint(refs::Kind::message, &objects[3], chain);
    // Taken from a message inside the chain: still belongs to the chain.
    const refs::Token deeper = refs::mint(refs::Kind::entry, &objects[4], inner);
    const refs::Token ber = refs::mint_owned(refs::Kind::ber_element, &objects[5], count_release, deeper);
    EXPECT_EQ(refs::live_count(), before + 5);
    EXPECT_TRUE(refs::is_chain_head(chain));
    EXPECT_FALSE(refs::is_chain_head(inner));
    EXPECT_FALSE(refs::retire(refs::Kind::message, inner)) << "a message inside a chain goes with it";
    EXPECT_FALSE(refs::retire(refs::Kind::entry, entry));
    EXPECT_EQ(refs::resolve(refs::Kind::ber_element, ber).get(), &objects[5]);

    EXPECT_TRUE(refs::retire(refs::Kind::message, chain));
    EXPECT_EQ(released[1], 1);
    for (const refs::Token gone : {entry, deeper}) {
        EXPECT_FALSE(refs::resolve(refs::Kind::entry, gone));
    }
    EXPECT_FALSE(refs::resolve(refs::Kind::message, inner));
    EXPECT_FALSE(refs::resolve(refs::Kind::ber_element, ber)) << "its entry's buffer is gone";
    EXPECT_EQ(released[5], 0);
    EXPECT_TRUE(refs::retire(refs::Kind::ber_element, ber)) << "still the host's to free";
    EXPECT_EQ(released[5], 1);
    EXPECT_EQ(refs::live_count(), before);
    EXPECT_EQ(refs::mint(refs::Kind::entry, &objects[2], chain), 0u) << "nothing hangs from a dead chain";
}

TEST(TokenTable, AnObjectFreedWhileInUseIsReleasedWhenTheLastUseEnds)
{
    const refs::Token chain = refs::mint_owned(refs::Kind::message, &objects[6], count_release);
    const refs::Token entry = refs::mint(refs::Kind::entry, &objects[7], chain);
    {
        const refs::Pin in_use = refs::resolve(refs::Kind::entry, entry);
        ASSERT_TRUE(in_use);
        EXPECT_TRUE(refs::retire(refs::Kind::message, chain));
        EXPECT_EQ(released[6], 0) << "an entry of the chain is still being read";
        EXPECT_FALSE(refs::resolve(refs::Kind::entry, entry)) << "but nobody new gets it";
    }
    EXPECT_EQ(released[6], 1);
}

TEST(TokenTable, ASingleControlAndAControlListBothReadAsControls)
{
    const refs::Token list = refs::mint_owned(refs::Kind::controls, &objects[8], count_release);
    const refs::Token single = refs::mint_owned(refs::Kind::control, &objects[9], count_release);
    EXPECT_EQ(refs::resolve(refs::Kind::controls, single).kind(), refs::Kind::control);
    EXPECT_EQ(refs::resolve(refs::Kind::controls, list).kind(), refs::Kind::controls);
    EXPECT_FALSE(refs::resolve(refs::Kind::message, single));
    EXPECT_TRUE(refs::retire(refs::Kind::controls, single));
    EXPECT_TRUE(refs::retire(refs::Kind::controls, list));
    EXPECT_EQ(released[8], 1);
    EXPECT_EQ(released[9], 1);
}

TEST(TokenTable, ReleasedTokensAreNotHandedOutAgainSoon)
{
    std::set<refs::Token> seen;
    for (int round = 0; round < 1000; ++round) {
        const refs::Token token = refs::mint(refs::Kind::session, &objects[10]);
        EXPECT_TRUE(seen.insert(token).second) << "token reused after " << round << " rounds";
        refs::retire(refs::Kind::session, token);
    }
}

TEST(TokenTable, ManyThreadsMintUseAndRetireWithoutMixingUp)
{
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    static int owned[4][64];
    static std::atomic<int> releases{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < 200; ++round) {
                for (int i = 0; i < 64; ++i) {
                    const refs::Token token = refs::mint_owned(
                        refs::Kind::controls, &owned[t][i], [](void*) noexcept { ++releases; });
                    if (refs::resolve(refs::Kind::controls, token).get() != &owned[t][i] ||
                        !refs::retire(refs::Kind::controls, token)) {
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
    EXPECT_EQ(releases.load(), 4 * 200 * 64);
}

class ReferenceParams : public ::testing::Test {
protected:
    void TearDown() override { kandrel::log::set_enabled(false); }
    ScopedDirectory directory_;
};

TEST_F(ReferenceParams, WrittenReferenceReadsBackAsTheSameObject)
{
    InProcessRequest request({Arg::utf8("")});
    ASSERT_TRUE(refs::hand_out(request.info(), 1, refs::Kind::message, &objects[11], count_release));
    const std::string text = request.param(1).utf8();
    ASSERT_EQ(text.size(), refs::kTextLength);
    EXPECT_EQ(text.substr(0, 5), "MESS:");
    refs::Pin read;
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_EQ(read.get(), &objects[11]);
    read = refs::Pin();
    refs::retire(refs::Kind::message, refs::mint(refs::Kind::message, &objects[11]));
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read))
        << "a released object must not resolve";
    EXPECT_FALSE(read);
}

TEST_F(ReferenceParams, AnObjectThatCannotBeHandedOutIsReleasedAtOnce)
{
    InProcessRequest request;
    const int before = released[12];
    EXPECT_FALSE(refs::hand_out(request.info(), 3, refs::Kind::controls, &objects[12], count_release))
        << "parameter 3 is absent";
    EXPECT_EQ(released[12], before + 1);
}

TEST_F(ReferenceParams, NullObjectWritesTheEmptyTextWhichReadsAsNull)
{
    InProcessRequest request({Arg::utf8("x")});
    ASSERT_TRUE(refs::set_param(request.info(), 1, refs::Kind::entry, nullptr));
    EXPECT_TRUE(request.param(1).is_text(""));
    refs::Pin read;
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::entry, read));
    EXPECT_FALSE(read);
}

TEST_F(ReferenceParams, WrongKindIsRefusedAndLoggedWhileDebugging)
{
    InProcessRequest request({Arg::utf8("ENTY:00abcdef")});
    refs::Pin read;
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_FALSE(read);
    EXPECT_FALSE(directory_.log_exists());
    kandrel::log::set_enabled(true);
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    EXPECT_EQ(directory_.log_text(), "Bad pointer type. Required MESS: but passed ENTY:00abcdef.\n");
}

TEST_F(ReferenceParams, ForgedOrMalformedDigitsNeverResolve)
{
    const refs::Token live = refs::mint_owned(refs::Kind::message, &objects[13], count_release);
    char nine_digits[32];
    std::snprintf(nine_digits, sizeof nine_digits, "MESS:0%08x", live);
    InProcessRequest request({Arg::utf8("MESS:1f"), Arg::utf8("MESS:"), Arg::utf8("MESS:zz"),
                              Arg::utf8("MESS:1234567890"), Arg::utf8("MES"),
                              Arg::utf8(text_of(refs::Kind::entry, live)), Arg::utf8(nine_digits)});
    refs::Pin read;
    // A token nobody minted does not resolve even with the right prefix.
    EXPECT_FALSE(refs::resolve(refs::Kind::message, 0x1F));
    EXPECT_FALSE(refs::get_param(request.info(), 1, true, refs::Kind::message, read));
    // The right prefix and no digits read as null.
    EXPECT_TRUE(refs::get_param(request.info(), 2, true, refs::Kind::message, read));
    EXPECT_FALSE(read);
    EXPECT_TRUE(refs::get_param(request.info(), 3, true, refs::Kind::message, read));
    EXPECT_FALSE(read);
    EXPECT_FALSE(refs::get_param(request.info(), 4, true, refs::Kind::message, read));
    EXPECT_FALSE(refs::get_param(request.info(), 5, true, refs::Kind::message, read));
    // A live message token behind an entry prefix is refused by the prefix.
    EXPECT_FALSE(refs::get_param(request.info(), 6, true, refs::Kind::message, read));
    // Nine digits are never a token, even when the first is a zero.
    EXPECT_FALSE(refs::get_param(request.info(), 7, true, refs::Kind::message, read));
    EXPECT_FALSE(refs::get_param(request.info(), 8, true, refs::Kind::message, read)) << "absent";
    refs::retire(refs::Kind::message, live);
}

TEST(ReferenceDigits, EightDigitsReadAsTheirValueAndAnythingElseInTheirPlaceIsRefused)
{
    // Each digit character in each of the eight places, against the value it
    // stands for there.
    const std::u32string digits = U"0123456789abcdefABCDEF";
    for (std::size_t place = 0; place < 8; ++place) {
        for (std::size_t d = 0; d < digits.size(); ++d) {
            std::u32string text = U"MESS:00000000";
            text[5 + place] = digits[d];
            refs::Token token = 0;
            const refs::Token value = static_cast<refs::Token>(d < 16 ? d : d - 6) << (4 * (7 - place));
            EXPECT_TRUE(refs::read_token(InProcessRequest({Arg::text(text)}).info(), 1, false,
                                         refs::Kind::message, token));
            EXPECT_EQ(token, value) << "digit " << d << " at " << place;
        }
    }
    refs::Token token = 0;
    EXPECT_TRUE(refs::read_token(InProcessRequest({Arg::utf8("MESS:fEdCbA98")}).info(), 1, true,
                                 refs::Kind::message, token));
    EXPECT_EQ(token, 0xFEDCBA98u);
    // The neighbours of the digit ranges, and characters whose low bits
    // look like a digit, read as the digits before them.
    const char32_t others[] = {U'/', U':', U'@', U'G', U'`', U'g', 0x10, 0x130, 0x660, 0xFF10, 0x10030};
    for (const char32_t other : others) {
        for (std::size_t place = 0; place < 8; ++place) {
            std::u32string text = U"MESS:ffffffff";
            text[5 + place] = other;
            EXPECT_TRUE(refs::read_token(InProcessRequest({Arg::text(text)}).info(), 1, false,
                                         refs::Kind::message, token));
            EXPECT_EQ(token, place == 0 ? 0u : 0xFFFFFFFFu >> (32 - 4 * place))
                << "character " << static_cast<std::uint32_t>(other) << " at " << place;
        }
    }
}

TEST_F(ReferenceParams, DigitsMayBeAnyCaseAndStopAtTheFirstNonDigit)
{
    const refs::Token token = refs::mint_owned(refs::Kind::controls, &objects[14], count_release);
    char upper[32];
    std::snprintf(upper, sizeof upper, "CTRL:%08X-trailing", token);
    InProcessRequest request({Arg::utf8(upper)});
    refs::Pin read;
    EXPECT_TRUE(refs::get_param(request.info(), 1, true, refs::Kind::controls, read));
    EXPECT_EQ(read.get(), &objects[14]);
    refs::retire(refs::Kind::controls, token);
}

}  // namespace
