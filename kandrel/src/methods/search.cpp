// $search_ext, $search_ext_s and $result: searching the directory and
// collecting the answers of asynchronous operations.
#include <sys/time.h>

#include "methods.h"

namespace kandrel::methods {
namespace {

using library::Entry;

// The filter that selects every entry, sent for an empty Filter: the client
// library encodes an empty filter as nothing at all, which servers answer
// with a protocol error.
constexpr char kEveryEntry[] = "(objectClass=*)";
// The time-out of the waiting methods when none is given.
constexpr int kDefaultWaitSeconds = 10;

// Base, Scope, Filter, Attrs, AttrsOnly, ServerControls, ClientControls,
// Timeout: what both search methods read.
struct Search {
    params::ParamText base;
    std::int32_t scope = 0;
    params::ParamText filter;
    params::TextList attributes;
    std::int32_t attributes_only = 0;
    ControlList server;
    ControlList client;
    std::int32_t timeout = 0;

    const char* filter_text() const { return filter.get()[0] != '\0' ? filter.get() : kEveryEntry; }
};

// False when a control reference names no live controls.
bool read_search(MethodCall& call, Search& search)
{
    search.base = call.text(1);
    search.scope = call.integer(2);
    search.filter = call.text(3);
    search.attributes = call.list(4);
    search.attributes_only = call.integer(5);
    search.timeout = call.integer(8);
    return call.controls(6, search.server) && call.controls(7, search.client);
}

timeval seconds(std::int32_t count)
{
    timeval time{};
    time.tv_sec = count;
    return time;
}

}  // namespace

// $search_ext: the message id of the search, or -1 when the library sent
// none. An omitted or zero Timeout sets no time limit.
HostAnswer search(MethodCall& call)
{
    Search search;
    if (!read_search(call, search)) {
        return call.code(kCodeBadParameters);
    }
    timeval limit = seconds(search.timeout);
    int id = -1;
    const int code = library::call<Entry::ldap_search_ext>(
        call.ld(), search.base.get(), search.scope, search.filter_text(), search.attributes.get(),
        search.attributes_only, search.server.get(), search.client.get(),
        search.timeout != 0 ? &limit : nullptr, 0, &id);
    return call.result(code == 0 ? id : -1);
}

// $search_ext_s: the "MESS:" reference of the result chain, the empty text
// when the search did not end with code 0.
HostAnswer search_synchronously(MethodCall& call)
{
    Search search;
    if (!read_search(call, search)) {
        return call.code(kCodeBadParameters);
    }
    timeval limit = seconds(search.timeout > 0 ? search.timeout : kDefaultWaitSeconds);
    LibraryMessage chain;
    const int code = library::call<Entry::ldap_search_ext_s>(
        call.ld(), search.base.get(), search.scope, search.filter_text(), search.attributes.get(),
        search.attributes_only, search.server.get(), search.client.get(), &limit, 0, out(chain));
    if (code != 0) {
        chain.reset();
    }
    return call.written(
        refs::hand_out(call.call(), 0, refs::Kind::message, chain.release(), release_message));
}

// $result(MsgId, All[, Timeout]): the "MESS:" reference of what arrived, or
// the library's -1 (error) or 0 (time-out) as an integer.
HostAnswer result(MethodCall& call)
{
    const std::int32_t id = call.integer(1);
    const std::int32_t all = call.integer(2);
    const std::int32_t timeout = call.integer(3);
    timeval limit = seconds(timeout > 0 ? timeout : kDefaultWaitSeconds);
    LibraryMessage chain;
    const int type = library::call<Entry::ldap_result>(call.ld(), id, all, &limit, out(chain));
    if (type == -1 || type == 0) {
        return call.result(type);
    }
    return call.written(
        refs::hand_out(call.call(), 0, refs::Kind::message, chain.release(), release_message));
}

}  // namespace kandrel::methods
