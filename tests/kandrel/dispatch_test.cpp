// Every message the host sends, and the life of objects: create, copy,
// delete, and method calls routed by (group key, instance).
#include <gtest/gtest.h>

#include "kandrel_test_support.h"

namespace {

using kandrel_test::fresh_instance;
using kandrel_test::HostTest;
using testhost::Arg;

class Dispatch : public HostTest {};

TEST_F(Dispatch, ConstantAnswersAndDefaultProcessing)
{
    EXPECT_EQ(host_.message(HOSTMSG_VERSION_QUERY).answer, 5310426);
    EXPECT_EQ(host_.message(HOSTMSG_ANSWER_ONE).answer, 1);
    EXPECT_EQ(host_.message(HOSTMSG_ANSWER_ZERO).answer, 0);
    EXPECT_EQ(host_.message(HOSTMSG_RELEASE_RESULTS).answer, 1);
    EXPECT_EQ(host_.message(0x20000).answer, 0);
    EXPECT_EQ(host_.message(0x7FFF0000).answer, 0);
    // Below 0x10000 the host's default procedure answers.
    EXPECT_EQ(host_.message(0x0001).answer, testhost::default_answer(0x0001));
    EXPECT_EQ(host_.message(0xFFFF).answer, testhost::default_answer(0xFFFF));
}

TEST_F(Dispatch, ConnectAndDisconnectAnswerTheirConstants)
{
    EXPECT_EQ(host_.connect(), 525);
    EXPECT_EQ(host_.connect(), 525);
    EXPECT_EQ(host_.disconnect(), 1);
    EXPECT_EQ(host_.disconnect(), 1);
}

TEST_F(Dispatch, ObjectMessagesForUnknownInstancesAnswerZeroAndChangeNothing)
{
    const HostLParam nobody = fresh_instance();
    testhost::Reply reply = host_.call(nobody, kandrel_test::kGetAtt);
    EXPECT_EQ(reply.answer, 0);
    EXPECT_EQ(reply.component_items, 0u);
    EXPECT_EQ(host_.get_property(nobody, kandrel_test::kPropUtf8).answer, 0);
    EXPECT_EQ(host_.set_property(nobody, kandrel_test::kPropUtf8, Arg::boolean(false)).answer, 0);
    EXPECT_EQ(host_.can_assign(nobody, kandrel_test::kPropUtf8), 0);
    EXPECT_EQ(host_.message(HOSTMSG_PROPERTY_OTHER, 1001, {}, nobody).answer, 0);
    EXPECT_EQ(host_.destroy(nobody), 0);
    EXPECT_EQ(host_.copy(nobody, fresh_instance()), 0);
}

TEST_F(Dispatch, MethodsOutsideTheTableAnswerMinus101AndEveryMethodInItIsBuilt)
{
    const HostLParam instance = fresh_instance();
    ASSERT_EQ(host_.create(instance), 1);
    for (std::int32_t id = 2000; id <= 2034; ++id) {
        EXPECT_NE(host_.call(instance, id).answer, -101) << id;
    }
    for (const std::int32_t id : {1999, 2035, 0, 2100}) {
        testhost::Reply reply = host_.call(instance, id);
        EXPECT_EQ(reply.answer, -101) << id;
        ASSERT_TRUE(reply.result) << id;
        EXPECT_EQ(reply.result->integer, -101);
        EXPECT_EQ(reply.left_after_release, 0u);
    }
    // Only the low 16 bits of the id select the method.
    testhost::Reply reply = host_.call(instance, 0x10000 + kandrel_test::kGetAtt,
                                       {Arg::utf8("a: b"), Arg::utf8("a")});
    EXPECT_EQ(reply.answer, 1);
    EXPECT_TRUE(reply.result->is_text("b"));
    EXPECT_EQ(host_.destroy(instance), 0);
}

TEST_F(Dispatch, OnlyTheSessionClassGetsObjects)
{
    const HostLParam instance = fresh_instance();
    EXPECT_EQ(host_.create(instance, 1002), 1);
    EXPECT_EQ(host_.call(instance, kandrel_test::kGetAtt).answer, 0);
}

TEST_F(Dispatch, ASecondCreateKeepsTheFirstObject)
{
    const HostLParam instance = fresh_instance();
    ASSERT_EQ(host_.create(instance), 1);
    host_.set_property(instance, kandrel_test::kPropUtf8, Arg::boolean(false));
    EXPECT_EQ(host_.create(instance), 1);
    EXPECT_EQ(host_.get_property(instance, kandrel_test::kPropUtf8).result->integer, 0);
    host_.destroy(instance);
}

TEST_F(Dispatch, GroupKeyZeroReachesObjectsOfAnyGroup)
{
    const HostLParam instance = fresh_instance();
    host_.set_group_key(31);
    ASSERT_EQ(host_.create(instance), 1);
    host_.set_group_key(32);
    EXPECT_EQ(host_.call(instance, kandrel_test::kGetAtt).answer, 0);
    host_.set_group_key(0);
    EXPECT_EQ(host_.call(instance, kandrel_test::kGetAtt).answer, 1);
    EXPECT_EQ(host_.destroy(instance), 0);
    host_.set_group_key(31);
    EXPECT_EQ(host_.call(instance, kandrel_test::kGetAtt).answer, 0) << "deleted through key 0";
}

TEST_F(Dispatch, CopyOntoANewInstanceRegistersAClone)
{
    const HostLParam source = fresh_instance();
    const HostLParam target = fresh_instance();
    host_.create(source);
    host_.set_property(source, kandrel_test::kPropUtf8, Arg::boolean(false));
    EXPECT_EQ(host_.copy(source, target), 0);
    EXPECT_EQ(host_.get_property(target, kandrel_test::kPropUtf8).result->integer, 0);
    // The clone is an object of its own.
    host_.set_property(source, kandrel_test::kPropUtf8, Arg::boolean(true));
    EXPECT_EQ(host_.get_property(target, kandrel_test::kPropUtf8).result->integer, 0);
    host_.destroy(source);
    EXPECT_EQ(host_.get_property(target, kandrel_test::kPropUtf8).answer, 1);
    host_.destroy(target);
}

TEST_F(Dispatch, CopyOntoAnExistingInstanceAssignsIntoIt)
{
    const HostLParam source = fresh_instance();
    const HostLParam target = fresh_instance();
    host_.create(source);
    host_.create(target);
    host_.set_property(source, kandrel_test::kPropUtf8, Arg::boolean(false));
    EXPECT_EQ(host_.copy(source, target), 0);
    EXPECT_EQ(host_.get_property(target, kandrel_test::kPropUtf8).result->integer, 0);
    EXPECT_EQ(host_.copy(target, target), 0) << "copying onto itself changes nothing";
    EXPECT_EQ(host_.get_property(target, kandrel_test::kPropUtf8).result->integer, 0);
    host_.destroy(source);
    host_.destroy(target);
}

TEST_F(Dispatch, MessagesWithoutACallRecordOrCopyPairDoNotCrash)
{
    EXPECT_EQ(component_.send(HOSTMSG_VERSION_QUERY, 0, 0, nullptr), 5310426);
    EXPECT_EQ(component_.send(HOSTMSG_METHOD_CALL, 0, fresh_instance(), nullptr), 0);
    EXPECT_EQ(component_.send(HOSTMSG_RELEASE_RESULTS, 0, 0, nullptr), 1);
    EXPECT_EQ(component_.send(HOSTMSG_LIBRARY_NAME, 0, 0, nullptr), -1) << "nowhere to deliver the name";
    EXPECT_EQ(component_.send(HOSTMSG_CLASS_TABLE, 0, 0, nullptr), 0) << "nor the class table";
    testhost::Request request(1001, 7, 0, {}, false);
    EXPECT_EQ(component_.send(HOSTMSG_OBJECT_COPY, 0, 0, request.info()), 0);
}

TEST_F(Dispatch, ReleaseResultsFreesExactlyTheComponentsItems)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    testhost::Request request(1001, 7, kandrel_test::kAddAtt,
                              {Arg::utf8(""), Arg::utf8("cn"), Arg::utf8("x")});
    const std::size_t values = testhost::live_values();
    EXPECT_EQ(component_.send(HOSTMSG_METHOD_CALL, 0, instance, request.info()), 0);
    EXPECT_EQ(request.component_items(), 1u);
    EXPECT_EQ(testhost::live_values(), values + 1);
    EXPECT_EQ(component_.send(HOSTMSG_RELEASE_RESULTS, 0, 0, request.info()), 1);
    EXPECT_EQ(request.component_items(), 0u);
    EXPECT_EQ(request.host_items(), 4u);
    EXPECT_EQ(testhost::live_values(), values);
    host_.destroy(instance);
}

}  // namespace
