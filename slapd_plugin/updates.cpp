#include "updates.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "directory.h"
#include "events.h"
#include "names.h"
#include "partition_guard.h"
#include "value_check.h"

namespace adminext {

namespace {

// The requestor's rights on entries and on the children of a parent.
class AccessCheck {
public:
    explicit AccessCheck(Request& request) : pb_(request.pblock()) {}

    bool allowed(Slapi_Entry* entry, const char* attribute, int access)
    {
        return access_allowed(pb_, entry, attribute, access);
    }
    bool may_change(Slapi_Entry* entry, LDAPMod** modifications)
    {
        return modifications_allowed(pb_, entry, modifications);
    }
    // The rights on the children of parent. A parent that is no entry here
    // (above a naming context, or missing) has no rules to ask: the update
    // itself then answers.
    int children(std::string_view parent, int access)
    {
        int rc = code::kSuccess;
        EntryPtr entry = parent.empty() ? nullptr : read_entry(std::string(parent), &rc);
        if (!entry)
            return code::kSuccess;
        return allowed(entry.get(), "children", access) ? code::kSuccess : code::kInsufficientAccess;
    }

private:
    Slapi_PBlock* pb_;
};

// An entry that does not exist yet, to check the rights to create it.
EntryPtr new_entry(const Change& change)
{
    EntryPtr entry = entry_named(change.dn);
    ModList attributes(change.modifications);
    for (LDAPMod** mod = attributes.get(); *mod != nullptr; ++mod)
        slapi_entry_add_values(entry.get(), (*mod)->mod_type, (*mod)->mod_bvalues);
    return entry;
}

int check_access(Request& request, const Change& change, ModList& modifications)
{
    // Where no database holds the entry there is nothing to protect and no
    // rule to ask: the change itself then fails with slapd's answer (53, no
    // global superior knowledge, or a referral).
    if (!held_by_a_database(change.dn))
        return code::kSuccess;
    AccessCheck access(request);
    if (change.type == ChangeType::add) {
        if (int rc = access.children(parent_dn(change.dn), SLAPI_ACL_ADD); rc != code::kSuccess)
            return rc;
        EntryPtr entry = new_entry(change);
        return access.allowed(entry.get(), "entry", SLAPI_ACL_ADD) && access.may_change(entry.get(), modifications.get())
                   ? code::kSuccess
                   : code::kInsufficientAccess;
    }
    int rc = code::kSuccess;
    EntryPtr entry = read_entry(change.dn, &rc);
    if (!entry)
        return rc;
    switch (change.type) {
    case ChangeType::modify:
        if (change.modifications.empty())
            return access.allowed(entry.get(), "entry", SLAPI_ACL_WRITE) ? code::kSuccess : code::kInsufficientAccess;
        return access.may_change(entry.get(), modifications.get()) ? code::kSuccess : code::kInsufficientAccess;
    case ChangeType::remove:
        if (!access.allowed(entry.get(), "entry", SLAPI_ACL_DELETE))
            return code::kInsufficientAccess;
        return access.children(parent_dn(change.dn), SLAPI_ACL_DELETE);
    case ChangeType::rename:
        if (!access.allowed(entry.get(), "entry", SLAPI_ACL_WRITE))
            return code::kInsufficientAccess;
        if (int rc = access.children(parent_dn(change.dn), SLAPI_ACL_DELETE); rc != code::kSuccess)
            return rc;
        if (change.new_superior)
            return access.children(*change.new_superior, SLAPI_ACL_ADD);
        return code::kSuccess;
    default:
        return code::kProtocolError;
    }
}

std::string new_dn(const Change& change)
{
    std::string parent = change.new_superior ? *change.new_superior : std::string(parent_dn(change.dn));
    return parent.empty() ? change.new_rdn : change.new_rdn + "," + parent;
}

std::string first_value(const Change& change, std::string_view type)
{
    for (const Modification& modification : change.modifications)
        if (modification.type.size() == type.size() &&
            std::equal(type.begin(), type.end(), modification.type.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }) &&
            !modification.values.empty())
            return modification.values.front();
    return {};
}

std::string changed_types(const Change& change)
{
    std::string types;
    for (const Modification& modification : change.modifications) {
        if (!types.empty())
            types += ',';
        types += modification.type;
    }
    return types;
}

ChangeResult run_change(const Change& change, ModList& modifications)
{
    hold_update(change.dn, change.new_superior);
    switch (change.type) {
    case ChangeType::add:
        return add_entry(change.dn, modifications.get());
    case ChangeType::modify:
        // A modify of nothing is valid LDAP: it succeeds on an entry that
        // exists (checked with the rights), and an internal modify refuses it.
        if (change.modifications.empty())
            return {};
        return modify_entry(change.dn, modifications.get());
    case ChangeType::remove:
        return delete_entry(change.dn);
    case ChangeType::rename:
        return rename_entry(change.dn, change.new_rdn, change.new_superior, change.delete_old_rdn);
    }
    return {code::kProtocolError, {}};
}

void report(const Request& request, const Change& change, int result)
{
    switch (change.type) {
    case ChangeType::add:
        report_change(event_type::kEntryAdded, result, change.dn, request.requestor(),
                      first_value(change, "objectClass"), {});
        break;
    case ChangeType::modify:
        report_change(event_type::kEntryModified, result, change.dn, request.requestor(), {}, changed_types(change));
        break;
    case ChangeType::remove:
        report_change(event_type::kEntryDeleted, result, change.dn, request.requestor(), {}, {});
        break;
    case ChangeType::rename:
        report_change(event_type::kEntryRenamed, result, change.dn, request.requestor(), new_dn(change), {});
        break;
    }
}

}  // namespace

ChangeResult apply_change(Request& request, const Change& change)
{
    if (!change.malformed.empty())
        return {code::kProtocolError, change.malformed};
    if (change.critical_control)
        return {code::kUnavailableCriticalExtension, "this server applies no controls to a batch's operations"};
    ModList modifications(change.modifications);
    // In slapd's order: the values first, then the requestor's rights, then
    // the change itself.
    ChangeResult result;
    if (change.type == ChangeType::add || change.type == ChangeType::modify)
        result = check_values(request.pblock(), modifications.get()).value_or(ChangeResult{});
    // Every change is checked, a root DN's too: slapd's rules of the entry's
    // database pass that database's root DN only, as slapd does.
    if (result.code == code::kSuccess)
        result.code = check_access(request, change, modifications);
    if (result.code == code::kSuccess)
        result = run_change(change, modifications);
    // The internal operations answer the client library's negative codes
    // where they refuse their arguments; a client is answered with LDAP's.
    if (result.code < 0)
        result = {code::kOther, {}};
    report(request, change, result.code);
    if (result.code == code::kSuccess)
        result.message.clear();
    else if (result.message.empty())
        result.message = result_text(result.code);
    return result;
}

void report_change(std::int32_t type, int result, const std::string& dn, const std::string& requestor,
                   std::string detail, std::string changed)
{
    if (monitors().empty())
        return;
    EntryEvent event;
    event.type = type;
    event.result = result;
    event.dn = dn;
    event.requestor = requestor;
    event.detail = std::move(detail);
    event.changed = std::move(changed);
    monitors().publish(std::move(event), normalize_dn(dn).value_or(std::string()));
}

const char* result_text(int result)
{
    switch (result) {
    case code::kSuccess: return "success";
    case code::kOperationsError: return "operations error";
    case code::kProtocolError: return "protocol error";
    case code::kUnavailableCriticalExtension: return "unavailable critical extension";
    case code::kNoSuchAttribute: return "no such attribute";
    case code::kUndefinedAttributeType: return "undefined attribute type";
    case code::kConstraintViolation: return "constraint violation";
    case code::kTypeOrValueExists: return "type or value exists";
    case code::kInvalidSyntax: return "invalid syntax";
    case code::kNoSuchObject: return "no such object";
    case code::kInvalidDnSyntax: return "invalid DN syntax";
    case code::kInsufficientAccess: return "insufficient access";
    case code::kUnwillingToPerform: return "unwilling to perform";
    case code::kNamingViolation: return "naming violation";
    case code::kObjectClassViolation: return "object class violation";
    case code::kNotAllowedOnNonLeaf: return "not allowed on non-leaf";
    case code::kNotAllowedOnRdn: return "not allowed on RDN";
    case code::kAlreadyExists: return "already exists";
    case code::kCannotModifyObjectClass: return "cannot modify object class";
    case code::kOther: return "other (e.g. implementation specific) error";
    default: return "the operation failed";
    }
}

}  // namespace adminext
