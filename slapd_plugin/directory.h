// slapd's own data, reached through internal operations. Internal operations
// run without access control: callers check the requestor's rights first
// (access.h).
#ifndef SLAPD_PLUGIN_DIRECTORY_H
#define SLAPD_PLUGIN_DIRECTORY_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bulk_values.h"
#include "ldif.h"
#include "slapi.h"

namespace adminext {

struct EntryFree {
    void operator()(Slapi_Entry* entry) const noexcept { slapi_entry_free(entry); }
};
using EntryPtr = std::unique_ptr<Slapi_Entry, EntryFree>;

// Normalised form of a DN; nothing when it is not a DN.
std::optional<std::string> normalize_dn(const std::string& dn);

// The entry named dn with all its attributes; NULL with *code set when it
// cannot be read (32 when there is none).
EntryPtr read_entry(const std::string& dn, int* code);

// Number of entries at and below base that the requestor of pb's operation
// would find with a subtree search for (objectClass=*) (result 32 when base
// does not exist).
int count_entries(Slapi_PBlock* pb, const std::string& base, int* count);

// The naming contexts of this server, normalised.
std::vector<std::string> naming_contexts();
bool is_naming_context(const std::string& dn);

// Whether the normalised DN is the root DN of one of this server's databases.
bool is_root_dn(const std::string& dn);
// Whether the normalised DN is a member (member or uniqueMember) of group.
bool is_group_member(const std::string& group, const std::string& dn);

// Whether one of slapd's databases holds (or would hold) the entry dn.
bool held_by_a_database(const std::string& dn);

// slapd's access rules for the requestor of pb's operation, with the rules
// of the database that holds entry: whether `access` (SLAPI_ACL_*) is granted
// on attribute (or the pseudo-attributes "entry" and "children"), and whether
// the modifications are; nothing is granted on an entry no database holds.
bool access_allowed(Slapi_PBlock* pb, Slapi_Entry* entry, const std::string& attribute, int access);
bool modifications_allowed(Slapi_PBlock* pb, Slapi_Entry* entry, LDAPMod** modifications);
// An entry with dn and no attribute, for asking slapd's rules about a name
// whose entry does not exist (any more).
EntryPtr entry_named(const std::string& dn);
// Whether a search for (objectClass=*) by the requestor would return entry:
// read access to the entry and search access to objectClass.
bool visible(Slapi_PBlock* pb, Slapi_Entry* entry);

// The entries a search finds, with the attributes named in types (all
// user attributes when empty; "+" for the operational ones).
std::vector<LdifEntry> read_entries(const std::string& base, int scope, const std::string& filter,
                                    const std::vector<std::string>& types);
// The entries at and below base with their user attributes and the
// operational ones named.
std::vector<LdifEntry> read_subtree_as_it_is(const std::string& base, const std::vector<std::string>& operational);
// The values of an attribute of an entry read (type compared without
// regard to case); empty when it has none.
const std::vector<std::string>& values_of(const LdifEntry& entry, std::string_view type);

// The user attributes of an entry (operational ones left out), as LDIF.
LdifEntry user_attributes(Slapi_Entry* entry);

// Internal updates; each answers its LDAP result code and slapd's text
// (empty when slapd gave none).
ChangeResult add_entry(const std::string& dn, LDAPMod** attributes);
ChangeResult modify_entry(const std::string& dn, LDAPMod** modifications);
ChangeResult delete_entry(const std::string& dn);
// An add (the modifications being the entry's attributes) or a modify
// from modifications.
ChangeResult change_entry(const std::string& dn, const std::vector<Modification>& changes, bool add);
// Adds an entry with the operational attributes it had where it was
// before (entryUUID, entryCSN, creators, timestamps): slapd's relax control.
ChangeResult add_entry_as_it_was(const std::string& dn, LDAPMod** attributes);
ChangeResult rename_entry(const std::string& dn, const std::string& new_rdn, const std::optional<std::string>& new_superior,
                 bool delete_old_rdn);

}  // namespace adminext

#endif
