// Fuzz target: whole LDAP messages as a server sends them. The bytes reach
// the real client library through a socket, and the message it reads is
// handed to an export that parses one, as an application would hand it.
//
// First byte: bits 0-2 pick the export (0 ldap_get_bind_dn, 1
// ldap_backup_object, 2 ldap_get_replication_filter, 3 ldap_parse_ds_event, 4
// ldap_parse_monitor_events_response, 5-7 the LBURP start, operation and end
// responses); bit 3 is freeit for the parse exports. The rest is what the
// server sends; the export's request is the first on the connection, so its
// message id is 1.
//
// libldap 2.5 leaks blocks of its own (the pending request among them) when
// it meets some malformed messages, so what is allocated while a request is
// sent and its answer read is kept out of the leak check: the synchronous
// exports run whole under LibraryLeaksIgnored, the request and ldap_result()
// of the asynchronous ones do. Memory errors are checked throughout, and the
// parse exports' own allocations are leak-checked (libFuzzer, seeing the
// library's blocks pile up, checks leaks when it exits rather than after each
// input, and the process grows by some hundred megabytes a minute); the test
// suite checks the rest for leaks.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "library_leaks.h"
#include "ldap_client.h"
#include "owners.h"
#include "tervane.h"
#include <openldap.h>  // ldap_init_fd

namespace {

char kDn[] = "cn=a";

// libldap 2.5 aborts inside ldap_result() itself on an unsolicited
// notification (message id 0) that carries an empty response name, before
// any caller can look at it: a limitation that tervane.h documents and a death
// test pins. Inputs that may hold one are passed over: every message of id 0
// whose operation is an extended response and holds an empty [10] element
// anywhere at its top level, whether or not libldap would read that far.
bool aborts_inside_the_client_library(const std::uint8_t* bytes, std::size_t size)
{
    constexpr ber_tag_t kResponseName = 0x8A;
    if (size == 0)
        return false;
    berval stream{static_cast<ber_len_t>(size), reinterpret_cast<char*>(const_cast<std::uint8_t*>(bytes))};
    tervane::BerPtr messages(ber_init(&stream));
    berval message{};
    while (messages && ber_skip_element(messages.get(), &message) != LBER_DEFAULT) {
        if (message.bv_len == 0)
            continue;
        tervane::BerPtr reader(ber_init(&message));
        ber_int_t id = -1;
        ber_len_t length = 0;
        if (!reader || ber_get_int(reader.get(), &id) == LBER_DEFAULT || id != LDAP_RES_UNSOLICITED ||
            ber_skip_tag(reader.get(), &length) != LDAP_RES_EXTENDED)
            continue;
        berval field{};
        for (ber_tag_t tag = ber_skip_element(reader.get(), &field); tag != LBER_DEFAULT;
             tag = ber_skip_element(reader.get(), &field))
            if (tag == kResponseName && field.bv_len == 0)
                return true;
    }
    return false;
}

// A handle whose server side has sent bytes and then nothing more.
LDAP* handle_reading(const std::uint8_t* bytes, std::size_t size, int& server)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return nullptr;
    server = ends[1];
    while (size > 0) {
        ssize_t sent = ::write(server, bytes, size);
        if (sent <= 0)
            break;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    ::shutdown(server, SHUT_WR);
    LDAP* ld = nullptr;
    if (ldap_init_fd(ends[0], LDAP_PROTO_TCP, nullptr, &ld) != LDAP_SUCCESS) {
        ::close(ends[0]);
        return nullptr;
    }
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Chasing a referral would reach for other servers (and libldap 2.5
    // crashes chasing one on a handle that was given no URL).
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // libldap allocates the length a message announces before reading it, up
    // to 4 GiB: bound it, as an application that meets untrusted servers does.
    Sockbuf* socket_buffer = nullptr;
    ber_len_t largest = 1 << 20;
    if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &socket_buffer) == LDAP_OPT_SUCCESS)
        ber_sockbuf_ctrl(socket_buffer, LBER_SB_OPT_SET_MAX_INCOMING, &largest);
    return ld;
}

void synchronous(LDAP* ld, int which)
{
    char* text = nullptr;
    if (which == 0) {
        ldap_get_bind_dn(ld, &text);
    } else if (which == 1) {
        char* data = nullptr;
        char* sizes = nullptr;
        int length = 0;
        ldap_backup_object(ld, kDn, nullptr, &text, &data, &sizes, &length);
        tervane_memfree(data);
        tervane_memfree(sizes);
    } else {
        ldap_get_replication_filter(ld, kDn, &text);
    }
    tervane_memfree(text);
}

// Sends the request whose answer the export reads; the message id, or -1.
int request(LDAP* ld, int which)
{
    int msgid = -1;
    lburp_operation remove{LBURP_OP_DELETE, kDn, nullptr, nullptr};
    lburp_operation* batch[] = {&remove, nullptr};
    event_spec event{1, 0};
    switch (which) {
    case 5:
        ldap_lburp_start_request(ld, &msgid);
        break;
    case 6:
        ldap_lburp_operation_request(ld, 1, batch, &msgid);
        break;
    case 7:
        ldap_lburp_end_request(ld, 1, &msgid);
        break;
    default:
        ldap_monitor_events(ld, 1, &event, &msgid);
        break;
    }
    return msgid;
}

int parse(LDAP* ld, LDAPMessage* message, int which, int freeit)
{
    int code = 0;
    char* text = nullptr;
    int rc = 0;
    if (which == 3) {
        int type = 0;
        event_record* record = nullptr;
        rc = ldap_parse_ds_event(ld, message, &type, &code, &record, freeit);
        ldap_event_free(record);
    } else if (which == 4) {
        int count = 0;
        event_spec* specs = nullptr;
        rc = ldap_parse_monitor_events_response(ld, message, &code, &text, &count, &specs, freeit);
        tervane_memfree(specs);
    } else if (which == 5) {
        int start = 0;
        rc = ldap_parse_lburp_start_response(ld, message, &code, &text, &start, freeit);
    } else if (which == 6) {
        int count = 0;
        lburp_operation_result* results = nullptr;
        rc = ldap_parse_lburp_operation_response(ld, message, &code, &text, &count, &results, freeit);
        for (int i = 0; results != nullptr && i < count; ++i)
            ldap_memfree(results[i].error_message);
        tervane_memfree(results);
    } else {
        rc = ldap_parse_lburp_end_response(ld, message, &code, &text, freeit);
    }
    ldap_memfree(text);
    return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 65536)
        return 0;
    if (aborts_inside_the_client_library(data + 1, size - 1))
        return 0;
    int which = data[0] & 7;
    int freeit = (data[0] >> 3) & 1;
    int server = -1;
    LDAP* ld = handle_reading(data + 1, size - 1, server);
    if (ld == nullptr)
        return 0;
    if (which < 3) {
        LibraryLeaksIgnored library_leaks;
        synchronous(ld, which);
    } else {
        LDAPMessage* message = nullptr;
        int received = 0;
        {
            LibraryLeaksIgnored library_leaks;
            if (int msgid = request(ld, which); msgid > 0) {
                timeval timeout{1, 0};
                received = ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message);
            }
        }
        if (received > 0 && message != nullptr) {
            // The message stays ours unless freeit was set and the call read
            // it (the client library's own codes are negative).
            int rc = parse(ld, message, which, freeit);
            if (freeit == 0 || rc < 0)
                ldap_msgfree(message);
        } else {
            ldap_msgfree(message);
        }
    }
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    ::close(server);
    return 0;
}
