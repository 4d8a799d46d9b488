// A stand-in directory server for the demo: the loopback test peer with
// plausible answers to the administration extensions the demo calls. Writes
// its port to the file given with --port-file and serves until killed.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "ber_text.h"
#include "test_peer.h"

namespace d = der;
using testpeer::Reply;
using testpeer::Request;

namespace {

const std::string kAdmin = "2.16.840.1.113719.1.27.100.";
const std::string kBulk = "2.16.840.1.113719.1.142.100.";

// The first OCTET STRING of a request value (the server DN of a replica
// query).
std::string first_string(const std::string& request_value)
{
    if (request_value.empty())
        return std::string();
    berval bytes{static_cast<ber_len_t>(request_value.size()), const_cast<char*>(request_value.data())};
    BerElement* ber = ber_init(&bytes);
    berval text{};
    std::string first;
    if (ber != nullptr && ber_scanf(ber, "m", &text) != LBER_ERROR)
        first.assign(text.bv_val, text.bv_len);
    ber_free(ber, 1);
    return first;
}

std::string replica_info(const std::string& server)
{
    // replica type, state, number, flags, timestamp; server; two counters.
    // The first replica is the master copy, the others read-write copies.
    auto digit = server.find_first_of("0123456789");
    int number = digit == std::string::npos ? 0 : server[digit] - '0';
    return d::concat({d::integer(number == 1 ? 0 : 1), d::integer(0), d::integer(number), d::integer(0),
                      d::integer(1765000000), d::octets(server), d::integer(3), d::integer(42)});
}

// Event notifications of a few kinds, as a directory server would report a
// changed entry, a login and a replica status.
std::vector<testpeer::Intermediate> event_notifications()
{
    std::string notification = kAdmin + "81";
    // SEQUENCE { INTEGER event type, INTEGER result, [APPLICATION n] data }
    auto event = [&](int type, int result, const std::string& data) {
        return testpeer::Intermediate{notification, d::element(0x30, d::integer(type) + d::integer(result) + data)};
    };
    std::string entry_event = d::element(0x61, d::concat({d::octets("cn=jdoe,o=example"), d::octets("cn=admin,o=example"),
                                                           d::octets("inetOrgPerson"),
                                                           d::sequence({d::integer(1765000100), d::integer(1),
                                                                        d::integer(0)}),
                                                           d::integer(0), d::integer(16), d::octets("mail")}));
    std::string login_event = d::element(0x72, d::concat({d::integer(1765000200), d::integer(0),
                                                          d::octets("cn=jdoe,o=example")}));
    std::string replica_event = d::element(0x65, d::concat({d::octets("o=example"), d::integer(2), d::integer(1),
                                                            d::integer(4), d::octets("cn=ldap2,o=example")}));
    return {event(1, 0, entry_event), event(12, 0, login_event), event(27, 0, replica_event)};
}

std::string accepted_events(const std::string& request_value)
{
    // The request is SEQUENCE { count, SET { SEQUENCE { type, status } ... } }:
    // accept everything that was asked for by echoing it.
    return request_value;
}

std::string lburp_results(const std::string& request_value)
{
    // SEQUENCE { INTEGER sequence number, SEQUENCE { operation } ... }: one
    // result per operation of the batch, numbered from 1.
    std::size_t operations = 0;
    berval bytes{static_cast<ber_len_t>(request_value.size()), const_cast<char*>(request_value.data())};
    if (!request_value.empty()) {
        BerElement* ber = ber_init(&bytes);
        ber_int_t sequence_number = 0;
        ber_len_t length = 0;
        if (ber != nullptr && ber_scanf(ber, "{i", &sequence_number) != LBER_ERROR)
            while (ber_peek_tag(ber, &length) == 0x30 && ber_scanf(ber, "x") != LBER_ERROR)
                ++operations;
        ber_free(ber, 1);
    }
    std::string results;
    for (std::size_t i = 1; i <= operations; ++i) {
        int code = i == 2 ? 68 : 0;  // the second entry already exists
        results += d::sequence({d::integer(static_cast<long long>(i)),
                                d::sequence({d::integer(code), d::octets(""),
                                             d::octets(code == 0 ? "" : "entry already exists")})});
    }
    return results;
}

Reply answer(const Request& request)
{
    const std::string& name = request.name;
    std::string value = request.value.value_or("");
    if (name == kAdmin + "31")
        return Reply::with_value(d::octets("cn=admin,o=example"));
    if (name == kAdmin + "13")
        return Reply::with_value(d::integer(1234));
    if (name == kAdmin + "19")
        return Reply::with_value(d::sequence({d::octets("cn=ldap1,o=example"), d::octets("cn=ldap2,o=example"),
                                              d::octets("cn=ldap3,o=example")}));
    if (name == kAdmin + "17")
        return Reply::with_value(replica_info(first_string(value)));
    if (name == kAdmin + "79" || name == kAdmin + "84") {
        Reply reply = Reply::success_named(kAdmin + "80", accepted_events(value));
        reply.intermediates = event_notifications();
        return reply;
    }
    if (name == kBulk + "1")
        return Reply::success_named(kBulk + "2", d::sequence({d::integer(1)}));
    if (name == kBulk + "6")
        return Reply::success_named(kBulk + "7", lburp_results(value));
    if (name == kBulk + "4")
        return Reply::success_named(kBulk + "5");
    Reply unknown = Reply::error(2);  // protocol error: not an operation this stand-in offers
    unknown.diagnostic = "unsupported extended operation";
    return unknown;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* port_file = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--port-file") == 0)
            port_file = argv[i + 1];
    testpeer::TestPeer peer;
    peer.set_responder(answer);
    if (port_file != nullptr) {
        std::ofstream(port_file) << peer.port() << "\n";
    } else {
        std::printf("%s\n", peer.uri().c_str());
        std::fflush(stdout);
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
