// A Quillon host for tests and demos: it keeps character, integer, boolean,
// binary and list values (lists of rows of cells), builds the item lists of
// requests, offers the string and default-procedure services, loads a plug-in
// component (dlopen, LoadLibrary on Windows) and calls its LDAPWndProc exactly
// as the host does.
//
// Every value and list the host makes is counted while it lives, so a test
// can prove that HOSTMSG_RELEASE_RESULTS freed exactly the component's items
// and that nothing leaked. The host is thread-safe: its stores are guarded by
// one lock, and any number of threads may send requests at once.
#ifndef TESTS_SUPPORT_TEST_HOST_H
#define TESTS_SUPPORT_TEST_HOST_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_interface.h"

namespace testhost {

// A host value as a test reads it.
struct Snapshot {
    std::int32_t type = 0;  // 0: a value nothing was stored in
    std::u32string text;
    std::int32_t integer = 0;
    std::vector<std::uint8_t> binary;
    std::vector<std::vector<Snapshot>> rows;  // for lists

    // The text as UTF-8 (code points above U+10FFFF or surrogates as U+FFFD).
    std::string utf8() const;
    // Whether the value is a text whose characters are all below 256 and
    // equal bytes of expected.
    bool is_text(std::string_view expected) const;
};

// One parameter of a request.
class Arg {
public:
    static Arg text(std::u32string characters);
    static Arg utf8(std::string_view text);  // decoded as UTF-8 (must be valid)
    static Arg integer(std::int32_t value);
    static Arg boolean(bool value);
    static Arg binary(std::vector<std::uint8_t> bytes);
    static Arg list();        // an empty list value
    static Arg absent();      // no item for this parameter number
    static Arg empty_value(); // an item holding a value with nothing stored

    bool is_absent() const { return kind_ == Kind::absent; }

private:
    friend HostValueHandle make_value(const Arg& arg);
    enum class Kind { text, integer, boolean, binary, list, absent, empty };
    Kind kind_ = Kind::absent;
    std::u32string text_;
    std::int32_t integer_ = 0;
    std::vector<std::uint8_t> binary_;
};

// Values and lists alive in the host.
std::size_t live_values();
std::size_t live_lists();
// Handles the component passed that the host never made or had already
// freed; must stay 0.
std::size_t bad_handles();
// Calls of the string service after resource loads.
std::size_t string_loads();

HostValueHandle make_value(const Arg& arg);
void free_value(HostValueHandle value);
Snapshot snapshot(HostValueHandle value);

// The host's service tables.
const HostStringServices* string_services();
const HostDefaultProcedures* default_procedures();
const HostValueServices* value_services();
const HostListServices* list_services();
// What the host's default procedure answers for a message.
HostAnswer default_answer(std::uint32_t message);

// One request: its HostCallInfo and the items the host hangs from it.
class Request {
public:
    // A request for class_id in group_key. With a header (the default), the
    // first item carries id and no value; parameters follow as items 1, 2, ...
    // (an absent Arg leaves its number out).
    Request(std::int32_t class_id, std::uint32_t group_key, std::int32_t id,
            const std::vector<Arg>& params = {}, bool header = true);
    // A request whose item 0 holds the value of item0 (for table messages).
    Request(std::int32_t class_id, std::uint32_t group_key, const Arg& item0);
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    HostCallInfo* info() { return &info_; }

    // The value of the component's return item, if it appended one.
    std::optional<Snapshot> result() const;
    // The current value of parameter n and whether the component marked it.
    Snapshot param(int n) const;
    bool changed(int n) const;
    // Items on the list made by the component and by the host.
    std::size_t component_items() const;
    std::size_t host_items() const;

private:
    void add_item(std::int32_t id, std::uint8_t number, HostValueHandle value);

    HostCallInfo info_{};
    std::vector<HostItem*> own_items_;
};

// What a method or property request gave back.
struct Reply {
    HostAnswer answer = 0;
    std::optional<Snapshot> result;
    std::map<int, Snapshot> params;
    std::map<int, bool> changed;
    std::size_t component_items = 0;       // before HOSTMSG_RELEASE_RESULTS
    std::size_t left_after_release = 0;    // component items left after it
};

// Calls enter when a host service starts and leave when it ends, on the
// thread that calls the service; null for none. For tests that must tell the
// host's own work (its allocations) from the component's.
void set_service_hooks(void (*enter)(), void (*leave)());

// A plug-in component loaded with dlopen (LoadLibrary on Windows), or one
// linked into the test itself.
class Component {
public:
    explicit Component(const std::string& path);
    explicit Component(HostComponentProc in_process) : proc_(in_process) {}
    ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    bool loaded() const { return proc_ != nullptr; }
    HostAnswer send(std::uint32_t message, HostWParam wparam, HostLParam lparam, HostCallInfo* call,
                    HostWindow window = nullptr) const;

private:
    void* library_ = nullptr;
    HostComponentProc proc_ = nullptr;
};

// The host's view of one component: messages as a host program's actions.
class TestHost {
public:
    static constexpr std::int32_t kSessionClass = 1001;

    explicit TestHost(const Component& component, std::uint32_t group_key = 7)
        : component_(component), group_key_(group_key)
    {
    }

    std::uint32_t group_key() const { return group_key_; }
    void set_group_key(std::uint32_t key) { group_key_ = key; }

    HostAnswer connect();
    HostAnswer disconnect();
    HostAnswer create(HostLParam instance, std::int32_t class_id = kSessionClass);
    HostAnswer destroy(HostLParam instance);
    HostAnswer copy(HostLParam source, HostLParam target);

    // Sends a method call, reads what came back, then releases the results.
    Reply call(HostLParam instance, std::int32_t method, const std::vector<Arg>& params = {});
    Reply get_property(HostLParam instance, std::int32_t property);
    Reply set_property(HostLParam instance, std::int32_t property, const Arg& value);
    HostAnswer can_assign(HostLParam instance, std::int32_t property);

    // Sends a message with a request of the given class and items, reads the
    // return item and releases the results.
    Reply message(std::uint32_t message, std::int32_t class_id = kSessionClass,
                  const std::vector<Arg>& params = {}, HostLParam lparam = 0,
                  HostWParam wparam = 0);
    // Sends a table message with a list value as item 0.
    Reply table_into_list(std::uint32_t message, std::int32_t class_id = kSessionClass);
    // Every string the component enumerates, in order.
    std::vector<std::u32string> enumerate_strings();

    const Component& component() const { return component_; }

private:
    Reply exchange(std::uint32_t message, HostLParam lparam, Request& request, HostWParam wparam,
                   int highest_param);

    const Component& component_;
    std::uint32_t group_key_;
};

// The component built by this project, for tests and demos.
std::string default_component_path();

}  // namespace testhost

#endif
