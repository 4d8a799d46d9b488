// $session, $utf8 and $debug: which are shared, which are per object, and
// which can be assigned.
#include <gtest/gtest.h>

#include "kandrel_test_support.h"

namespace {

using kandrel_test::fresh_instance;
using kandrel_test::HostTest;
using testhost::Arg;

class Properties : public HostTest {
protected:
    void TearDown() override
    {
        set_debug(false);
        HostTest::TearDown();
    }
    std::int32_t read(HostLParam instance, std::int32_t property)
    {
        testhost::Reply reply = host_.get_property(instance, property);
        EXPECT_EQ(reply.answer, 1);
        EXPECT_EQ(reply.left_after_release, 0u);
        return reply.result ? reply.result->integer : -1;
    }
};

TEST_F(Properties, ANewObjectHasUtf8OnAndNoSession)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    EXPECT_EQ(read(instance, kandrel_test::kPropUtf8), 1);
    EXPECT_EQ(read(instance, kandrel_test::kPropSession), 0);
    EXPECT_EQ(read(instance, kandrel_test::kPropDebug), 0);
    host_.destroy(instance);
}

TEST_F(Properties, DebugIsSharedByAllObjectsAndUtf8IsPerObject)
{
    const HostLParam first = fresh_instance();
    const HostLParam second = fresh_instance();
    host_.create(first);
    host_.create(second);
    EXPECT_EQ(host_.set_property(first, kandrel_test::kPropDebug, Arg::boolean(true)).answer, 1);
    EXPECT_EQ(read(second, kandrel_test::kPropDebug), 1);
    EXPECT_EQ(host_.set_property(second, kandrel_test::kPropUtf8, Arg::integer(0)).answer, 1);
    EXPECT_EQ(read(second, kandrel_test::kPropUtf8), 0);
    EXPECT_EQ(read(first, kandrel_test::kPropUtf8), 1);
    host_.destroy(first);
    host_.destroy(second);
}

TEST_F(Properties, OnlyUtf8AndDebugCanBeAssigned)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    EXPECT_EQ(host_.can_assign(instance, kandrel_test::kPropSession), 0);
    EXPECT_EQ(host_.can_assign(instance, kandrel_test::kPropUtf8), 1);
    EXPECT_EQ(host_.can_assign(instance, kandrel_test::kPropDebug), 1);
    EXPECT_EQ(host_.can_assign(instance, 2103), 0);
    testhost::Reply refused = host_.set_property(instance, kandrel_test::kPropSession, Arg::boolean(true));
    EXPECT_EQ(refused.answer, 0);
    EXPECT_EQ(read(instance, kandrel_test::kPropSession), 0);
    EXPECT_EQ(host_.set_property(instance, 2103, Arg::boolean(true)).answer, 0);
    host_.destroy(instance);
}

TEST_F(Properties, AssignmentWithoutAValueLeavesTheFlag)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    EXPECT_EQ(host_.set_property(instance, kandrel_test::kPropUtf8, Arg::absent()).answer, 1);
    EXPECT_EQ(read(instance, kandrel_test::kPropUtf8), 1);
    host_.destroy(instance);
}

TEST_F(Properties, UnknownPropertiesAndOtherMessagesAnswerZeroWithoutAValue)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    testhost::Reply reply = host_.get_property(instance, 2103);
    EXPECT_EQ(reply.answer, 0);
    EXPECT_EQ(reply.component_items, 0u);
    EXPECT_EQ(host_.message(HOSTMSG_PROPERTY_OTHER, 1001, {}, instance).answer, 0);
    host_.destroy(instance);
}

}  // namespace
