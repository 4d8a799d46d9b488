#include "values.h"

#include "ber.h"

namespace adminext {

namespace {

bool read_strings(BerReader& reader, std::vector<std::string>& strings)
{
    BerReader list;
    if (!reader.enter(list))
        return false;
    while (!list.at_end())
        if (!list.octets(strings.emplace_back()))
            return false;
    return true;
}

// SET { SEQUENCE { INTEGER } ... }, one per number.
void write_integer_set(BerWriter& writer, const std::vector<std::int32_t>& numbers)
{
    writer.open(tag::kSet);
    for (std::int32_t number : numbers) {
        writer.open();
        writer.integer(number);
        writer.close();
    }
    writer.close();
}

bool is_filter_name(const std::string& name) { return !name.empty() && name.find('$') == std::string::npos; }

}  // namespace

std::optional<Run> read_run(std::string_view value, std::string_view shape)
{
    BerReader reader(value);
    Run run;
    for (char kind : shape) {
        bool read = kind == 'i' ? reader.integer(run.integers.emplace_back())
                                : reader.octets(run.strings.emplace_back());
        if (!read)
            return std::nullopt;
    }
    if (!reader.at_end())
        return std::nullopt;
    return run;
}

std::optional<PrivilegesListRequest> read_privileges_list_request(std::string_view value)
{
    BerReader reader(value);
    PrivilegesListRequest request;
    if (!reader.octets(request.dn) || !reader.octets(request.subject) || !read_strings(reader, request.attributes) ||
        !reader.at_end())
        return std::nullopt;
    return request;
}

std::string write_privileges_list(const std::vector<std::int32_t>& privileges)
{
    BerWriter writer;
    writer.open();
    writer.open();
    writer.integer(static_cast<std::int64_t>(privileges.size()));
    writer.close();
    write_integer_set(writer, privileges);
    writer.close();
    return writer.bytes();
}

std::optional<SetFilterRequest> read_set_filter_request(std::string_view value)
{
    BerReader reader(value);
    SetFilterRequest request;
    BerReader classes;
    if (!reader.octets(request.dn) || !reader.enter(classes) || !reader.at_end())
        return std::nullopt;
    while (!classes.at_end()) {
        BerReader entry;
        FilterClass& added = request.filter.emplace_back();
        if (!classes.enter(entry) || !entry.octets(added.name) || !read_strings(entry, added.attributes) ||
            !entry.at_end() || !is_filter_name(added.name))
            return std::nullopt;
        for (const std::string& attribute : added.attributes)
            if (!is_filter_name(attribute))
                return std::nullopt;
    }
    return request;
}

std::string write_filter(const ReplicationFilter& filter)
{
    BerWriter writer;
    writer.open();
    for (const FilterClass& entry : filter) {
        writer.open();
        writer.octets(entry.name);
        writer.open();
        for (const std::string& attribute : entry.attributes)
            writer.octets(attribute);
        writer.close();
        writer.close();
    }
    writer.close();
    return writer.bytes();
}

std::string write_backup(std::int32_t state1, std::int32_t state2, std::string_view data)
{
    BerWriter writer;
    writer.integer(static_cast<std::int64_t>(data.size()));
    writer.integer(state1);
    writer.integer(state2);
    writer.octets(data);
    writer.open();
    writer.integer(1);
    write_integer_set(writer, {static_cast<std::int32_t>(data.size())});
    writer.close();
    return writer.bytes();
}

std::optional<RestoreRequest> read_restore_request(std::string_view value)
{
    BerReader reader(value);
    RestoreRequest request;
    std::int32_t length = 0;
    std::int32_t count = 0;
    BerReader sizes;
    BerReader set;
    if (!reader.octets(request.dn) || !reader.octets(request.extra) || !reader.integer(length) ||
        !reader.octets(request.data) || !reader.enter(sizes) || !reader.at_end() || !sizes.integer(count) ||
        !sizes.enter(set, tag::kSet) || !sizes.at_end())
        return std::nullopt;
    if (length < 0 || static_cast<std::size_t>(length) != request.data.size())
        return std::nullopt;
    std::int64_t total = 0;
    std::int32_t chunks = 0;
    while (!set.at_end()) {
        BerReader chunk;
        std::int32_t size = 0;
        if (!set.enter(chunk) || !chunk.integer(size) || !chunk.at_end() || size < 0)
            return std::nullopt;
        total += size;
        ++chunks;
    }
    if (chunks != count || total != length)
        return std::nullopt;
    return request;
}

std::string write_replica_info(const std::int32_t (&head)[5], std::string_view server, const std::int32_t (&tail)[2])
{
    BerWriter writer;
    for (std::int32_t number : head)
        writer.integer(number);
    writer.octets(server);
    for (std::int32_t number : tail)
        writer.integer(number);
    return writer.bytes();
}

std::string write_strings(const std::vector<std::string>& strings)
{
    BerWriter writer;
    writer.open();
    for (const std::string& text : strings)
        writer.octets(text);
    writer.close();
    return writer.bytes();
}

std::string write_string(std::string_view text)
{
    BerWriter writer;
    writer.octets(text);
    return writer.bytes();
}

std::string write_integer(std::int32_t number)
{
    BerWriter writer;
    writer.integer(number);
    return writer.bytes();
}

}  // namespace adminext
