// A loopback LDAP peer for tests: it accepts simple binds, records every
// extended request it receives and answers each from a per-test script. The
// client side of every test is the real LDAP client library.
#ifndef TESTS_SUPPORT_TEST_PEER_H
#define TESTS_SUPPORT_TEST_PEER_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ldap_client.h"

namespace testpeer {

// An intermediate response sent before the final answer.
struct Intermediate {
    std::optional<std::string> name;
    std::optional<std::string> value;
};

// How the peer answers one extended request.
struct Reply {
    int result_code = 0;
    // Absent: the response carries no name. Use default_name() for the name
    // that pairs with the request.
    std::optional<std::string> name;
    // Send the name that pairs with the request (overrides name).
    bool pair_name = false;
    // Absent: no value. Any bytes, malformed ones included.
    std::optional<std::string> value;
    std::string matched_dn;
    std::string diagnostic;
    std::vector<Intermediate> intermediates;
    // Close the connection instead of answering.
    bool close_connection = false;
    // Send these bytes as the whole LDAPMessage instead of an extended
    // response (the message id is not filled in).
    std::optional<std::string> raw_message;

    static Reply success_named(std::string name, std::optional<std::string> value = std::nullopt);
    static Reply with_value(std::string value);  // result 0, pairing name
    static Reply error(int code);                // no name, no value
};

// The pairing response name: the request name with its last arc plus one.
std::string paired_name(const std::string& request_name);

struct Request {
    int message_id = 0;
    std::string name;
    std::optional<std::string> value;
    bool had_controls = false;
};

// Any operation the peer received: its tag and the whole LDAPMessage.
struct Operation {
    int message_id = 0;
    ber_tag_t tag = 0;
    std::string message;
};

class TestPeer {
public:
    TestPeer();
    ~TestPeer();
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    int port() const { return port_; }
    std::string uri() const;

    // Queues the answer to the next extended request. Without a queued answer
    // the peer answers result 0 with the pairing name and no value.
    void reply(Reply reply);
    // Answers the requests for which no reply is queued.
    void set_responder(std::function<Reply(const Request&)> responder);
    // Every extended request received so far, in order.
    std::vector<Request> requests();
    // The last extended request; fails the test when there is none.
    Request last_request();
    // Every operation received so far (binds, searches, unbinds, ...), in
    // order. A search is answered with an empty result (code 0), unless
    // answer_searches(false) was called.
    std::vector<Operation> operations();
    void answer_searches(bool answer);
    // Waits until at least count connections were closed by either side.
    bool wait_for_closed_connections(std::size_t count,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until at least count extended requests arrived.
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // A handle bound to this peer (protocol version 3, simple bind).
    LDAP* connect();

    // Answers the standard update operations (add, delete, modify, modify
    // DN) with success, as a directory server would, instead of ignoring
    // them; for comparisons with the standard tools.
    void answer_updates(bool on);
    // Standard update operations answered so far.
    std::size_t updates_answered();
    // Message ids of the abandon requests received so far, in order.
    std::vector<int> abandoned();
    // The DN and password of every simple bind received so far, in order.
    std::vector<std::pair<std::string, std::string>> binds();

private:
    void serve();
    bool handle_message(int fd, const std::string& message);
    void answer_extended(int fd, int message_id, const Request& request);

    int listen_fd_ = -1;
    int wake_fd_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Reply> script_;
    std::function<Reply(const Request&)> responder_;
    std::vector<Request> requests_;
    std::vector<Operation> operations_;
    std::size_t closed_connections_ = 0;
    bool answer_searches_ = true;
    bool answer_updates_ = false;
    std::size_t updates_answered_ = 0;
    std::vector<int> abandoned_;
    std::vector<std::pair<std::string, std::string>> binds_;
};

// Owner of a handle from TestPeer::connect().
struct LdapHandle {
    LDAP* ld = nullptr;
    explicit LdapHandle(LDAP* handle) : ld(handle) {}
    ~LdapHandle();
    LdapHandle(const LdapHandle&) = delete;
    LdapHandle& operator=(const LdapHandle&) = delete;
    operator LDAP*() const { return ld; }
};

// The handle's error number (LDAP_OPT_RESULT_CODE).
int handle_error(LDAP* ld);
void set_handle_error(LDAP* ld, int code);

}  // namespace testpeer

#endif
