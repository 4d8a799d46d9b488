#include "host_tables.h"

#include "host_services.h"
#include "host_values.h"
#include "parameters.h"
#include "resource_strings.h"

namespace kandrel::tables {
namespace {

constexpr std::int32_t kAny = HOST_TYPE_ANY;
constexpr std::int32_t kChar = HOST_TYPE_CHARACTER;
constexpr std::int32_t kBool = HOST_TYPE_BOOLEAN;
constexpr std::int32_t kInt = HOST_TYPE_INTEGER;
constexpr std::int32_t kBinary = HOST_TYPE_BINARY;
constexpr std::int32_t kOptional = HOST_PARAM_OPTIONAL;
constexpr std::int32_t kByRef = HOST_PARAM_REFERENCE;

// Parameter name strings.
enum Name : std::int32_t {
    Host = 2500, Port, Option, Value, LoginDN, Password, DN, Attributes, ServerControls,
    ClientControls, Mods, SearchReference, MessageReference, Reference, ErrorCode, MatchString,
    ErrorMsg, Referrals, FreeRes, Base, Scope, Filter, Attrs, AttrsOnly, Timeout,
    OutBerElementReference, BerElementReference, EntryReference, Attribute, MsgId, All, Type,
    ChangesOnly, ReturnEntryChanges, IsCritical, Control, Collection, NameOfItem, ValueOfItem,
    Index
};
static_assert(Index == 2539, "parameter names end at string 2539");

constexpr std::array<ClassRecord, 1> kClasses = {{{kSessionClassId, 1001, 0, 0}}};

constexpr std::array<PropertyRecord, 3> kProperties = {{
    {2100, 2100, kBool, HOST_PROPERTY_READ_ONLY},  // $session
    {2101, 2101, kBool, 0},                        // $utf8
    {2102, 2102, kBool, 0},                        // $debug
}};

// The parameters of every method, method after method in id order.
constexpr ParameterRecord kParameters[] = {
    // 2001 $init
    {Host, kChar, 0}, {Port, kInt, 0},
    // 2003 $set_option
    {Option, kInt, 0}, {Value, kAny, 0},
    // 2004 $get_option
    {Option, kInt, 0}, {Value, kAny, kByRef},
    // 2005 $simple_bind_s
    {LoginDN, kChar, kOptional}, {Password, kChar, kOptional},
    // 2006 $add_ext_s
    {DN, kChar, 0}, {Attributes, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0},
    // 2007 $modify_ext_s
    {DN, kChar, 0}, {Mods, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0},
    // 2008 $compare_s
    {DN, kChar, 0}, {Attributes, kChar, 0}, {Value, kChar, 0},
    // 2009 to 2011 $count_entries, $count_references, $count_messages
    {SearchReference, kChar, 0}, {SearchReference, kChar, 0}, {SearchReference, kChar, 0},
    // 2012, 2013 $msgtype, $msgid
    {MessageReference, kChar, 0}, {MessageReference, kChar, 0},
    // 2014, 2015 $first_message, $next_message
    {Reference, kChar, 0}, {Reference, kChar, 0},
    // 2016 $parse_result
    {MessageReference, kChar, 0}, {ErrorCode, kInt, kByRef}, {MatchString, kChar, kByRef},
    {ErrorMsg, kChar, kByRef}, {Referrals, kChar, kByRef}, {ServerControls, kChar, kByRef},
    {FreeRes, kBool, 0},
    // 2017 $parse_reference
    {MessageReference, kChar, 0}, {Referrals, kChar, 0}, {ServerControls, kChar, kByRef},
    {FreeRes, kBool, 0},
    // 2018 $search_ext
    {Base, kChar, 0}, {Scope, kInt, 0}, {Filter, kChar, kOptional}, {Attrs, kChar, kOptional},
    {AttrsOnly, kBool, kOptional}, {ServerControls, kChar, kOptional},
    {ClientControls, kChar, kOptional}, {Timeout, kInt, kOptional},
    // 2019 $search_ext_s
    {Base, kChar, 0}, {Scope, kInt, 0}, {Filter, kChar, kOptional}, {Attrs, kChar, kOptional},
    {AttrsOnly, kBool, kOptional}, {ServerControls, kChar, kOptional},
    {ClientControls, kChar, kOptional}, {Timeout, kInt, kOptional},
    // 2020 $free
    {Reference, kChar, 0},
    // 2021 $first_entry
    {SearchReference, kChar, 0},
    // 2022 $next_entry
    {Reference, kChar, 0},
    // 2023 $first_attribute
    {Reference, kChar, 0}, {OutBerElementReference, kChar, kByRef},
    // 2024 $next_attribute
    {Reference, kChar, 0}, {BerElementReference, kChar, 0},
    // 2025, 2026 $get_values_len, $get_values
    {EntryReference, kChar, 0}, {Attribute, kChar, 0},
    {EntryReference, kChar, 0}, {Attribute, kChar, 0},
    // 2027 $delete_ext_s
    {DN, kChar, 0}, {ServerControls, kChar, kOptional}, {ClientControls, kChar, kOptional},
    // 2028 $get_dn
    {Reference, kChar, 0},
    // 2029 $result
    {MsgId, kInt, 0}, {All, kInt, 0}, {Timeout, kInt, kOptional},
    // 2030 $create_persistent_search_cont
    {Type, kInt, 0}, {ChangesOnly, kBool, 0}, {ReturnEntryChanges, kBool, 0},
    {IsCritical, kBool, 0}, {Control, kChar, kByRef},
    // 2031, 2032 $add_att, $set_att
    {Collection, kChar, 0}, {NameOfItem, kChar, 0}, {ValueOfItem, kChar, 0},
    {Collection, kChar, 0}, {NameOfItem, kChar, 0}, {ValueOfItem, kChar, 0},
    // 2033 $get_att
    {Collection, kChar, 0}, {NameOfItem, kChar, 0},
    // 2034 $get_att_array_item
    {Collection, kChar, 0}, {NameOfItem, kChar, 0}, {Index, kChar, 0},
};

struct MethodShape {
    std::int32_t result_type;
    std::size_t parameter_count;
};

// Result type and parameter count of methods 2000 to 2034.
constexpr MethodShape kShapes[] = {
    {kInt, 0}, {kInt, 2}, {kInt, 0}, {kInt, 2}, {kInt, 2}, {kInt, 2}, {kInt, 4},    // 2000-2006
    {kInt, 4}, {kInt, 3}, {kInt, 1}, {kInt, 1}, {kInt, 1}, {kInt, 1}, {kInt, 1},    // 2007-2013
    {kChar, 1}, {kChar, 1}, {kInt, 7}, {kInt, 4}, {kInt, 8}, {kChar, 8}, {kInt, 1},  // 2014-2020
    {kChar, 1}, {kChar, 1}, {kChar, 2}, {kChar, 2}, {kBinary, 2}, {kChar, 2},        // 2021-2026
    {kInt, 3}, {kChar, 1}, {kChar, 3}, {kInt, 5}, {kChar, 3}, {kChar, 3},            // 2027-2032
    {kChar, 2}, {kChar, 3},                                                          // 2033-2034
};
constexpr std::int32_t kFirstMethod = 2000;
constexpr std::size_t kMethodCount = std::size(kShapes);
static_assert(kMethodCount == 35, "methods 2000 to 2034");

constexpr std::array<MethodRecord, kMethodCount> make_methods()
{
    std::array<MethodRecord, kMethodCount> records{};
    std::size_t next = 0;
    for (std::size_t i = 0; i < kMethodCount; ++i) {
        records[i] = {kFirstMethod + static_cast<std::int32_t>(i), kShapes[i].result_type, next,
                      kShapes[i].parameter_count};
        next += kShapes[i].parameter_count;
    }
    return records;
}

constexpr std::array<MethodRecord, kMethodCount> kMethods = make_methods();
static_assert(kMethods.back().first_parameter + kMethods.back().parameter_count ==
                  std::size(kParameters),
              "every parameter record belongs to exactly one method");
static_assert(kMethods[18].id == 2018 && kParameters[kMethods[18].first_parameter].name_string == Base &&
                  kParameters[kMethods[18].first_parameter + 7].name_string == Timeout,
              "$search_ext parameters are in place");
static_assert(kParameters[kMethods[34].first_parameter + 2].name_string == Index,
              "$get_att_array_item parameters are in place");

constexpr int kNameCapacity = HOST_SHORT_STRING_MAX;

// Sets cell (row, column) of list to an integer.
void set_integer_cell(const host::List& list, std::int32_t row, std::int32_t column,
                      std::int32_t value)
{
    host::Value(list.cell(row, column)).set_integer(value);
}

// Sets cell (row, column) to resource string id as characters.
void set_string_cell(platform::ModuleHandle module, const host::List& list, std::int32_t row,
                     std::int32_t column, unsigned id)
{
    HostChar characters[kNameCapacity + 1];
    const std::int32_t count = resources::load(module, id, characters, kNameCapacity);
    host::Value(list.cell(row, column)).set_characters(characters, static_cast<std::size_t>(count));
}

// Sets cell (row, column) to resource string id through a short string; id 0
// leaves the string empty.
void set_short_string_cell(platform::ModuleHandle module, const host::List& list, std::int32_t row,
                           std::int32_t column, unsigned id)
{
    HostShortString text = host::make_short_string(HOST_SHORT_STRING_MAX);
    if (id != 0) {
        resources::load(module, id, text);
    }
    host::Value(list.cell(row, column)).set_short_string(text);
}

// Fills a result list: the list value the host passed as item 0, or a new
// list that becomes the return value.
template <class Fill>
void fill_result_list(HostCallInfo* call, Fill&& fill)
{
    const HostItem* item = params::find_item(call, 0);
    if (item != nullptr && item->value != 0 && host::Value(item->value).type() == HOST_TYPE_LIST) {
        const host::List list = host::List::of_value(item->value);
        fill(list);
        return;
    }
    const host::List list = host::List::create();
    fill(list);
    host::Value value;
    if (value.handle() == 0) {
        return;
    }
    value.set_list(list.handle());
    params::append_return_value(call, value.release());
}

}  // namespace

std::span<const ClassRecord> classes() noexcept { return kClasses; }
std::span<const PropertyRecord> properties() noexcept { return kProperties; }
std::span<const MethodRecord> methods() noexcept { return kMethods; }

std::span<const ParameterRecord> parameters_of(const MethodRecord& method) noexcept
{
    return std::span<const ParameterRecord>(kParameters).subspan(method.first_parameter,
                                                                 method.parameter_count);
}

HostAnswer announce_library_name(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    host::Value value;
    HostChar characters[kNameCapacity + 1];
    const std::int32_t count = resources::load(module, kLibraryNameString, characters, kNameCapacity);
    value.set_characters(characters, static_cast<std::size_t>(count));
    if (value.handle() != 0) {
        params::append_return_value(call, value.release());
    }
    return 0;
}

HostAnswer announce_constant_prefix(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    HostShortString text = host::make_short_string(80);
    resources::load(module, kConstantPrefixString, text);
    host::Value value;
    value.set_short_string(text);
    if (value.handle() != 0) {
        params::append_return_value(call, value.release());
    }
    return 1;
}

HostAnswer announce_classes(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    fill_result_list(call, [module](const host::List& list) {
        std::int32_t previous_extra = 0;
        for (const ClassRecord& record : kClasses) {
            const std::int32_t row = list.add_row();
            set_integer_cell(list, row, 1, record.id);
            set_short_string_cell(module, list, row, 2, static_cast<unsigned>(record.name_string));
            set_integer_cell(list, row, 3, record.flags);
            set_short_string_cell(module, list, row, 4,
                                  record.extra_string == previous_extra
                                      ? 0u
                                      : static_cast<unsigned>(record.extra_string));
            previous_extra = record.extra_string;
        }
    });
    return 1;
}

HostAnswer announce_properties(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    fill_result_list(call, [module](const host::List& list) {
        for (const PropertyRecord& record : kProperties) {
            const std::int32_t row = list.add_row();
            set_integer_cell(list, row, 1, record.id);
            set_string_cell(module, list, row, 2, static_cast<unsigned>(record.name_string));
            set_integer_cell(list, row, 3, record.type);
            set_integer_cell(list, row, 4, record.flags);
            for (std::int32_t column = 5; column <= 7; ++column) {
                set_integer_cell(list, row, column, 0);
            }
        }
    });
    return 1;
}

HostAnswer announce_methods(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    fill_result_list(call, [module](const host::List& list) {
        for (const MethodRecord& record : kMethods) {
            const std::int32_t row = list.add_row();
            set_integer_cell(list, row, 1, record.id);
            set_string_cell(module, list, row, 2, static_cast<unsigned>(record.id));
            set_integer_cell(list, row, 3, record.result_type);
            set_integer_cell(list, row, 4, 0);
            set_integer_cell(list, row, 5, 0);
            const host::List parameter_list = host::List::create();
            for (const ParameterRecord& parameter : parameters_of(record)) {
                const std::int32_t parameter_row = parameter_list.add_row();
                set_string_cell(module, parameter_list, parameter_row, 1,
                                static_cast<unsigned>(parameter.name_string));
                set_integer_cell(parameter_list, parameter_row, 2, parameter.type);
                set_integer_cell(parameter_list, parameter_row, 3, parameter.flags);
                set_integer_cell(parameter_list, parameter_row, 4, 0);
            }
            host::Value(list.cell(row, 6)).set_list(parameter_list.handle());
        }
    });
    return 1;
}

HostAnswer announce_constants(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    fill_result_list(call, [module](const host::List& list) {
        HostChar characters[kNameCapacity + 1];
        for (unsigned id = kFirstConstantString; id <= kLastConstantString; ++id) {
            const std::int32_t count = resources::load(module, id, characters, kNameCapacity);
            if (count == 0) {
                continue;
            }
            const std::int32_t row = list.add_row();
            set_integer_cell(list, row, 1, static_cast<std::int32_t>(id));
            host::Value(list.cell(row, 2)).set_characters(characters, static_cast<std::size_t>(count));
        }
    });
    return 1;
}

}  // namespace kandrel::tables
