// Replication filters, kept per naming context in memory for as long as
// the server runs. The DN a request names is the naming context whose
// filter it sets or reads.
#include <map>
#include <mutex>

#include "directory.h"
#include "handlers.h"
#include "values.h"

namespace adminext {

namespace {

class FilterStore {
public:
    void set(const std::string& context, ReplicationFilter filter)
    {
        std::lock_guard lock(mutex_);
        filters_[context] = std::move(filter);
    }
    ReplicationFilter get(const std::string& context)
    {
        std::lock_guard lock(mutex_);
        auto found = filters_.find(context);
        return found == filters_.end() ? ReplicationFilter() : found->second;
    }

private:
    std::mutex mutex_;
    std::map<std::string, ReplicationFilter> filters_;
};

FilterStore& store()
{
    static FilterStore filters;
    return filters;
}

// The normalised naming context a request names, or the refusal.
std::optional<std::string> context_of(const std::string& dn, Reply& refusal)
{
    if (!is_naming_context(dn)) {
        refusal = Reply::error(code::kNoSuchObject, dn + " is not a naming context of this server");
        return std::nullopt;
    }
    return normalize_dn(dn);
}

}  // namespace

// Request: OCTET STRING naming context, then the filter.
Reply set_replication_filter(Request& request)
{
    std::optional<SetFilterRequest> parsed = read_set_filter_request(request.value());
    if (!parsed)
        return Reply::malformed(
            "the request value must be an OCTET STRING and a SEQUENCE OF { class, SEQUENCE OF attribute }, "
            "with names that are not empty and hold no '$'");
    Reply refusal;
    std::optional<std::string> context = context_of(parsed->dn, refusal);
    if (!context)
        return refusal;
    store().set(*context, std::move(parsed->filter));
    return {};
}

// Request: OCTET STRING naming context. Answer: its filter, empty when none
// was set.
Reply get_replication_filter(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    Reply refusal;
    std::optional<std::string> context = context_of(run->strings[0], refusal);
    if (!context)
        return refusal;
    return Reply::success(write_filter(store().get(*context)));
}

}  // namespace adminext
