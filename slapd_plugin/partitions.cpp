// Partitions are the databases of slapd's configuration: entry counts are
// answered from them. Background processes have nothing to run.
#include "directory.h"
#include "handlers.h"
#include "values.h"

namespace adminext {

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

// Background processes and the refresh: slapd has none to run and no cache
// to refresh.
Reply accept_without_value(Request& request)
{
    if (request.has_value() && !request.value().empty())
        return Reply::malformed("this request carries no value");
    return Reply::error(code::kSuccess, "nothing to do: slapd runs no such process and keeps no cache to refresh");
}

}  // namespace adminext
