#include "event_values.h"

#include "ber.h"

namespace adminext {

namespace {

constexpr std::uint8_t kEntryRecordTag = 0x61;  // [APPLICATION 1], constructed

}  // namespace

std::optional<std::vector<EventSpec>> read_monitor_request(std::string_view value, bool filtered)
{
    BerReader reader(value);
    BerReader request;
    BerReader set;
    std::int32_t count = 0;
    if (!reader.enter(request) || !reader.at_end() || !request.integer(count) || !request.enter(set, tag::kSet) ||
        !request.at_end() || count < 1)
        return std::nullopt;
    std::vector<EventSpec> specs;
    while (!set.at_end()) {
        BerReader element;
        EventSpec& wanted = specs.emplace_back();
        if (!set.enter(element) || !element.integer(wanted.type) || !element.enumerated(wanted.status) ||
            (filtered && !element.octets(wanted.filter)) || !element.at_end())
            return std::nullopt;
    }
    if (specs.size() != static_cast<std::size_t>(count))
        return std::nullopt;
    return specs;
}

std::string write_monitor_response(const std::vector<EventSpec>& specs)
{
    BerWriter writer;
    writer.open();
    writer.integer(static_cast<std::int64_t>(specs.size()));
    writer.open(tag::kSet);
    for (const EventSpec& wanted : specs) {
        writer.open();
        writer.integer(wanted.type);
        writer.enumerated(wanted.status);
        writer.close();
    }
    writer.close();
    writer.close();
    return writer.bytes();
}

std::string write_notification(const EntryEvent& event)
{
    BerWriter writer;
    writer.open();
    writer.integer(event.type);
    writer.integer(event.result);
    writer.open(kEntryRecordTag);
    writer.octets(event.dn);
    writer.octets(event.requestor);
    writer.octets(event.detail);
    writer.open();
    writer.integer(static_cast<std::int32_t>(event.time));
    writer.integer(event.sequence);
    writer.integer(0);
    writer.close();
    writer.integer(0);
    writer.integer(0);
    writer.octets(event.changed);
    writer.close();
    writer.close();
    return writer.bytes();
}

}  // namespace adminext
