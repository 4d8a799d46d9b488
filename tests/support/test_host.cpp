#include "test_host.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <cstring>
#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "test_host_store.h"

namespace testhost {

using namespace detail;

namespace {

std::u32string decode_utf8(std::string_view text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        if (i + static_cast<std::size_t>(extra) >= text.size()) {
            throw std::invalid_argument("truncated UTF-8 in a test argument");
        }
        for (int k = 1; k <= extra; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

// ---- Snapshot, Arg ---------------------------------------------------------

std::string Snapshot::utf8() const
{
    std::string out;
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool Snapshot::is_text(std::string_view expected) const
{
    if (type != HOST_TYPE_CHARACTER || text.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != static_cast<unsigned char>(expected[i])) {
            return false;
        }
    }
    return true;
}

Arg Arg::text(std::u32string characters)
{
    Arg arg;
    arg.kind_ = Kind::text;
    arg.text_ = std::move(characters);
    return arg;
}

Arg Arg::utf8(std::string_view text) { return Arg::text(decode_utf8(text)); }

Arg Arg::integer(std::int32_t value)
{
    Arg arg;
    arg.kind_ = Kind::integer;
    arg.integer_ = value;
    return arg;
}

Arg Arg::boolean(bool value)
{
    Arg arg;
    arg.kind_ = Kind::boolean;
    arg.integer_ = value ? 1 : 0;
    return arg;
}

Arg Arg::binary(std::vector<std::uint8_t> bytes)
{
    Arg arg;
    arg.kind_ = Kind::binary;
    arg.binary_ = std::move(bytes);
    return arg;
}

Arg Arg::list()
{
    Arg arg;
    arg.kind_ = Kind::list;
    return arg;
}

Arg Arg::absent() { return Arg(); }

Arg Arg::empty_value()
{
    Arg arg;
    arg.kind_ = Kind::empty;
    return arg;
}

// ---- Store access ------------------------------------------------------------

std::size_t live_values()
{
    Guard guard(store().lock);
    return store().values.size();
}

std::size_t live_lists()
{
    Guard guard(store().lock);
    return store().lists.size();
}

std::size_t bad_handles()
{
    Guard guard(store().lock);
    return store().bad_handles;
}

std::size_t string_loads()
{
    Guard guard(store().lock);
    return store().string_loads;
}

HostValueHandle make_value(const Arg& arg)
{
    Guard guard(store().lock);
    const HostValueHandle handle = new_value_locked();
    ValueObject& value = *store().values[handle];
    switch (arg.kind_) {
    case Arg::Kind::text:
        value.type = HOST_TYPE_CHARACTER;
        value.text = arg.text_;
        break;
    case Arg::Kind::integer:
        value.type = HOST_TYPE_INTEGER;
        value.integer = arg.integer_;
        break;
    case Arg::Kind::boolean:
        value.type = HOST_TYPE_BOOLEAN;
        value.integer = arg.integer_;
        break;
    case Arg::Kind::binary:
        value.type = HOST_TYPE_BINARY;
        value.binary = arg.binary_;
        break;
    case Arg::Kind::list:
        value.type = HOST_TYPE_LIST;
        value.list = new_list_locked();
        break;
    case Arg::Kind::absent:
    case Arg::Kind::empty:
        break;
    }
    return handle;
}

void free_value(HostValueHandle value)
{
    Guard guard(store().lock);
    free_value_locked(value);
}

Snapshot snapshot(HostValueHandle value)
{
    Guard guard(store().lock);
    return snapshot_locked(value);
}

const HostStringServices* string_services() { return &tables().strings; }
const HostDefaultProcedures* default_procedures() { return &tables().defaults; }
const HostValueServices* value_services() { return &tables().values; }
const HostListServices* list_services() { return &tables().lists; }

HostAnswer default_answer(std::uint32_t message) { return 0x7000000 + static_cast<HostAnswer>(message); }

// ---- Request -----------------------------------------------------------------

namespace {
void fill_info(HostCallInfo& info, std::int32_t class_id, std::uint32_t group_key)
{
    std::memset(&info, 0, sizeof info);
    info.class_id = class_id;
    info.group_key = group_key;
    info.string_services = string_services();
    info.default_procedures = default_procedures();
    info.value_services = value_services();
    info.list_services = list_services();
}
}  // namespace

Request::Request(std::int32_t class_id, std::uint32_t group_key, std::int32_t id,
                 const std::vector<Arg>& params, bool header)
{
    fill_info(info_, class_id, group_key);
    if (header) {
        add_item(id, 0, 0);
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!params[i].is_absent()) {
            add_item(own_items_.empty() ? id : 0, static_cast<std::uint8_t>(i + 1), make_value(params[i]));
        }
    }
}

Request::Request(std::int32_t class_id, std::uint32_t group_key, const Arg& item0)
{
    fill_info(info_, class_id, group_key);
    add_item(0, 0, make_value(item0));
}

Request::~Request()
{
    // Only the host's own items are the host's to free; anything the
    // component left on the list is its business (tests check it is none).
    for (HostItem* item : own_items_) {
        if (item->value != 0) {
            free_value(item->value);
        }
        delete item;
    }
}

void Request::add_item(std::int32_t id, std::uint8_t number, HostValueHandle value)
{
    auto* item = new HostItem{};
    item->id = id;
    item->number = number;
    item->value = value;
    HostItem** link = &info_.items;
    while (*link != nullptr) {
        link = &(*link)->next;
    }
    *link = item;
    own_items_.push_back(item);
}

std::optional<Snapshot> Request::result() const
{
    for (const HostItem* item = info_.items; item != nullptr; item = item->next) {
        if (item->number == 0 && (item->flags & HOST_ITEM_MADE_BY_COMPONENT) != 0) {
            return snapshot(item->value);
        }
    }
    return std::nullopt;
}

Snapshot Request::param(int n) const
{
    for (const HostItem* item : own_items_) {
        if (item->number == n && n > 0) {
            return snapshot(item->value);
        }
    }
    return Snapshot{};
}

bool Request::changed(int n) const
{
    for (const HostItem* item : own_items_) {
        if (item->number == n && n > 0) {
            return (item->flags & HOST_ITEM_CHANGED) != 0;
        }
    }
    return false;
}

std::size_t Request::component_items() const
{
    std::size_t n = 0;
    for (const HostItem* item = info_.items; item != nullptr; item = item->next) {
        n += (item->flags & HOST_ITEM_MADE_BY_COMPONENT) != 0 ? 1 : 0;
    }
    return n;
}

std::size_t Request::host_items() const
{
    std::size_t n = 0;
    for (const HostItem* item = info_.items; item != nullptr; item = item->next) {
        n += (item->flags & HOST_ITEM_MADE_BY_COMPONENT) == 0 ? 1 : 0;
    }
    return n;
}

// ---- Component -----------------------------------------------------------------

void set_service_hooks(void (*enter)(), void (*leave)())
{
    hooks.enter = enter;
    hooks.leave = leave;
}

#ifdef _WIN32
Component::Component(const std::string& path)
{
    library_ = LoadLibraryA(path.c_str());
    if (library_ != nullptr) {
        proc_ = reinterpret_cast<HostComponentProc>(reinterpret_cast<void*>(
            GetProcAddress(static_cast<HMODULE>(library_), HOST_COMPONENT_EXPORT_NAME)));
    }
}

Component::~Component()
{
    if (library_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(library_));
    }
}
#else
Component::Component(const std::string& path)
{
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) {
        proc_ = reinterpret_cast<HostComponentProc>(dlsym(library_, HOST_COMPONENT_EXPORT_NAME));
    }
}

Component::~Component()
{
    if (library_ != nullptr) {
        dlclose(library_);
    }
}
#endif

HostAnswer Component::send(std::uint32_t message, HostWParam wparam, HostLParam lparam,
                           HostCallInfo* call, HostWindow window) const
{
    return proc_ != nullptr ? proc_(window, message, wparam, lparam, call) : 0;
}

std::string default_component_path()
{
#ifdef KANDREL_PLUGIN_PATH
    return KANDREL_PLUGIN_PATH;
#else
    return "libkandrel.so";
#endif
}

// ---- TestHost ------------------------------------------------------------------

HostAnswer TestHost::connect()
{
    Request request(kSessionClass, group_key_, 0, {}, false);
    return component_.send(HOSTMSG_CONNECT, 0, 0, request.info());
}

HostAnswer TestHost::disconnect()
{
    Request request(kSessionClass, group_key_, 0, {}, false);
    return component_.send(HOSTMSG_DISCONNECT, 0, 0, request.info());
}

HostAnswer TestHost::create(HostLParam instance, std::int32_t class_id)
{
    Request request(class_id, group_key_, 0, {}, false);
    return component_.send(HOSTMSG_OBJECT_CREATE, 0, instance, request.info());
}

HostAnswer TestHost::destroy(HostLParam instance)
{
    Request request(kSessionClass, group_key_, 0, {}, false);
    return component_.send(HOSTMSG_OBJECT_DELETE, 0, instance, request.info());
}

HostAnswer TestHost::copy(HostLParam source, HostLParam target)
{
    Request request(kSessionClass, group_key_, 0, {}, false);
    HostLParam instances[2] = {source, target};
    return component_.send(HOSTMSG_OBJECT_COPY, 0, reinterpret_cast<HostLParam>(instances),
                           request.info());
}

Reply TestHost::exchange(std::uint32_t message, HostLParam lparam, Request& request,
                         HostWParam wparam, int highest_param)
{
    Reply reply;
    reply.answer = component_.send(message, wparam, lparam, request.info());
    reply.result = request.result();
    for (int n = 1; n <= highest_param; ++n) {
        reply.params[n] = request.param(n);
        reply.changed[n] = request.changed(n);
    }
    reply.component_items = request.component_items();
    component_.send(HOSTMSG_RELEASE_RESULTS, 0, 0, request.info());
    reply.left_after_release = request.component_items();
    return reply;
}

Reply TestHost::call(HostLParam instance, std::int32_t method, const std::vector<Arg>& params)
{
    Request request(kSessionClass, group_key_, method, params);
    return exchange(HOSTMSG_METHOD_CALL, instance, request, 0, static_cast<int>(params.size()));
}

Reply TestHost::get_property(HostLParam instance, std::int32_t property)
{
    Request request(kSessionClass, group_key_, property);
    return exchange(HOSTMSG_PROPERTY_GET, instance, request, 1, 0);
}

Reply TestHost::set_property(HostLParam instance, std::int32_t property, const Arg& value)
{
    Request request(kSessionClass, group_key_, property, {value});
    return exchange(HOSTMSG_PROPERTY_SET, instance, request, 1, 1);
}

HostAnswer TestHost::can_assign(HostLParam instance, std::int32_t property)
{
    Request request(kSessionClass, group_key_, property);
    return component_.send(HOSTMSG_PROPERTY_CAN_ASSIGN, 1, instance, request.info());
}

Reply TestHost::message(std::uint32_t message, std::int32_t class_id, const std::vector<Arg>& params,
                        HostLParam lparam, HostWParam wparam)
{
    Request request(class_id, group_key_, 0, params);
    return exchange(message, lparam, request, wparam, static_cast<int>(params.size()));
}

Reply TestHost::table_into_list(std::uint32_t message, std::int32_t class_id)
{
    Request request(class_id, group_key_, Arg::list());
    Reply reply;
    reply.answer = component_.send(message, 0, 0, request.info());
    reply.component_items = request.component_items();
    reply.result = snapshot(request.info()->items->value);
    component_.send(HOSTMSG_RELEASE_RESULTS, 0, 0, request.info());
    reply.left_after_release = request.component_items();
    return reply;
}

std::vector<std::u32string> TestHost::enumerate_strings()
{
    std::vector<std::u32string> collected;
    Request request(kSessionClass, group_key_, 0, {}, false);
    component_.send(HOSTMSG_ENUMERATE_STRINGS, 0, reinterpret_cast<HostLParam>(&collected),
                    request.info());
    return collected;
}

}  // namespace testhost
