// Object backup and restore: the object data is the LDIF text of the entry's
// user attributes, sent whole in one response; a restore adds the entry
// again, as the requestor.
#include "directory.h"
#include "handlers.h"
#include "ldif.h"
#include "updates.h"
#include "values.h"

namespace adminext {

namespace {

// The state numbers of a backup: (parts sent, parts in all). A backup
// starts with no state (0, 0) and its one response carries (1, 1).
constexpr std::int32_t kWholeEntry = 1;

}  // namespace

// Request: OCTET STRING dn, INTEGER state1, INTEGER state2, OCTET STRING
// extra (not used by this server).
Reply backup_object(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "siis");
    if (!run)
        return Reply::malformed("the request value must be an OCTET STRING, two INTEGERs and an OCTET STRING");
    if (run->integers[0] != 0 || run->integers[1] != 0)
        return Reply::malformed("the whole entry comes with the first response: a backup starts with no state");
    int rc = code::kSuccess;
    EntryPtr entry = read_entry(run->strings[0], &rc);
    if (!entry)
        return Reply::error(rc, run->strings[0] + " cannot be read");
    // slapd's rules of the entry's database decide, which pass that
    // database's root DN only. An entry the requestor may not read is no
    // entry to it, as for its own search.
    if (!access_allowed(request.pblock(), entry.get(), "entry", SLAPI_ACL_READ))
        return Reply::error(code::kNoSuchObject, run->strings[0] + " cannot be read");
    LdifEntry data = user_attributes(entry.get());
    for (const Attribute& attribute : data.attributes)
        if (!access_allowed(request.pblock(), entry.get(), attribute.type, SLAPI_ACL_READ))
            return Reply::error(code::kInsufficientAccess, "no read access to " + attribute.type);
    return Reply::success(write_backup(kWholeEntry, kWholeEntry, write_ldif(data)));
}

Reply restore_object(Request& request)
{
    std::optional<RestoreRequest> parsed = read_restore_request(request.value());
    if (!parsed)
        return Reply::malformed(
            "the request value must be two OCTET STRINGs, the data's length, the data and its chunk sizes, which "
            "must add up to the length");
    std::optional<LdifEntry> ldif = read_ldif(parsed->data);
    if (!ldif)
        return Reply::malformed("the object data is not the LDIF text of one entry");
    std::optional<std::string> named = normalize_dn(parsed->dn);
    if (!named)
        return Reply::error(code::kInvalidDnSyntax, "the request's DN is not a DN");
    if (normalize_dn(ldif->dn) != named)
        return Reply::malformed("the object data holds " + ldif->dn + ", not " + parsed->dn);
    Change change;
    change.type = ChangeType::add;
    change.dn = parsed->dn;
    for (Attribute& attribute : ldif->attributes) {
        Modification& modification = change.modifications.emplace_back();
        modification.type = std::move(attribute.type);
        modification.values = std::move(attribute.values);
    }
    ChangeResult result = apply_change(request, change);
    return Reply::error(result.code, std::move(result.message));
}

}  // namespace adminext
