// The test host's store of values and lists, which its services keep for the
// component and its tests read back (test_host.cpp, test_host_services.cpp).
#ifndef TESTS_SUPPORT_TEST_HOST_STORE_H
#define TESTS_SUPPORT_TEST_HOST_STORE_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "test_host.h"

namespace testhost::detail {

struct ValueObject {
    std::int32_t type = 0;
    std::u32string text;
    std::int32_t integer = 0;
    std::vector<std::uint8_t> binary;
    HostListHandle list = 0;  // owned
    HostTextRecord record{};
    std::u32string record_text;  // the characters record points to
};

struct ListObject {
    std::vector<std::vector<HostValueHandle>> rows;  // cells owned by the list
};

struct ListReference {
    HostListHandle list;
    bool owns;  // a new list goes with its reference
};

struct Store {
    std::mutex lock;
    std::uintptr_t next = 0x1000;
    std::unordered_map<HostValueHandle, std::unique_ptr<ValueObject>> values;
    std::unordered_map<HostListHandle, std::unique_ptr<ListObject>> lists;
    std::unordered_map<HostListRef, ListReference> references;
    std::size_t bad_handles = 0;
    std::size_t string_loads = 0;
};

Store& store();

struct ServiceHooks {
    std::atomic<void (*)()> enter{nullptr};
    std::atomic<void (*)()> leave{nullptr};
};
extern ServiceHooks hooks;

// The store's lock, taken by every service that keeps values, with the
// service hooks around it.
class Guard {
public:
    explicit Guard(std::mutex& lock) : lock_(lock)
    {
        if (const auto enter = hooks.enter.load()) {
            enter();
        }
    }
    ~Guard()
    {
        if (const auto leave = hooks.leave.load()) {
            leave();
        }
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    std::lock_guard<std::mutex> lock_;
};

// The store's objects, with the store locked; a handle that names none is
// counted as bad and gives null.
ValueObject* value_locked(HostValueHandle handle);
ListObject* list_locked(HostListHandle handle);
HostValueHandle new_value_locked();
HostListHandle new_list_locked();
void free_value_locked(HostValueHandle handle);
void free_list_locked(HostListHandle handle);
void clear_value(ValueObject& value);
HostValueHandle copy_value_locked(HostValueHandle source);
HostListHandle copy_list_locked(HostListHandle source);
Snapshot snapshot_locked(HostValueHandle handle);
std::u32string decimal_text(std::int32_t value);

// The service tables handed to the component (test_host_services.cpp).
struct ServiceTables {
    HostStringServices strings{};
    HostDefaultProcedures defaults{};
    HostValueServices values{};
    HostListServices lists{};
    ServiceTables();
};
const ServiceTables& tables();

}  // namespace testhost::detail

#endif
