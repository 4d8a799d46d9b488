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

// The parameter lists, shared by the methods that take the same parameters.
using P = ParameterRecord;
constexpr P kInit[] = {{Host, kChar, 0}, {Port, kInt, 0}};
constexpr P kSetOption[] = {{Option, kInt, 0}, {Value, kAny, 0}};
constexpr P kGetOption[] = {{Option, kInt, 0}, {Value, kAny, kByRef}};
constexpr P kBind[] = {{LoginDN, kChar, kOptional}, {Password, kChar, kOptional}};
constexpr P kAdd[] = {{DN, kChar, 0}, {Attributes, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0}};
constexpr P kModify[] = {{DN, kChar, 0}, {Mods, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0}};
constexpr P kCompare[] = {{DN, kChar, 0}, {Attributes, kChar, 0}, {Value, kChar, 0}};
constexpr P kSearchReference[] = {{SearchReference, kChar, 0}};
constexpr P kMessageReference[] = {{MessageReference, kChar, 0}};
constexpr P kReference[] = {{Reference, kChar, 0}};
constexpr P kParseResult[] = {{MessageReference, kChar, 0}, {ErrorCode, kInt, kByRef},
                              {MatchString, kChar, kByRef}, {ErrorMsg, kChar, kByRef},
                              {Referrals, kChar, kByRef},   {ServerControls, kChar, kByRef},
                              {FreeRes, kBool, 0}};
constexpr P kParseReference[] = {{MessageReference, kChar, 0}, {Referrals, kChar, 0},
                                 {ServerControls, kChar, kByRef}, {FreeRes, kBool, 0}};
constexpr P kSearch[] = {{Base, kChar, 0},           {Scope, kInt, 0},
                         {Filter, kChar, kOptional}, {Attrs, kChar, kOptional},
                         {AttrsOnly, kBool, kOptional}, {ServerControls, kChar, kOptional},
                         {ClientControls, kChar, kOptional}, {Timeout, kInt, kOptional}};
constexpr P kFirstAttribute[] = {{Reference, kChar, 0}, {OutBerElementReference, kChar, kByRef}};
constexpr P kNextAttribute[] = {{Reference, kChar, 0}, {BerElementReference, kChar, 0}};
constexpr P kValues[] = {{EntryReference, kChar, 0}, {Attribute, kChar, 0}};
constexpr P kDelete[] = {{DN, kChar, 0}, {ServerControls, kChar, kOptional}, {ClientControls, kChar, kOptional}};
constexpr P kResult[] = {{MsgId, kInt, 0}, {All, kInt, 0}, {Timeout, kInt, kOptional}};
constexpr P kPersistentSearch[] = {{Type, kInt, 0}, {ChangesOnly, kBool, 0}, {ReturnEntryChanges, kBool, 0},
                                   {IsCritical, kBool, 0}, {Control, kChar, kByRef}};
constexpr P kChangeItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}, {ValueOfItem, kChar, 0}};
constexpr P kGetItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}};
constexpr P kGetNthItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}, {Index, kChar, 0}};

// One record per method, in id order from 2000.
constexpr std::array<MethodRecord, 35> kMethods = {{
    {2000, kInt, {}},                   // $available
    {2001, kInt, kInit},                // $init
    {2002, kInt, {}},                   // $unbind_s
    {2003, kInt, kSetOption},           // $set_option
    {2004, kInt, kGetOption},           // $get_option
    {2005, kInt, kBind},                // $simple_bind_s
    {2006, kInt, kAdd},                 // $add_ext_s
    {2007, kInt, kModify},              // $modify_ext_s
    {2008, kInt, kCompare},             // $compare_s
    {2009, kInt, kSearchReference},     // $count_entries
    {2010, kInt, kSearchReference},     // $count_references
    {2011, kInt, kSearchReference},     // $count_messages
    {2012, kInt, kMessageReference},    // $msgtype
    {2013, kInt, kMessageReference},    // $msgid
    {2014, kChar, kReference},          // $first_message
    {2015, kChar, kReference},          // $next_message
    {2016, kInt, kParseResult},         // $parse_result
    {2017, kInt, kParseReference},      // $parse_reference
    {2018, kInt, kSearch},              // $search_ext
    {2019, kChar, kSearch},             // $search_ext_s
    {2020, kInt, kReference},           // $free
    {2021, kChar, kSearchReference},    // $first_entry
    {2022, kChar, kReference},          // $next_entry
    {2023, kChar, kFirstAttribute},     // $first_attribute
    {2024, kChar, kNextAttribute},      // $next_attribute
    {2025, kBinary, kValues},           // $get_values_len
    {2026, kChar, kValues},             // $get_values
    {2027, kInt, kDelete},              // $delete_ext_s
    {2028, kChar, kReference},          // $get_dn
    {2029, kChar, kResult},             // $result
    {2030, kInt, kPersistentSearch},    // $create_persistent_search_cont
    {2031, kChar, kChangeItem},         // $add_att
    {2032, kChar, kChangeItem},         // $set_att
    {2033, kChar, kGetItem},            // $get_att
    {2034, kChar, kGetNthItem},         // $get_att_array_item
}};

constexpr bool ids_run_from_2000()
{
    for (std::size_t i = 0; i < kMethods.size(); ++i) {
        if (kMethods[i].id != 2000 + static_cast<std::int32_t>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(ids_run_from_2000(), "methods 2000 to 2034, in id order");
static_assert(kMethods[18].parameters.size() == 8 && kMethods[18].parameters[7].name_string == Timeout,
              "$search_ext takes eight parameters, Timeout last");

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
// list that becomes the return value. Answers 1, or 0 when no list could be
// delivered.
template <class Fill>
HostAnswer fill_result_list(HostCallInfo* call, Fill&& fill)
{
    const HostItem* item = params::find_item(call, 0);
    if (item != nullptr && item->value != 0 && host::Value(item->value).type() == HOST_TYPE_LIST) {
        const host::List list = host::List::of_value(item->value);
        if (!list.valid()) {
            return 0;
        }
        fill(list);
        return 1;
    }
    const host::List list = host::List::create();
    host::Value value;
    if (!list.valid() || value.handle() == 0) {
        return 0;
    }
    fill(list);
    value.set_list(list.handle());
    return params::append_return_value(call, value.release()) ? 1 : 0;
}

}  // namespace

std::span<const ClassRecord> classes() noexcept { return kClasses; }
std::span<const PropertyRecord> properties() noexcept { return kProperties; }
std::span<const MethodRecord> methods() noexcept { return kMethods; }

std::span<const ParameterRecord> parameters_of(const MethodRecord& method) noexcept
{
    return method.parameters;
}

HostAnswer announce_library_name(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    host::Value value;
    HostChar characters[kNameCapacity + 1];
    const std::int32_t count = resources::load(module, kLibraryNameString, characters, kNameCapacity);
    value.set_characters(characters, static_cast<std::size_t>(count));
    // Delivered: 0, as the host expects; otherwise -1.
    return value.handle() != 0 && params::append_return_value(call, value.release()) ? 0 : -1;
}

HostAnswer announce_constant_prefix(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    HostShortString text = host::make_short_string(80);
    resources::load(module, kConstantPrefixString, text);
    host::Value value;
    value.set_short_string(text);
    return value.handle() != 0 && params::append_return_value(call, value.release()) ? 1 : 0;
}

HostAnswer announce_classes(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    return fill_result_list(call, [module](const host::List& list) {
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
}

HostAnswer announce_properties(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    return fill_result_list(call, [module](const host::List& list) {
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
}

HostAnswer announce_methods(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    return fill_result_list(call, [module](const host::List& list) {
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
}

HostAnswer announce_constants(platform::ModuleHandle module, HostCallInfo* call) noexcept
{
    return fill_result_list(call, [module](const host::List& list) {
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
}

}  // namespace kandrel::tables
