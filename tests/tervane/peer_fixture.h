// Fixture for Tervane tests: a loopback peer and a handle bound to it through
// the real LDAP client library.
#ifndef TESTS_TERVANE_PEER_FIXTURE_H
#define TESTS_TERVANE_PEER_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ber_text.h"
#include "operation_names.h"
#include "test_peer.h"
#include "tervane.h"

#define ADMIN_OID(arc) LDAPEXT_ADMIN_OID(arc)
#define LBURP_OID(arc) LDAPEXT_BULK_OID(arc)

// A message from ldap_result(), released unless handed on.
struct Message {
    LDAPMessage* message = nullptr;
    Message() = default;
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    ~Message() { ldap_msgfree(message); }
    LDAPMessage* release() { return std::exchange(message, nullptr); }
};

// The next message of msgid, as an application collects it; fails the test
// unless it has the expected type.
inline void receive(LDAP* ld, int msgid, int expected_type, Message& into)
{
    timeval timeout{5, 0};
    ASSERT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &into.message), expected_type);
}

class PeerTest : public ::testing::Test {
protected:
    testpeer::TestPeer peer;
    testpeer::LdapHandle ld{peer.connect()};

    // The last request's value, rendered; "<none>" when it had no value.
    std::string sent_value()
    {
        auto request = peer.last_request();
        return request.value ? bertext::render(*request.value) : "<none>";
    }
    std::string sent_name() { return peer.last_request().name; }
    std::size_t request_count() { return peer.requests().size(); }

    void reply_value(const std::string& value) { peer.reply(testpeer::Reply::with_value(value)); }
    // Answers every request from now on with this value and the pairing name
    // (for loops in which some runs fail before anything is sent).
    void always_reply_value(const std::string& value)
    {
        peer.set_responder([value](const testpeer::Request&) { return testpeer::Reply::with_value(value); });
    }
    void reply_named(const std::string& name, std::optional<std::string> value = std::nullopt)
    {
        peer.reply(testpeer::Reply::success_named(name, std::move(value)));
    }
    void reply_error(int code, std::optional<std::string> name = std::nullopt)
    {
        auto reply = testpeer::Reply::error(code);
        reply.name = std::move(name);
        peer.reply(reply);
    }
};

#endif
