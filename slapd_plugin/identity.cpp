// Who the connection is bound as, the requestor's effective privileges, and
// name conversion.
#include "directory.h"
#include "handlers.h"
#include "names.h"
#include "values.h"

namespace adminext {

namespace {

// The privilege bits: the access kinds slapd's rules grant on an attribute
// (or on the pseudo-attributes "entry" and "children").
constexpr int kAccessKinds[] = {SLAPI_ACL_COMPARE, SLAPI_ACL_SEARCH, SLAPI_ACL_READ,
                                SLAPI_ACL_WRITE,   SLAPI_ACL_DELETE, SLAPI_ACL_ADD};

struct PrivilegeTarget {
    EntryPtr entry;
    Reply refusal;
};

// The entry whose privileges are asked for, once the subject is known to be
// the requestor: slapd evaluates its access rules for the requestor only.
PrivilegeTarget privilege_target(Request& request, const std::string& dn, const std::string& subject)
{
    PrivilegeTarget target;
    std::optional<std::string> normal_subject = normalize_dn(subject);
    if (!normal_subject) {
        target.refusal = Reply::error(code::kInvalidDnSyntax, "the subject is not a DN");
        return target;
    }
    if (!normal_subject->empty() && *normal_subject != request.requestor()) {
        target.refusal = Reply::refused(
            "effective privileges are evaluated for the requesting identity only: the subject must be empty or "
            "the requestor's own DN");
        return target;
    }
    int rc = code::kSuccess;
    target.entry = read_entry(dn, &rc);
    if (!target.entry)
        target.refusal = Reply::error(rc, "the entry cannot be read");
    return target;
}

std::int32_t privileges(Request& request, Slapi_Entry* entry, const std::string& attribute)
{
    std::int32_t bits = 0;
    for (int kind : kAccessKinds)
        if (access_allowed(request.pblock(), entry, attribute, kind))
            bits |= kind;
    return bits;
}

}  // namespace

Reply get_bind_dn(Request& request)
{
    if (!request.value().empty())
        return Reply::malformed("this request carries no value");
    const char* dn = get_string(request.pblock(), SLAPI_CONN_DN);
    return Reply::success(write_string(dn != nullptr ? dn : ""));
}

// Request: OCTET STRING holding big-endian UTF-16 with a zero terminator
// unit. Answer: the DN in UTF-8, once slapd reads it as a DN.
Reply vorn_to_ldap(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    std::optional<std::string> dn = utf16be_to_utf8(run->strings[0]);
    if (!dn)
        return Reply::malformed("the name must be big-endian UTF-16 ending in one zero unit");
    if (!normalize_dn(*dn))
        return Reply::error(code::kInvalidDnSyntax, "the name is not a DN");
    return Reply::success(write_string(*dn));
}

Reply dns_to_x500_dn(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    std::optional<std::string> dn = dns_to_dn(run->strings[0]);
    if (!dn)
        return Reply::error(code::kInvalidDnSyntax, "the name is not a DNS name");
    return Reply::success(write_string(*dn));
}

// Request: OCTET STRING dn, OCTET STRING subject, OCTET STRING attribute.
Reply effective_privileges(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "sss");
    if (!run)
        return Reply::malformed("the request value must be three OCTET STRINGs");
    PrivilegeTarget target = privilege_target(request, run->strings[0], run->strings[1]);
    if (!target.entry)
        return target.refusal;
    return Reply::success(write_integer(privileges(request, target.entry.get(), run->strings[2])));
}

Reply effective_privileges_list(Request& request)
{
    std::optional<PrivilegesListRequest> list = read_privileges_list_request(request.value());
    if (!list)
        return Reply::malformed("the request value must be two OCTET STRINGs and a SEQUENCE OF OCTET STRING");
    PrivilegeTarget target = privilege_target(request, list->dn, list->subject);
    if (!target.entry)
        return target.refusal;
    std::vector<std::int32_t> found;
    for (const std::string& attribute : list->attributes)
        found.push_back(privileges(request, target.entry.get(), attribute));
    return Reply::success(write_privileges_list(found));
}

}  // namespace adminext
