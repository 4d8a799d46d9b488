// Partitions are the databases of slapd's configuration: entry counts are
// answered from them; synchronisation requests have nothing to do and
// succeed.
#include "directory.h"
#include "handlers.h"
#include "values.h"

namespace adminext {

namespace {

constexpr char kNothingToSynchronise[] = "nothing to synchronise: this server holds the only replica";

Reply accept_shape(Request& request, std::string_view shape, const char* description)
{
    if (!read_run(request.value(), shape))
        return Reply::malformed(std::string("the request value must be ") + description);
    return Reply::error(code::kSuccess, kNothingToSynchronise);
}

}  // namespace

// Request: OCTET STRING dn. Answer: INTEGER, the entries at and below dn.
Reply partition_entry_count(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    int count = 0;
    if (int rc = count_entries(request.pblock(), run->strings[0], &count); rc != code::kSuccess)
        return Reply::error(rc, "the entries under " + run->strings[0] + " cannot be counted");
    return Reply::success(write_integer(count));
}

// Synchronisation with other replicas: there are none. The requests are
// checked and succeed without effect.
Reply accept_receive_all_updates(Request& request)
{
    return accept_shape(request, "sss", "three OCTET STRINGs");
}

Reply accept_send_all_updates(Request& request) { return accept_shape(request, "ss", "two OCTET STRINGs"); }

Reply accept_partition_sync(Request& request)
{
    return accept_shape(request, "ssi", "two OCTET STRINGs and an INTEGER");
}

Reply accept_schema_sync(Request& request) { return accept_shape(request, "si", "an OCTET STRING and an INTEGER"); }

// Background processes and the refresh: slapd has none to run and no cache
// to refresh.
Reply accept_without_value(Request& request)
{
    if (request.has_value() && !request.value().empty())
        return Reply::malformed("this request carries no value");
    return Reply::error(code::kSuccess, "nothing to do: slapd runs no such process and keeps no cache to refresh");
}

}  // namespace adminext
