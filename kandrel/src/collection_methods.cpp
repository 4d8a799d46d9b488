#include "collection_methods.h"

#include <string>

#include "attribute_collection.h"
#include "parameters.h"
#include "session_object.h"

namespace kandrel::collections {
namespace {

enum Parameter { kCollection = 1, kName = 2, kValue = 3, kIndex = 3 };

std::string read_text(const HostCallInfo* call, int n, bool utf8)
{
    params::Text text;
    params::get_string(call, n, utf8, text, false);
    return text ? std::string(text.get()) : std::string();
}

// Writes value (none: the empty value) as the return value and answers the
// success flag of the write.
HostAnswer return_value(HostCallInfo* call, std::optional<std::string_view> value, bool utf8)
{
    const std::string text = value ? std::string(*value) : std::string();
    return params::set_string(call, 0, utf8, value ? text.c_str() : nullptr) ? 1 : 0;
}

}  // namespace

HostAnswer run_method(HostCallInfo* call, std::int32_t id, bool utf8)
{
    AttributeCollection collection;
    collection.read_from_parameter(call, kCollection, utf8);
    const std::string name = read_text(call, kName, utf8);
    switch (id) {
    case kAddAtt:
    case kSetAtt: {
        const std::string value = read_text(call, kValue, utf8);
        if (id == kAddAtt) {
            collection.add(name, value);
        } else {
            collection.set_or_add(name, value);
        }
        return collection.write_to_parameter(call, 0, utf8) ? 0 : kCodeBadParameters;
    }
    case kGetAtt:
        return return_value(call, collection.get(name), utf8);
    case kGetAttArrayItem: {
        std::int32_t index = 0;
        params::get_int(call, kIndex, index, 0);
        return return_value(call, collection.get_nth(name, index), utf8);
    }
    default:
        return params::return_code(call, kCodeUnknownMethod);
    }
}

}  // namespace kandrel::collections
