#include "host_tables.h"

#include "host_services.h"
#include "host_values.h"
#include "methods/methods.h"
#include "parameters.h"
#include "resource_strings.h"

namespace kandrel::tables {
namespace {

constexpr std::int32_t kBool = HOST_TYPE_BOOLEAN;

constexpr std::array<ClassRecord, 1> kClasses = {{{kSessionClassId, 1001, 0, 0}}};

constexpr std::array<PropertyRecord, 3> kProperties = {{
    {2100, 2100, kBool, HOST_PROPERTY_READ_ONLY},  // $session
    {2101, 2101, kBool, 0},                        // $utf8
    {2102, 2102, kBool, 0},                        // $debug
}};

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
        for (const methods::Method& record : methods::kMethods) {
            const std::int32_t row = list.add_row();
            set_integer_cell(list, row, 1, record.id);
            set_string_cell(module, list, row, 2, static_cast<unsigned>(record.id));
            set_integer_cell(list, row, 3, record.result_type);
            set_integer_cell(list, row, 4, 0);
            set_integer_cell(list, row, 5, 0);
            const host::List parameter_list = host::List::create();
            for (const ParameterRecord& parameter : record.parameters) {
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
