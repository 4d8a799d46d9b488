// Reading parameters and writing results through the host's items.
#include <gtest/gtest.h>

#include "kandrel_test_support.h"
#include "parameters.h"

namespace {

using kandrel_test::InProcessRequest;
using testhost::Arg;
namespace params = kandrel::params;

TEST(CountParams, CountsOnlyTheUnbrokenRunFromOne)
{
    InProcessRequest request({Arg::integer(1), Arg::integer(2), Arg::absent(), Arg::integer(4)});
    EXPECT_EQ(params::count(request.info()), 2);
    InProcessRequest none;
    EXPECT_EQ(params::count(none.info()), 0);
}

TEST(ReadParams, AbsentParametersAreNotErrors)
{
    InProcessRequest request({Arg::integer(5)});
    std::int32_t number = 0;
    EXPECT_FALSE(params::get_int(request.info(), 2, number, 7));
    EXPECT_EQ(number, 7);
    bool flag = true;
    EXPECT_FALSE(params::get_bool(request.info(), 2, flag));
    EXPECT_TRUE(flag);
    params::Text text;
    EXPECT_FALSE(params::get_string(request.info(), 2, true, text, true));
    EXPECT_EQ(text, nullptr);
    EXPECT_TRUE(params::get_string(request.info(), 2, true, text, false));
    EXPECT_STREQ(text.get(), "");
}

TEST(ReadParams, BooleansAreNonZeroIntegers)
{
    InProcessRequest request({Arg::integer(-3), Arg::boolean(false)});
    bool flag = false;
    EXPECT_TRUE(params::get_bool(request.info(), 1, flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(params::get_bool(request.info(), 2, flag));
    EXPECT_FALSE(flag);
}

TEST(ReadParams, TextFollowsTheObjectsEncoding)
{
    InProcessRequest request({Arg::text(U"\u20AC")});
    params::Text text;
    ASSERT_TRUE(params::get_string(request.info(), 1, false, text, false));
    EXPECT_STREQ(text.get(), "\x80");
    ASSERT_TRUE(params::get_string(request.info(), 1, true, text, false));
    EXPECT_STREQ(text.get(), "\xE2\x82\xAC");
}

TEST(ReadParams, TextThatCannotBeUtf8ReadsAsAbsent)
{
    InProcessRequest request({Arg::text(std::u32string(1, char32_t{0xD800}))});
    params::Text text;
    EXPECT_FALSE(params::get_string(request.info(), 1, true, text, true));
    EXPECT_EQ(text, nullptr);
    ASSERT_TRUE(params::get_string(request.info(), 1, true, text, false));
    EXPECT_STREQ(text.get(), "");
}

TEST(ReadParams, ListsDropEmptyPiecesAndEndWithNull)
{
    InProcessRequest request({Arg::utf8("a,,b,"), Arg::utf8(""), Arg::utf8(",,")});
    params::TextList list;
    ASSERT_TRUE(params::get_string_list(request.info(), 1, true, list, true));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list.get()[0], "a");
    EXPECT_STREQ(list.get()[1], "b");
    EXPECT_EQ(list.get()[2], nullptr);
    EXPECT_TRUE(params::get_string_list(request.info(), 2, true, list, true));
    EXPECT_EQ(list.get(), nullptr);
    ASSERT_TRUE(params::get_string_list(request.info(), 3, true, list, true));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_FALSE(params::get_string_list(request.info(), 4, true, list, true));
}

TEST(WriteParams, ReturnValueIsAppendedAndParametersAreChangedInPlace)
{
    InProcessRequest request({Arg::integer(1), Arg::integer(2), Arg::integer(3)});
    const std::size_t host_items = request.host_items();
    EXPECT_TRUE(params::set_int(request.info(), 3, 42));
    EXPECT_EQ(request.component_items(), 0u);
    EXPECT_TRUE(request.changed(3));
    EXPECT_FALSE(request.changed(2));
    EXPECT_EQ(request.param(3).integer, 42);
    EXPECT_TRUE(params::set_int(request.info(), 0, 9));
    EXPECT_EQ(request.component_items(), 1u);
    EXPECT_EQ(request.result()->integer, 9);
    EXPECT_FALSE(params::set_int(request.info(), 5, 1));
    params::release_results(request.info());
    EXPECT_EQ(request.component_items(), 0u);
    EXPECT_EQ(request.host_items(), host_items);
}

TEST(WriteParams, StringsAndListsAreWrittenInTheObjectsEncoding)
{
    InProcessRequest request({Arg::utf8("old")});
    ASSERT_TRUE(params::set_string(request.info(), 1, false, "\x80x"));
    EXPECT_EQ(request.param(1).text, U"\u20ACx");
    ASSERT_TRUE(params::set_string(request.info(), 1, true, "\xE2\x82\xAC"));
    EXPECT_EQ(request.param(1).text, U"\u20AC");
    // Bytes that are not UTF-8 become the empty text, not garbage.
    ASSERT_TRUE(params::set_string(request.info(), 1, true, "\xC0\x80"));
    EXPECT_TRUE(request.param(1).is_text(""));
    char x[] = "x";
    char y[] = "y";
    char* list[] = {x, y, nullptr, x};
    ASSERT_TRUE(params::set_string_list(request.info(), 1, true, list, 4));
    EXPECT_TRUE(request.param(1).is_text("x,y"));
    ASSERT_TRUE(params::set_string_list(request.info(), 1, true, list, 0));
    EXPECT_TRUE(request.param(1).is_text(""));
    ASSERT_TRUE(params::set_string_list(request.info(), 1, true, nullptr, 3));
    EXPECT_TRUE(request.param(1).is_text(""));
    // Past the first few dozen pieces every piece still keeps its own length.
    std::vector<std::string> pieces;
    std::vector<char*> many;
    std::string joined;
    for (int i = 0; i < 40; ++i) {
        pieces.push_back(std::string(static_cast<std::size_t>(i % 7 + 1), static_cast<char>('a' + i % 26)));
    }
    for (std::string& piece : pieces) {
        many.push_back(piece.data());
        joined += (joined.empty() ? "" : ",") + piece;
    }
    ASSERT_TRUE(params::set_string_list(request.info(), 1, false, many.data(), many.size()));
    EXPECT_TRUE(request.param(1).is_text(joined));
    params::release_results(request.info());
}

TEST(WriteParams, BinaryKeepsEveryByte)
{
    InProcessRequest request;
    const unsigned char bytes[] = {0, 1, 0xFF, 0};
    ASSERT_TRUE(params::set_binary(request.info(), 0, bytes, sizeof bytes));
    const auto result = request.result();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->type, HOST_TYPE_BINARY);
    EXPECT_EQ(result->binary, std::vector<std::uint8_t>(bytes, bytes + 4));
    params::release_results(request.info());
}

TEST(ReturnCodes, ReturnCodeAnswersTheCodeAndReturnResultAnswersZero)
{
    InProcessRequest request;
    EXPECT_EQ(params::return_code(request.info(), -101), -101);
    EXPECT_EQ(request.result()->integer, -101);
    params::release_results(request.info());
    EXPECT_EQ(params::return_result(request.info(), 17), 0);
    EXPECT_EQ(request.result()->integer, 17);
    params::release_results(request.info());
}

TEST(ReleaseResults, ItemsTheHostMarkedAsTheComponentsAreNotFreed)
{
    InProcessRequest request({Arg::integer(1)});
    // A host item that wrongly carries the component's mark stays the host's.
    request.info()->items->next->flags |= HOST_ITEM_MADE_BY_COMPONENT;
    params::set_int(request.info(), 0, 1);
    params::release_results(request.info());
    EXPECT_EQ(request.host_items(), 1u);
    EXPECT_EQ(request.component_items(), 1u);
    request.info()->items->next->flags = 0;
}

TEST(ReleaseResults, AnItemReleasedOnceIsNeverTakenBackAgain)
{
    InProcessRequest request;
    ASSERT_TRUE(params::set_int(request.info(), 0, 1));
    HostItem* stale = request.info()->items;
    while (stale->next != nullptr) {
        stale = stale->next;
    }
    params::release_results(request.info());
    // A host fault: the released item comes back in a later list. It is no
    // longer the component's, so it stays where the host put it.
    HostItem* last = request.info()->items;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = stale;
    stale->next = nullptr;
    params::release_results(request.info());
    EXPECT_EQ(last->next, stale);
    last->next = nullptr;
    // Taken back twice, it would be handed out twice: two results of one
    // request would be the same item, and the list would loop.
    ASSERT_TRUE(params::set_int(request.info(), 0, 2));
    ASSERT_TRUE(params::set_int(request.info(), 0, 3));
    EXPECT_EQ(request.component_items(), 2u);
    params::release_results(request.info());
    EXPECT_EQ(request.component_items(), 0u);
}

TEST(ReleaseResults, ALoopingItemListDoesNotHang)
{
    InProcessRequest request({Arg::integer(1)});
    HostItem* first = request.info()->items;
    HostItem* second = first->next;
    second->next = first;  // a host fault
    EXPECT_EQ(params::find_item(request.info(), 9), nullptr);
    EXPECT_FALSE(params::set_int(request.info(), 0, 1));
    params::release_results(request.info());
    second->next = nullptr;
}

}  // namespace
