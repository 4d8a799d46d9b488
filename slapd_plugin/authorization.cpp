#include "authorization.h"

#include "configuration.h"
#include "directory.h"

namespace adminext {

Reply authorize(Request& request)
{
    if (is_root_dn(request.requestor()))
        return {};
    const std::string& group = settings().administrators;
    if (!group.empty() && is_group_member(group, request.requestor()))
        return {};
    return Reply::error(code::kInsufficientAccess,
                        group.empty() ? "only a root DN may use this operation"
                                      : "only a root DN or a member of " + group + " may use this operation");
}

}  // namespace adminext
