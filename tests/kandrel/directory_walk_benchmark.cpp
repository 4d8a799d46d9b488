// Searching and walking 10,000 entries of a private slapd: once as a host
// program does it through LDAPWndProc ($search_ext_s, $first_entry and
// $next_entry, $first_attribute and $next_attribute, $get_values, $free),
// once written directly on libldap, in the same process and run, so their
// ratio is the component's cost. Two data sets: light entries (five
// attributes of one short value each), and heavy ones (eight attributes, eleven
// values, about 187 bytes of values an entry) whose every character both
// walks read.
//
// The host side is a lean host of this file: values in a slot array, items
// on the stack, no checks. The test host, which counts and checks every
// value for the tests, would measure itself rather than the component.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "benchmark_pairs.h"
#include "ldap_client.h"
#include "slapd_server.h"
#include "test_host.h"

namespace {

constexpr int kEntries = 10000;
constexpr char kSuffix[] = "dc=example,dc=com";
constexpr char kAdmin[] = "cn=admin,dc=example,dc=com";
constexpr char kPassword[] = "secret";
constexpr char kPeople[] = "ou=people,dc=example,dc=com";
constexpr char kStaff[] = "ou=staff,dc=example,dc=com";
constexpr int kOneLevel = 1;

// The heavy entries under kStaff: objectClass (four values), cn, sn, uid,
// mail, telephoneNumber, title and a description that brings the values of
// an entry to kHeavyEntryBytes.
constexpr std::size_t kHeavyEntryBytes = 187;

std::string staff()
{
    std::string ldif = std::string("dn: ") + kStaff + "\nobjectClass: organizationalUnit\nou: staff\n\n";
    char number[16];
    for (int n = 1; n <= kEntries; ++n) {
        std::snprintf(number, sizeof number, "%05d", n);
        const std::string cn = std::string("Staff member ") + number;
        const std::string fixed[] = {"top", "person", "organizationalPerson", "inetOrgPerson", cn,
                                     "Member", std::string("staff") + number,
                                     std::string("staff") + number + "@example.com",
                                     std::string("+1 555 01") + number, "Directory engineer"};
        std::size_t used = 0;
        for (const std::string& value : fixed) {
            used += value.size();
        }
        ldif += "dn: cn=" + cn + "," + kStaff + "\n";
        for (int i = 0; i < 4; ++i) {
            ldif += "objectClass: " + fixed[i] + "\n";
        }
        ldif += "cn: " + fixed[4] + "\nsn: " + fixed[5] + "\nuid: " + fixed[6] + "\nmail: " + fixed[7] +
                "\ntelephoneNumber: " + fixed[8] + "\ntitle: " + fixed[9] + "\ndescription: " +
                std::string(kHeavyEntryBytes - used, 'd') + "\n\n";
    }
    return ldif;
}

slapd::Server& directory()
{
    static const std::unique_ptr<slapd::Server> server = [] {
        slapd::Options options;
        options.seed_ldif = slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, kEntries) + staff();
        auto started = std::make_unique<slapd::Server>(options);
        started->start();
        return started;
    }();
    return *server;
}

// The lean host: one process-wide store of values, reached through the
// service tables the component copies at first contact.
namespace lean {

using Text = std::basic_string<HostChar>;

struct Value {
    std::int32_t integer = 0;
    Text text;
    HostTextRecord record{};
};
std::deque<Value> values;
std::vector<HostValueHandle> free_handles;

Value& at(HostValueHandle handle) { return values[handle - 1]; }

HostValueHandle HOST_CALL create()
{
    if (!free_handles.empty()) {
        const HostValueHandle handle = free_handles.back();
        free_handles.pop_back();
        at(handle).text.clear();
        at(handle).integer = 0;
        return handle;
    }
    values.emplace_back();
    return values.size();
}
void HOST_CALL release(HostValueHandle handle) { free_handles.push_back(handle); }
void HOST_CALL set_characters(HostValueHandle handle, const HostChar* characters, std::int32_t count)
{
    at(handle).text.assign(characters, static_cast<std::size_t>(count));
}
std::int32_t HOST_CALL get_integer(HostValueHandle handle) { return at(handle).integer; }
void HOST_CALL set_integer(HostValueHandle handle, std::int32_t integer) { at(handle).integer = integer; }
void HOST_CALL set_binary(HostValueHandle handle, std::int32_t, const void* data, std::int32_t length, std::int32_t)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    at(handle).text.assign(bytes, bytes + length);
}
void HOST_CALL set_empty(HostValueHandle handle, std::int32_t, std::int32_t) { at(handle).text.clear(); }
void HOST_CALL type(HostValueHandle, std::int32_t* out, std::int32_t) { *out = HOST_TYPE_CHARACTER; }
const HostTextRecord* HOST_CALL characters(HostValueHandle handle, std::int32_t)
{
    Value& value = at(handle);
    value.record.byte_length = static_cast<std::int32_t>(value.text.size() * sizeof(HostChar));
    value.record.characters = value.text.data();
    return &value.record;
}

template <class Fn>
HostServiceSlot slot(Fn fn)
{
    return reinterpret_cast<HostServiceSlot>(fn);
}

const HostValueServices& value_services()
{
    static const HostValueServices table = [] {
        HostValueServices t{};
        t.slot[HOST_VALUE_SLOT_CREATE] = slot(create);
        t.slot[HOST_VALUE_SLOT_FREE] = slot(release);
        t.slot[HOST_VALUE_SLOT_SET_CHARACTERS] = slot(set_characters);
        t.slot[HOST_VALUE_SLOT_GET_INTEGER] = slot(get_integer);
        t.slot[HOST_VALUE_SLOT_SET_INTEGER] = slot(set_integer);
        t.slot[HOST_VALUE_SLOT_SET_BINARY] = slot(set_binary);
        t.slot[HOST_VALUE_SLOT_TYPE] = slot(type);
        t.slot[HOST_VALUE_SLOT_CHARACTERS] = slot(characters);
        t.slot[HOST_VALUE_SLOT_SET_EMPTY] = slot(set_empty);
        return t;
    }();
    return table;
}

// One parameter: a text or an integer.
struct Param {
    const Text* text = nullptr;
    std::int32_t integer = 0;
};

class Host {
public:
    explicit Host(const testhost::Component& component) : component_(component) {}

    // Calls method on object; the return value's text lands in result, and
    // parameter 2's in second when it is a by-reference parameter.
    HostAnswer call(HostLParam object, std::int32_t method, std::initializer_list<Param> params,
                    Text* result, Text* second = nullptr)
    {
        HostItem items[4]{};
        HostCallInfo info{};
        info.class_id = 1001;
        info.group_key = 7;
        info.value_services = &value_services();
        info.items = &items[0];
        items[0].id = method;
        std::size_t n = 0;
        for (const Param& param : params) {
            HostItem& item = items[++n];
            item.number = static_cast<std::uint8_t>(n);
            item.value = create();
            if (param.text != nullptr) {
                at(item.value).text = *param.text;
            } else {
                at(item.value).integer = param.integer;
            }
            items[n - 1].next = &item;
        }
        const HostAnswer answer = component_.send(HOSTMSG_METHOD_CALL, 0, object, &info);
        for (const HostItem* item = info.items; item != nullptr; item = item->next) {
            if (item->number == 0 && item != &items[0] && result != nullptr) {
                result->swap(at(item->value).text);
            }
        }
        if (second != nullptr) {
            second->swap(at(items[2].value).text);
        }
        component_.send(HOSTMSG_RELEASE_RESULTS, 0, 0, &info);
        for (std::size_t i = 1; i <= n; ++i) {
            release(items[i].value);
        }
        return answer;
    }
    void message(std::uint32_t message, HostLParam object)
    {
        HostCallInfo info{};
        info.class_id = 1001;
        info.group_key = 7;
        info.value_services = &value_services();
        component_.send(message, 0, object, &info);
    }

private:
    const testhost::Component& component_;
};


Text wide(const std::string& text) { return Text(text.begin(), text.end()); }

}  // namespace lean

// The host protocol with nothing of a component's own: what the walk costs
// at the least through LDAPWndProc's messages. It reads parameters and writes
// results through the same host services, but references are indexes into
// one array of the library's pointers, checked for nothing but range, items
// come from a plain pool, and there is no registry, session hold, lock or
// conversion to the code page. No component could be safe like this; its
// figure is the floor the component's own cost is measured from.
namespace bare {

using lean::Text;

LDAP* ld = nullptr;
std::vector<void*> objects;
std::vector<HostItem*> pool;

template <class Fn>
Fn service(const HostCallInfo* call, int slot)
{
    return reinterpret_cast<Fn>(call->value_services->slot[slot]);
}

HostItem* parameter(const HostCallInfo* call, int n)
{
    for (HostItem* item = call->items->next; item != nullptr; item = item->next) {
        if (item->number == n) {
            return item;
        }
    }
    return nullptr;
}

// Parameter n as bytes (ASCII, as the walk's texts are) in out.
const char* text(const HostCallInfo* call, int n, char (&out)[512])
{
    const HostTextRecord* record =
        service<HostValueCharactersFn>(call, HOST_VALUE_SLOT_CHARACTERS)(parameter(call, n)->value, 0);
    std::size_t i = 0;
    for (; i < static_cast<std::size_t>(record->byte_length / 4) && i + 1 < sizeof out; ++i) {
        out[i] = static_cast<char>(record->characters[i]);
    }
    out[i] = '\0';
    return out;
}

std::int32_t integer(const HostCallInfo* call, int n)
{
    return service<HostValueGetIntegerFn>(call, HOST_VALUE_SLOT_GET_INTEGER)(parameter(call, n)->value);
}

// The object behind a reference ("ENTY:0000002a"), null for the empty text.
template <class T>
T* object(const HostCallInfo* call, int n)
{
    const HostTextRecord* record =
        service<HostValueCharactersFn>(call, HOST_VALUE_SLOT_CHARACTERS)(parameter(call, n)->value, 0);
    if (record->byte_length != 13 * 4) {
        return nullptr;
    }
    std::size_t index = 0;
    for (int i = 5; i < 13; ++i) {
        const HostChar c = record->characters[i];
        index = index * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return index < objects.size() ? static_cast<T*>(objects[index]) : nullptr;
}

// Widens bytes (ASCII, as the walk's data is) into out from at.
std::size_t widen(HostChar* out, std::size_t at, std::size_t room, const char* bytes)
{
    for (; *bytes != '\0' && at < room; ++bytes) {
        out[at++] = static_cast<unsigned char>(*bytes);
    }
    return at;
}

void set_bytes(const HostCallInfo* call, HostValueHandle value, const char* bytes)
{
    HostChar wide[1024];
    const std::size_t count = widen(wide, 0, std::size(wide), bytes);
    service<HostValueSetCharactersFn>(call, HOST_VALUE_SLOT_SET_CHARACTERS)(value, wide,
                                                                            static_cast<std::int32_t>(count));
}

HostValueHandle reference(const HostCallInfo* call, const char* prefix, void* pointer)
{
    const HostValueHandle value = service<HostValueCreateFn>(call, HOST_VALUE_SLOT_CREATE)();
    char text[14] = "";
    if (pointer != nullptr) {
        std::memcpy(text, prefix, 5);
        for (std::size_t i = 0, index = objects.size(); i < 8; ++i) {
            text[12 - i] = "0123456789abcdef"[(index >> (4 * i)) & 0xF];
        }
        text[13] = '\0';
        objects.push_back(pointer);
    }
    set_bytes(call, value, text);
    return value;
}

HostValueHandle string(const HostCallInfo* call, const char* bytes)
{
    const HostValueHandle value = service<HostValueCreateFn>(call, HOST_VALUE_SLOT_CREATE)();
    set_bytes(call, value, bytes != nullptr ? bytes : "");
    return value;
}

HostValueHandle number(const HostCallInfo* call, std::int32_t n)
{
    const HostValueHandle value = service<HostValueCreateFn>(call, HOST_VALUE_SLOT_CREATE)();
    service<HostValueSetIntegerFn>(call, HOST_VALUE_SLOT_SET_INTEGER)(value, n);
    return value;
}

HostAnswer answer(HostCallInfo* call, HostValueHandle value)
{
    HostItem* item = pool.empty() ? new HostItem{} : pool.back();
    if (!pool.empty()) {
        pool.pop_back();
    }
    *item = HostItem{};
    item->value = value;
    item->flags = HOST_ITEM_MADE_BY_COMPONENT;
    HostItem* last = call->items;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = item;
    return 0;
}

HostAnswer method(HostCallInfo* call)
{
    char first[512];
    char second[512];
    switch (call->items->id) {
    case 2001: {
        ld = ldap_init(text(call, 1, first), integer(call, 2));
        int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        return answer(call, number(call, 0));
    }
    case 2005:
        return answer(call, number(call, ldap_simple_bind_s(ld, text(call, 1, first), text(call, 2, second))));
    case 2019: {
        timeval limit{10, 0};
        LDAPMessage* chain = nullptr;
        ldap_search_ext_s(ld, text(call, 1, first), integer(call, 2), "(objectClass=*)", nullptr, 0, nullptr,
                          nullptr, &limit, 0, &chain);
        return answer(call, reference(call, "MESS:", chain));
    }
    case 2021:
        return answer(call, reference(call, "ENTY:", ldap_first_entry(ld, object<LDAPMessage>(call, 1))));
    case 2022:
        return answer(call, reference(call, "ENTY:", ldap_next_entry(ld, object<LDAPMessage>(call, 1))));
    case 2023: {
        BerElement* ber = nullptr;
        char* name = ldap_first_attribute(ld, object<LDAPMessage>(call, 1), &ber);
        HostItem* out = parameter(call, 2);
        service<HostValueFreeFn>(call, HOST_VALUE_SLOT_FREE)(out->value);
        out->value = reference(call, "BERE:", ber);
        out->flags |= HOST_ITEM_CHANGED;
        answer(call, string(call, name));
        ldap_memfree(name);
        return 0;
    }
    case 2024: {
        char* name = ldap_next_attribute(ld, object<LDAPMessage>(call, 1), object<BerElement>(call, 2));
        answer(call, string(call, name));
        ldap_memfree(name);
        return 0;
    }
    case 2026: {
        char** values = ldap_get_values(ld, object<LDAPMessage>(call, 1), text(call, 2, first));
        HostChar joined[4096];
        std::size_t count = 0;
        for (int i = 0; values != nullptr && values[i] != nullptr; ++i) {
            count = widen(joined, count, std::size(joined), i > 0 ? "," : "");
            count = widen(joined, count, std::size(joined), values[i]);
        }
        ldap_value_free(values);
        const HostValueHandle value = service<HostValueCreateFn>(call, HOST_VALUE_SLOT_CREATE)();
        service<HostValueSetCharactersFn>(call, HOST_VALUE_SLOT_SET_CHARACTERS)(value, joined,
                                                                                static_cast<std::int32_t>(count));
        return answer(call, value);
    }
    case 2020: {
        const HostTextRecord* record =
            service<HostValueCharactersFn>(call, HOST_VALUE_SLOT_CHARACTERS)(parameter(call, 1)->value, 0);
        if (record->characters[0] == 'M') {
            ldap_msgfree(object<LDAPMessage>(call, 1));
            objects.clear();
        } else {
            ber_free(object<BerElement>(call, 1), 0);
        }
        set_bytes(call, parameter(call, 1)->value, "");
        parameter(call, 1)->flags |= HOST_ITEM_CHANGED;
        return answer(call, number(call, 0));
    }
    default:
        return 0;
    }
}

HostAnswer HOST_CALL proc(HostWindow, std::uint32_t message, HostWParam, HostLParam, HostCallInfo* call)
{
    if (message == HOSTMSG_METHOD_CALL) {
        return method(call);
    }
    if (message == HOSTMSG_RELEASE_RESULTS) {
        for (HostItem** link = &call->items; *link != nullptr;) {
            HostItem* item = *link;
            if ((item->flags & HOST_ITEM_MADE_BY_COMPONENT) != 0) {
                *link = item->next;
                service<HostValueFreeFn>(call, HOST_VALUE_SLOT_FREE)(item->value);
                pool.push_back(item);
            } else {
                link = &item->next;
            }
        }
        return 1;
    }
    return 0;
}

}  // namespace bare

// One data set: the branch whose children the walks search, and whether
// they read every character of the values or take only their length.
struct DataSet {
    const char* branch;
    bool every_character;
};
constexpr DataSet kLight{kPeople, false};
constexpr DataSet kHeavy{kStaff, true};

template <class Character>
std::size_t characters_read(const Character* text, std::size_t length, bool every_character)
{
    if (!every_character) {
        return length;
    }
    std::size_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += static_cast<std::size_t>(text[i]);
    }
    return sum;
}

// A walk that saw fewer entries than the branch holds measured nothing.
void check_entries(benchmark::State& state, std::int64_t entries)
{
    if (entries != state.iterations() * kEntries) {
        state.SkipWithError("the walk did not see every entry");
    }
}

void WalkThrough(benchmark::State& state, const DataSet& data, const testhost::Component& component)
{
    lean::Host host(component);
    const HostLParam object = 1;
    host.message(HOSTMSG_CONNECT, 0);
    host.message(HOSTMSG_OBJECT_CREATE, object);
    const lean::Text server = lean::wide("127.0.0.1");
    const lean::Text admin = lean::wide(kAdmin);
    const lean::Text password = lean::wide(kPassword);
    const lean::Text branch = lean::wide(data.branch);
    const lean::Text empty;
    lean::Text chain, entry, ber, name, values, answer;
    host.call(object, 2001, {{&server}, {nullptr, directory().port()}}, &answer);
    host.call(object, 2005, {{&admin}, {&password}}, &answer);
    std::size_t characters = 0;
    std::int64_t entries = 0;
    for (auto _ : state) {
        host.call(object, 2019, {{&branch}, {nullptr, kOneLevel}}, &chain);
        for (host.call(object, 2021, {{&chain}}, &entry); !entry.empty(); host.call(object, 2022, {{&entry}}, &entry)) {
            ++entries;
            for (host.call(object, 2023, {{&entry}, {&empty}}, &name, &ber); !name.empty();
                 host.call(object, 2024, {{&entry}, {&ber}}, &name)) {
                host.call(object, 2026, {{&entry}, {&name}}, &values);
                characters += characters_read(values.data(), values.size(), data.every_character);
            }
            host.call(object, 2020, {{&ber}}, &answer);
        }
        host.call(object, 2020, {{&chain}}, &answer);
    }
    benchmark::DoNotOptimize(characters);
    host.message(HOSTMSG_OBJECT_DELETE, object);
    check_entries(state, entries);
}

void WalkOnLibldap(benchmark::State& state, const DataSet& data)
{
    LDAP* ld = ldap_init("127.0.0.1", directory().port());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (ldap_simple_bind_s(ld, kAdmin, kPassword) != LDAP_SUCCESS) {
        state.SkipWithError("bind failed");
        return;
    }
    std::size_t values = 0;
    std::int64_t entries = 0;
    for (auto _ : state) {
        timeval limit{10, 0};
        LDAPMessage* chain = nullptr;
        ldap_search_ext_s(ld, data.branch, kOneLevel, "(objectClass=*)", nullptr, 0, nullptr, nullptr, &limit, 0,
                          &chain);
        for (LDAPMessage* entry = ldap_first_entry(ld, chain); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
            ++entries;
            BerElement* ber = nullptr;
            for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
                 name = ldap_next_attribute(ld, entry, ber)) {
                char** found = ldap_get_values(ld, entry, name);
                for (int i = 0; i < ldap_count_values(found); ++i) {
                    values += data.every_character ? characters_read(found[i], std::strlen(found[i]), true)
                                                   : std::string(found[i]).size();
                }
                ldap_value_free(found);
                ldap_memfree(name);
            }
            ber_free(ber, 0);
        }
        ldap_msgfree(chain);
    }
    benchmark::DoNotOptimize(values);
    ldap_unbind_s(ld);
    check_entries(state, entries);
}

const bool registered = [] {
    benchpair::Options options;
    options.items = kEntries;
    options.unit = benchmark::kMillisecond;
    options.min_time = 2.0;
    const auto pair = [&options](const char* case_name, const DataSet& data) {
        benchpair::pair(
            "directory_walk", case_name,
            [&data](benchmark::State& state) {
                WalkThrough(state, data, testhost::Component(testhost::default_component_path()));
            },
            [&data](benchmark::State& state) { WalkOnLibldap(state, data); }, options);
    };
    pair("10000_entries", kLight);
    pair("10000_heavy_entries", kHeavy);
    for (const auto& [case_name, data] : {std::pair{"10000_entries", &kLight}, {"10000_heavy_entries", &kHeavy}}) {
        benchpair::pair(
            "directory_walk_floor", case_name,
            [data](benchmark::State& state) { WalkThrough(state, *data, testhost::Component(&bare::proc)); },
            [data](benchmark::State& state) { WalkOnLibldap(state, *data); }, options);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
