// Event notifications decoded into records and released, against a bare
// liblber walk that copies the same fields ("a" for every string, one array
// per list or table) and frees them: for one notification of each layout
// family, on the decoder over the value's bytes and on the public path
// (ldap_parse_ds_event and ldap_event_free against ldap_parse_intermediate,
// the walk and the frees), the message coming from the loopback peer.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "benchmark_pairs.h"
#include "operation_names.h"
#include "ber_text.h"
#include "event_records.h"
#include "ldap_owners.h"
#include "test_peer.h"
#include "tervane.h"

namespace d = der;

namespace {

constexpr char kNotificationName[] = LDAPEXT_EVENT_NOTIFICATION;
constexpr char kMonitorRequest[] = LDAPEXT_ADMIN_OID(79);

std::string i(long long value, std::uint8_t tag = 0x02) { return d::integer(value, tag); }
std::string s(std::string_view text, std::uint8_t tag = 0x04) { return d::octets(text, tag); }
std::string seq(std::initializer_list<std::string> parts, std::uint8_t tag = 0x30) { return d::sequence(parts, tag); }
std::string event(int n, std::initializer_list<std::string> fields, const std::string& after = "")
{
    return seq({i(12), i(0), d::element(static_cast<std::uint8_t>(0x60 + n), d::concat(fields)), after});
}

// ---- The walk ----------------------------------------------------------------

// What the walk copied, freed at the end of each iteration.
class Copies {
public:
    Copies() = default;
    Copies(const Copies&) = delete;
    Copies& operator=(const Copies&) = delete;
    ~Copies()
    {
        for (std::size_t k = 0; k < count_; ++k) {
            ber_memfree(blocks_[k]);
        }
    }
    void keep(void* block)
    {
        if (block != nullptr && count_ < std::size(blocks_)) {
            blocks_[count_++] = block;
        }
    }
    char* string(BerElement* ber)
    {
        char* text = nullptr;
        ber_scanf(ber, "a", &text);
        keep(text);
        return text;
    }
    // SEQUENCE OF SEQUENCE { OCTET STRING }: the strings into one array.
    char** list(BerElement* ber)
    {
        char* items[16];
        std::size_t n = 0;
        ber_len_t length = 0;
        char* last = nullptr;
        for (ber_tag_t tag = ber_first_element(ber, &length, &last); tag != LBER_DEFAULT && n < 16;
             tag = ber_next_element(ber, &length, last)) {
            ber_scanf(ber, "{a", &items[n++]);
        }
        auto** array = static_cast<char**>(ber_memalloc((n + 1) * sizeof(char*)));
        std::memcpy(array, items, n * sizeof(char*));
        array[n] = nullptr;
        keep(array);
        for (std::size_t k = 0; k < n; ++k) {
            keep(items[k]);
        }
        return array;
    }
    template <class T>
    T* array(std::size_t count)
    {
        auto* block = static_cast<T*>(ber_memcalloc(count, sizeof(T)));
        keep(block);
        return block;
    }

private:
    void* blocks_[32];
    std::size_t count_ = 0;
};

using Walk = void (*)(BerElement*, Copies&);

void walk_19(BerElement* ber, Copies& copies)
{
    event_prefix prefix{};
    event_record_19 r{};
    r.prefix = &prefix;
    ber_scanf(ber, "{ii", &prefix.number1, &prefix.number2);
    prefix.text = copies.string(ber);
    ber_scanf(ber, "ii", &r.number1, &r.number2);
    r.text1 = copies.string(ber);
    r.text2 = copies.string(ber);
    ber_scanf(ber, "i", &r.number3);
    r.text3 = copies.string(ber);
    ber_scanf(ber, "i", &r.number4);
    r.list1 = copies.list(ber);
    ber_len_t length = 0;
    if (ber_peek_tag(ber, &length) == 0x80) {
        r.list2 = copies.list(ber);
    }
    benchmark::DoNotOptimize(r);
}

void walk_1(BerElement* ber, Copies& copies)
{
    event_record_1 r{};
    r.text1 = copies.string(ber);
    r.text2 = copies.string(ber);
    r.text3 = copies.string(ber);
    ber_scanf(ber, "{iii}ii", &r.triple1, &r.triple2, &r.triple3, &r.number1, &r.number2);
    r.data = copies.string(ber);
    benchmark::DoNotOptimize(r);
}

void walk_3(BerElement* ber, Copies& copies)
{
    event_record_3 r{};
    ber_len_t length = 0;
    ber_scanf(ber, "iiii", &r.number1, &r.number2, &r.number4, &r.number3);
    r.text = copies.string(ber);
    ber_skip_tag(ber, &length);
    for (int k = 0; k < 4 && ber_peek_tag(ber, &length) == 0x02; ++k) {
        ber_scanf(ber, "i", &r.values[k]);
    }
    ber_skip_tag(ber, &length);
    for (int k = 0; k < 4 && ber_peek_tag(ber, &length) == 0x04; ++k) {
        r.strings[k] = copies.string(ber);
    }
    benchmark::DoNotOptimize(r);
}

void walk_6(BerElement* ber, Copies& copies)
{
    event_record_6 r{};
    r.text1 = copies.string(ber);
    ber_scanf(ber, "i", &r.number1);
    r.text2 = copies.string(ber);
    ber_scanf(ber, "{i{", &r.count);
    r.values = copies.array<event_counted_value>(static_cast<std::size_t>(r.count));
    for (int k = 0; k < r.count; ++k) {
        ber_scanf(ber, "{i", &r.values[k].type);
        ber_len_t length = 0;
        ber_peek_tag(ber, &length);
        r.values[k].length = static_cast<int>(length);
        r.values[k].data = copies.string(ber);
    }
    benchmark::DoNotOptimize(r);
}

void walk_7(BerElement* ber, Copies& copies)
{
    event_record_7 r{};
    r.text1 = copies.string(ber);
    ber_scanf(ber, "i", &r.number1);
    ber_len_t room = sizeof r.short_text;
    ber_scanf(ber, "s", r.short_text, &room);
    room = sizeof r.long_text;
    ber_scanf(ber, "s", r.long_text, &room);
    r.text2 = copies.string(ber);
    benchmark::DoNotOptimize(r);
}

void walk_8(BerElement* ber, Copies& copies)
{
    // The record holds its bytes inline; the trailer is read and dropped.
    int value = 0;
    ber_len_t length = 0;
    ber_scanf(ber, "i", &value);
    ber_peek_tag(ber, &length);
    auto* r = static_cast<event_record_8*>(ber_memalloc(sizeof(event_record_8) + length));
    copies.keep(r);
    r->value = value;
    ber_len_t room = length + 1;
    ber_scanf(ber, "s", r->data, &room);
    r->length = static_cast<int>(room);
    berval trailer{};
    ber_scanf(ber, "im", &value, &trailer);
    benchmark::DoNotOptimize(*r);
}

void walk_13(BerElement* ber, Copies& copies)
{
    event_record_13 r{};
    ber_scanf(ber, "i", &r.kind);
    r.text = copies.string(ber);
    r.value.text = copies.string(ber);
    benchmark::DoNotOptimize(r);
}

void walk_16(BerElement* ber, Copies& copies)
{
    event_record_16 r{};
    ber_scanf(ber, "ii", &r.number1, &r.number2);
    r.text1 = copies.string(ber);
    r.text2 = copies.string(ber);
    ber_scanf(ber, "ii{", &r.number3, &r.count);
    r.values = copies.array<event_typed_value>(static_cast<std::size_t>(r.count));
    for (int k = 0; k < r.count; ++k) {
        event_typed_value& v = r.values[k];
        ber_len_t length = 0;
        v.kind = static_cast<int>(ber_peek_tag(ber, &length) - 0x80);
        switch (v.kind) {
        case 1:
            ber_scanf(ber, "i", &v.value1.number);
            break;
        case 2:
            v.value1.text = copies.string(ber);
            break;
        case 3:
            v.value1.number = static_cast<int>(length);
            v.value2.text = copies.string(ber);
            break;
        case 5:
            ber_scanf(ber, "{i", &v.value1.number);
            ber_peek_tag(ber, &length);
            v.value2.number = static_cast<int>(length);
            v.value3.text = copies.string(ber);
            break;
        default:
            ber_scanf(ber, "{iii}", &v.value1.number, &v.value2.number, &v.value3.number);
        }
    }
    benchmark::DoNotOptimize(r);
}

// ---- The families ------------------------------------------------------------

struct Family {
    const char* name;
    std::string value;
    Walk walk;
};

std::vector<Family> families()
{
    const std::string dn1 = "cn=Jane Doe,ou=people,o=example";
    const std::string dn2 = "cn=John Doe,ou=people,o=example";
    const std::string prefix = seq({i(3), i(1), s("cn=admin,o=example")});
    std::vector<Family> out;
    out.push_back({"strings_and_lists_19",
                   event(19, {prefix, i(7), i(8), s(dn1), s(dn2), i(9), s("userPassword"), i(10),
                              seq({seq({s("mail")})}), seq({seq({s("cn")}), seq({s("sn")})}, 0x80)}),
                   walk_19});
    out.push_back({"texts_and_triple_1",
                   event(1, {s(dn1), s(dn2), s("ou=people,o=example"), seq({i(1), i(2), i(3)}), i(4), i(5),
                             s("replica data")}),
                   walk_1});
    out.push_back({"groups_3", event(3, {i(1), i(2), i(3), i(4), s(dn1, 0x85),
                                         d::element(0x86, d::concat({i(5), i(6), i(7), i(8)})),
                                         d::element(0xA7, d::concat({s("one"), s("two"), s("three"), s("four")}))}),
                   walk_3});
    out.push_back({"value_list_6",
                   event(6, {s(dn1), i(1), s(dn2),
                             seq({i(3), seq({seq({i(1), s("first value")}), seq({i(2), s("second value")}),
                                             seq({i(3), s("third value")})})})}),
                   walk_6});
    out.push_back({"fixed_arrays_7",
                   event(7, {s(dn1), i(1), s("short text"), s("a longer text of some sixty bytes, as servers send"),
                             s(dn2)}),
                   walk_7});
    out.push_back({"inline_bytes_8", event(8, {i(5), s("inline bytes of the record")}, d::concat({i(6), s("trailer")})),
                   walk_8});
    out.push_back({"kind_union_13", event(13, {i(3), s(dn1), s("the value text", 0x84)}), walk_13});
    out.push_back({"typed_values_16",
                   event(16, {i(1), i(2), s(dn1), s(dn2), i(3), i(5),
                              seq({i(5, 0x81), s("two", 0x82), s("three", 0x83), seq({i(5), s("five")}, 0x85),
                                   seq({i(6), i(7), i(8)}, 0x86)})}),
                   walk_16});
    return out;
}

// The walk over a value: the decoder, "{ii", the data header, the fields.
void walk_value(const berval& value, Walk walk)
{
    ldapc::BerPtr ber(ber_init(const_cast<berval*>(&value)));
    int type = 0, result = 0;
    ber_len_t length = 0;
    ber_scanf(ber.get(), "{ii", &type, &result);
    ber_skip_tag(ber.get(), &length);
    Copies copies;
    walk(ber.get(), copies);
}

// A notification as the client library received it, kept for the run.
class Received {
public:
    Received(testpeer::TestPeer& peer, const std::string& value) : ld_(peer.connect())
    {
        peer.set_responder([value](const testpeer::Request&) {
            auto reply = testpeer::Reply::success_named(LDAPEXT_ADMIN_OID(80));
            reply.intermediates = {{kNotificationName, value}};
            return reply;
        });
        const std::string request = seq({i(1), d::set({seq({i(12), d::enumerated(0)})})});
        berval bytes{request.size(), const_cast<char*>(request.data())};
        int msgid = -1;
        ldap_extended_operation(ld_, kMonitorRequest, &bytes, nullptr, nullptr, &msgid);
        timeval timeout{10, 0};
        ldap_result(ld_, msgid, LDAP_MSG_ONE, &timeout, &message_);
        LDAPMessage* final_answer = nullptr;
        ldap_result(ld_, msgid, LDAP_MSG_ONE, &timeout, &final_answer);
        ldap_msgfree(final_answer);
    }
    ~Received() { ldap_msgfree(message_); }
    LDAP* ld() const { return ld_; }
    LDAPMessage* message() const { return message_; }

private:
    testpeer::LdapHandle ld_;
    LDAPMessage* message_ = nullptr;
};

testpeer::TestPeer& peer()
{
    static testpeer::TestPeer instance;
    return instance;
}

const bool registered = [] {
    benchpair::Options options;
    options.counting_factor = 2000;
    for (const Family& family : families()) {
        const std::string value = family.value;
        const Walk walk = family.walk;
        benchpair::pair(
            "event_decoding", family.name,
            [value](benchmark::State& state) {
                berval bytes{value.size(), const_cast<char*>(value.data())};
                for (auto _ : state) {
                    int type = 0, result = 0;
                    event_record* record = nullptr;
                    if (tervane::decode_event_notification(bytes, &type, &result, &record) != 0) {
                        state.SkipWithError("the notification did not decode");
                        break;
                    }
                    ldap_event_free(record);
                }
            },
            [value, walk](benchmark::State& state) {
                berval bytes{value.size(), const_cast<char*>(value.data())};
                for (auto _ : state) {
                    walk_value(bytes, walk);
                }
            },
            options);
        benchpair::pair(
            "ldap_parse_ds_event", family.name,
            [value](benchmark::State& state) {
                Received received(peer(), value);
                for (auto _ : state) {
                    int type = 0, result = 0;
                    event_record* record = nullptr;
                    if (ldap_parse_ds_event(received.ld(), received.message(), &type, &result, &record, 0) != 0) {
                        state.SkipWithError("the notification did not decode");
                        break;
                    }
                    ldap_event_free(record);
                }
            },
            [value, walk](benchmark::State& state) {
                Received received(peer(), value);
                for (auto _ : state) {
                    char* name = nullptr;
                    berval* bytes = nullptr;
                    ldap_parse_intermediate(received.ld(), received.message(), &name, &bytes, nullptr, 0);
                    if (name == nullptr || std::strcmp(name, kNotificationName) != 0 || bytes == nullptr) {
                        state.SkipWithError("not a notification");
                        break;
                    }
                    walk_value(*bytes, walk);
                    ldap_memfree(name);
                    ber_bvfree(bytes);
                }
            },
            options);
    }
    return true;
}();

}  // namespace
