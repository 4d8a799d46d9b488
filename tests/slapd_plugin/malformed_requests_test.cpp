// Malformed requests sent from a raw socket, past the client library: every
// one is answered with an error and slapd keeps serving.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ber.h"
#include "operation_names.h"
#include "ber_text.h"
#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

const char* const kRequestNames[] = {
    LDAPEXT_ADMIN_OID(1),   LDAPEXT_ADMIN_OID(3),   LDAPEXT_ADMIN_OID(9),
    LDAPEXT_ADMIN_OID(13),  LDAPEXT_ADMIN_OID(17),  LDAPEXT_ADMIN_OID(19),
    LDAPEXT_ADMIN_OID(21),  LDAPEXT_ADMIN_OID(23),  LDAPEXT_ADMIN_OID(25),
    LDAPEXT_ADMIN_OID(27),  LDAPEXT_ADMIN_OID(31),  LDAPEXT_ADMIN_OID(33),
    LDAPEXT_ADMIN_OID(35),  LDAPEXT_ADMIN_OID(37),  LDAPEXT_ADMIN_OID(43),
    LDAPEXT_ADMIN_OID(79),  LDAPEXT_ADMIN_OID(84),  LDAPEXT_ADMIN_OID(96),
    LDAPEXT_ADMIN_OID(98),  LDAPEXT_ADMIN_OID(101), LDAPEXT_ADMIN_OID(103),
    LDAPEXT_BULK_OID(1),  LDAPEXT_BULK_OID(6),  LDAPEXT_BULK_OID(4),
};

// A connection that speaks LDAP messages as bytes.
class RawConnection {
public:
    explicit RawConnection(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval timeout{30, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~RawConnection() { close(fd_); }
    bool connected() const { return connected_; }

    // Sends one request and answers the result code of its response, or -1
    // when none came.
    int exchange(std::uint8_t operation_tag, const std::string& operation)
    {
        std::string message = der::sequence({der::integer(++id_), der::element(operation_tag, operation)});
        if (write(fd_, message.data(), message.size()) != static_cast<ssize_t>(message.size()))
            return -1;
        std::string response;
        if (!read_message(response))
            return -1;
        adminext::BerReader reader(response);
        adminext::BerReader envelope;
        adminext::BerReader result;
        std::int32_t id = 0;
        std::uint8_t tag = 0;
        std::string_view contents;
        std::int32_t code = -1;
        if (!reader.enter(envelope) || !envelope.integer(id) || !envelope.element(tag, contents))
            return -1;
        adminext::BerReader(contents).enumerated(code);
        return id == id_ ? code : -1;
    }

private:
    bool read_exactly(std::string& into, std::size_t count)
    {
        while (count > 0) {
            char buffer[4096];
            ssize_t got = read(fd_, buffer, std::min(count, sizeof buffer));
            if (got <= 0)
                return false;
            into.append(buffer, static_cast<std::size_t>(got));
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }
    bool read_message(std::string& message)
    {
        if (!read_exactly(message, 2))
            return false;
        std::size_t length = static_cast<std::uint8_t>(message[1]);
        if (length & 0x80) {
            std::size_t digits = length & 0x7F;
            if (!read_exactly(message, digits))
                return false;
            length = 0;
            for (std::size_t i = 0; i < digits; ++i)
                length = (length << 8) | static_cast<std::uint8_t>(message[2 + i]);
        }
        return read_exactly(message, length);
    }

    int fd_ = -1;
    bool connected_ = false;
    int id_ = 0;
};

// BindRequest: [APPLICATION 0] { INTEGER 3, OCTET STRING name, [0] password }
int bind(RawConnection& connection)
{
    return connection.exchange(0x60, der::integer(3) + der::octets(kRootDn) + der::octets(kRootPassword, 0x80));
}

// ExtendedRequest: [APPLICATION 23] { [0] name, [1] value OPTIONAL }
int extended(RawConnection& connection, const std::string& name, const std::string* value)
{
    std::string operation = der::octets(name, 0x80);
    if (value != nullptr)
        operation += der::octets(*value, 0x81);
    return connection.exchange(0x77, operation);
}

std::vector<std::string> malformed_values()
{
    std::vector<std::string> values = {
        "",
        std::string(1, '\0'),
        "\x30",
        "\x30\x84\xff\xff\xff\xff",
        "\x30\x80\x02\x01\x01\x00\x00",                // indefinite length
        "\x04\x05" "ab",                               // shorter than announced
        "\x1f\x81\x01\x00",                            // a multi-byte tag
        der::sequence({der::integer(0x7fffffff), der::set({})}),
        der::sequence({der::integer(2), der::set({der::sequence({der::integer(1), der::enumerated(0)})})}),
        der::sequence({der::integer(1), der::sequence({der::element(0x68, der::octets("cn=x"))})}),
        der::sequence({der::integer(1), der::sequence({der::element(0x63, "")})}),
        der::sequence({der::integer(1), der::sequence({der::element(0x4A, ""), der::element(0xA0, "\x30")})}),
        der::sequence({der::integer(1), der::sequence({der::element(0x6C, der::octets("cn=a") + der::octets("") +
                                                                                 der::boolean(true))})}),
        der::octets(std::string("\xd8\x00\x00\x00", 4)),  // a lone surrogate
        der::octets("\x00"),                              // odd UTF-16
        der::octets("s") + der::integer(1) + der::integer(1) + der::octets(""),
        der::octets("cn=a") + der::octets("") + der::integer(-5) + der::octets("") +
            der::sequence({der::integer(1), der::set({der::sequence({der::integer(-5)})})}),
        der::octets(kSuffix) + der::sequence({der::sequence({der::octets("a$b"), der::sequence({})})}),
    };
    std::string nested;
    for (int depth = 0; depth < 2000; ++depth)
        nested = der::sequence({nested});
    values.push_back(nested);
    std::mt19937 random(12);
    for (int i = 0; i < 20; ++i) {
        std::string noise(static_cast<std::size_t>(random() % 64), '\0');
        for (char& byte : noise)
            byte = static_cast<char>(random());
        values.push_back(noise);
    }
    return values;
}

}  // namespace

TEST(MalformedRequests, EveryOneIsAnsweredWithAnErrorAndSlapdKeepsServing)
{
    RawConnection connection(server().port());
    ASSERT_TRUE(connection.connected());
    ASSERT_EQ(bind(connection), 0);
    std::vector<std::string> values = malformed_values();
    for (const char* name : kRequestNames) {
        SCOPED_TRACE(name);
        int answered = extended(connection, name, nullptr);
        EXPECT_GE(answered, 0);
        for (const std::string& value : values) {
            int code = extended(connection, name, &value);
            ASSERT_GE(code, 0) << bertext::hex(value) << "\n" << server_faults();
            // A value without meaning is never a success, except for the
            // requests that take no value and ignore none.
            if (!value.empty()) {
                EXPECT_NE(code, 0) << bertext::hex(value);
            }
        }
    }
    EXPECT_EQ(server_faults(), "");
    Session ld = connect(Who::root);
    char* dn = nullptr;
    EXPECT_EQ(ldap_get_bind_dn(ld.get(), &dn), LDAP_SUCCESS);
    EXPECT_STREQ(dn, kRootDn);
    tervane_memfree(dn);
}
