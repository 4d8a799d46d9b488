// A stand-in directory server for the demo: the loopback test peer with
// plausible answers to the administration extensions. It keeps a little
// state: entries loaded through the bulk-update stream count in the
// partition's entry count (an entry added twice is refused), and every change
// is journalled and reported as an event to the next monitor request. It
// also answers the standard update operations. Writes its port to the file
// given with --port-file and serves until killed. With --plain it keeps no
// state and answers every bulk batch with success at once (for measuring
// clients against it).
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

#include "ber_text.h"
#include "operation_names.h"
#include "test_peer.h"

namespace d = der;
using testpeer::Reply;
using testpeer::Request;

namespace {

const std::string kAdmin = LDAPEXT_ADMIN_OID();
const std::string kBulk = LDAPEXT_BULK_OID();

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

const std::string kPartition = "o=example";
constexpr int kEntriesBefore = 1234;  // entries the partition holds at start
constexpr std::size_t kJournalLength = 8;

struct Change {
    std::string kind;
    std::string dn;
};

// What the bulk stream changed: the names it added (they count in the
// partition's entries) and the latest changes, for the monitor.
struct Directory {
    std::set<std::string> loaded;
    std::deque<Change> journal;

    void note(std::string kind, std::string dn)
    {
        journal.push_back({std::move(kind), std::move(dn)});
        if (journal.size() > kJournalLength)
            journal.pop_front();
    }
} directory;

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Applies one operation of a batch ([APPLICATION n] { dn, ... }); its result
// code.
int apply(const std::string& operation)
{
    berval bytes{static_cast<ber_len_t>(operation.size()), const_cast<char*>(operation.data())};
    BerElement* ber = ber_init(&bytes);
    if (ber == nullptr)
        return 2;
    ber_len_t length = 0;
    ber_tag_t tag = ber_peek_tag(ber, &length);
    berval dn{}, rdn{};
    int code = 2;
    if (tag == 0x4A ? ber_scanf(ber, "m", &dn) != LBER_ERROR : ber_scanf(ber, "{m", &dn) != LBER_ERROR) {
        std::string name = lower(std::string(dn.bv_val, dn.bv_len));
        code = 0;
        if (tag == 0x68) {
            if (!directory.loaded.insert(name).second)
                code = 68;
            else
                directory.note("add", std::string(dn.bv_val, dn.bv_len));
        } else if (tag == 0x4A) {
            if (directory.loaded.erase(name) == 0)
                code = 32;
            else
                directory.note("delete", std::string(dn.bv_val, dn.bv_len));
        } else if (tag == 0x66) {
            directory.note("modify", std::string(dn.bv_val, dn.bv_len));
        } else if (tag == 0x6C && ber_scanf(ber, "m", &rdn) != LBER_ERROR) {
            auto comma = name.find(',');
            if (directory.loaded.erase(name) != 0 && comma != std::string::npos)
                directory.loaded.insert(lower(std::string(rdn.bv_val, rdn.bv_len)) + name.substr(comma));
            directory.note("rename", std::string(dn.bv_val, dn.bv_len));
        } else {
            code = 2;
        }
    }
    ber_free(ber, 1);
    return code;
}

std::string lburp_results(const std::string& request_value)
{
    // SEQUENCE { INTEGER sequence number, SEQUENCE { operation [controls] }
    // ... }: a result for each operation that failed, numbered from 1 in the
    // batch.
    std::string results;
    if (request_value.empty())
        return results;
    berval bytes{static_cast<ber_len_t>(request_value.size()), const_cast<char*>(request_value.data())};
    BerElement* ber = ber_init(&bytes);
    ber_int_t sequence_number = 0;
    ber_len_t length = 0;
    if (ber != nullptr && ber_scanf(ber, "{i", &sequence_number) != LBER_ERROR) {
        berval element{};
        for (long long number = 1; ber_peek_tag(ber, &length) == 0x30 && ber_scanf(ber, "m", &element) != LBER_ERROR;
             ++number) {
            // The element's content starts with the operation itself.
            berval content = element;
            BerElement* inner = ber_init(&content);
            berval operation{};
            int code = 2;
            if (inner != nullptr && ber_scanf(inner, "x") != LBER_ERROR) {
                // Re-read the operation with its header for apply().
                ber_len_t rest = 0;
                ber_get_option(inner, LBER_OPT_REMAINING_BYTES, &rest);
                operation.bv_val = content.bv_val;
                operation.bv_len = content.bv_len - rest;
                code = apply(std::string(operation.bv_val, operation.bv_len));
            }
            ber_free(inner, 1);
            if (code != 0)
                results += d::sequence({d::integer(number),
                                        d::sequence({d::integer(code), d::octets(""),
                                                     d::octets(code == 68 ? "entry already exists" : "no such entry")})});
        }
    }
    ber_free(ber, 1);
    return results;
}

// Event notifications: each journalled change as an entry event, then a
// login and a replica status.
std::vector<testpeer::Intermediate> event_notifications()
{
    std::string notification = kAdmin + "81";
    // SEQUENCE { INTEGER event type, INTEGER result, [APPLICATION n] data }
    auto event = [&](int type, int result, const std::string& data) {
        return testpeer::Intermediate{notification, d::element(0x30, d::integer(type) + d::integer(result) + data)};
    };
    std::vector<testpeer::Intermediate> events;
    long long when = 1765000100;
    for (const Change& change : directory.journal)
        events.push_back(event(1, 0, d::element(0x61, d::concat({d::octets(change.dn), d::octets("cn=admin,o=example"),
                                                                 d::octets(change.kind),
                                                                 d::sequence({d::integer(when++), d::integer(1),
                                                                              d::integer(0)}),
                                                                 d::integer(0), d::integer(0), d::octets("")}))));
    directory.journal.clear();
    events.push_back(event(12, 0, d::element(0x72, d::concat({d::integer(1765000200), d::integer(0),
                                                                d::octets("cn=jdoe,o=example")}))));
    events.push_back(event(27, 0, d::element(0x65, d::concat({d::octets(kPartition), d::integer(2), d::integer(1),
                                                                d::integer(4), d::octets("cn=ldap2,o=example")}))));
    return events;
}

std::string accepted_events(const std::string& request_value)
{
    // The request is SEQUENCE { count, SET { SEQUENCE { type, status } ... } }:
    // accept everything that was asked for by echoing it.
    return request_value;
}

Reply answer(const Request& request)
{
    const std::string& name = request.name;
    std::string value = request.value.value_or("");
    if (name == kAdmin + "31")
        return Reply::with_value(d::octets("cn=admin,o=example"));
    if (name == kAdmin + "13")
        return Reply::with_value(d::integer(kEntriesBefore + static_cast<long long>(directory.loaded.size())));
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
    bool plain = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port-file") == 0 && i + 1 < argc)
            port_file = argv[++i];
        else if (std::strcmp(argv[i], "--plain") == 0)
            plain = true;
    }
    testpeer::TestPeer peer;
    peer.answer_updates(true);
    if (!plain)
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
