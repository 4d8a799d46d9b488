// $add_att, $set_att, $get_att and $get_att_array_item: building and reading
// attribute collections. They need no session.
#include <optional>
#include <string>
#include <string_view>

#include "methods.h"

namespace kandrel::methods {
namespace {

enum Parameter { kCollection = 1, kName = 2, kValue = 3, kIndex = 3 };

// Writes value (none: the empty value) as the return value and answers the
// success flag of the write.
HostAnswer return_value(MethodCall& call, std::optional<std::string_view> value)
{
    const std::string text = value ? std::string(*value) : std::string();
    return call.text_result(value ? text.c_str() : nullptr);
}

enum class Change { add, set_or_add };

// The collection with one item added or set, written back as the return
// value. A collection, name or value that cannot be converted is refused: the
// host program assigns the answer over its collection, which must never come
// back with items lost.
HostAnswer change(MethodCall& call, Change how)
{
    AttributeCollection collection;
    params::ParamText name;
    params::ParamText value;
    if (!call.collection(kCollection, collection) || !call.text(kName, name) || !call.text(kValue, value)) {
        return call.code(kCodeBadParameters);
    }
    if (how == Change::set_or_add) {
        collection.set_or_add(name.get(), value.get());
    } else {
        collection.add(name.get(), value.get());
    }
    return collection.write_to_parameter(call.call(), 0, call.utf8()) ? 0 : kCodeBadParameters;
}

}  // namespace

HostAnswer add_att(MethodCall& call) { return change(call, Change::add); }
HostAnswer set_att(MethodCall& call) { return change(call, Change::set_or_add); }

// The first (nth 0) or the nth item of a name, written as the return value.
HostAnswer get(MethodCall& call, std::int32_t nth)
{
    AttributeCollection collection;
    params::ParamText name;
    if (!call.collection(kCollection, collection) || !call.text(kName, name)) {
        return call.code(kCodeBadParameters);
    }
    return return_value(call, nth == 0 ? collection.get(name.get()) : collection.get_nth(name.get(), nth));
}

HostAnswer get_att(MethodCall& call) { return get(call, 0); }

// Index 0 or below names no item: its answer is the empty value.
HostAnswer get_att_array_item(MethodCall& call)
{
    const std::int32_t index = call.integer(kIndex);
    return index < 1 ? return_value(call, std::nullopt) : get(call, index);
}

}  // namespace kandrel::methods
