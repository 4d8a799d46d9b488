#include "directory.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "names.h"
#include "request.h"

namespace adminext {

namespace {

struct PBlockFree {
    void operator()(Slapi_PBlock* pb) const noexcept { slapi_pblock_destroy(pb); }
};
using PBlockPtr = std::unique_ptr<Slapi_PBlock, PBlockFree>;

struct SlapiString {
    explicit SlapiString(char* text) : text(text) {}
    SlapiString(const SlapiString&) = delete;
    SlapiString& operator=(const SlapiString&) = delete;
    ~SlapiString() { slapi_ch_free_string(&text); }
    char* text;
};

PBlockPtr new_pblock()
{
    PBlockPtr pb(slapi_pblock_new());
    if (!pb)
        throw std::bad_alloc();
    return pb;
}

// Runs a search, handing each entry to visit; answers the result code.
template <class Visit>
int search(const std::string& base, int scope, const std::string& filter, char** attributes, Visit visit)
{
    PBlockPtr pb = new_pblock();
    slapi_search_internal_set_pb(pb.get(), base.c_str(), scope, filter.c_str(), attributes, 0, nullptr, nullptr,
                                 nullptr, 0);
    auto callback = [](Slapi_Entry* entry, void* data) {
        (*static_cast<Visit*>(data))(entry);
        return 0;
    };
    slapi_search_internal_callback_pb(pb.get(), &visit, nullptr, callback, nullptr);
    return get_int(pb.get(), SLAPI_PLUGIN_INTOP_RESULT);
}

char kNoAttributes[] = "1.1";
char* kNoAttributeList[] = {kNoAttributes, nullptr};

// The result of an internal update as slapd sends it: its text lives only
// while the result is being sent (a database's refusal is written on its
// stack), so it is copied then.
struct SentResult {
    Slapi_PBlock* pb;
    bool sent = false;
    std::string text;
};

void copy_result(int, void* data)
{
    auto* result = static_cast<SentResult*>(data);
    result->sent = true;
    const char* text = get_pointer<const char>(result->pb, SLAPI_RESULT_TEXT);
    result->text = text != nullptr ? text : "";
}

// Prepares an internal update with prepare(pb), runs it and answers its
// result.
template <class Prepare, class Run>
ChangeResult update(Prepare prepare, Run run)
{
    PBlockPtr pb = new_pblock();
    prepare(pb.get());
    SentResult sent{pb.get(), false, {}};
    slapi_pblock_set(pb.get(), SLAPI_X_INTOP_RESULT_CALLBACK, reinterpret_cast<void*>(&copy_result));
    slapi_pblock_set(pb.get(), SLAPI_X_INTOP_CALLBACK_DATA, &sent);
    run(pb.get());
    ChangeResult result{get_int(pb.get(), SLAPI_PLUGIN_INTOP_RESULT), std::move(sent.text)};
    // Refused before anything was sent: the text, if any, is the
    // parameter block's own.
    if (!sent.sent) {
        const char* text = get_pointer<const char>(pb.get(), SLAPI_RESULT_TEXT);
        result.message = text != nullptr ? text : "";
    }
    return result;
}

}  // namespace

std::optional<std::string> normalize_dn(const std::string& dn)
{
    if (dn.empty())
        return std::string();
    std::string copy = dn;
    SlapiString normal(slapi_dn_normalize_case(copy.data()));
    if (normal.text == nullptr)
        return std::nullopt;
    return std::string(normal.text);
}

EntryPtr read_entry(const std::string& dn, int* code)
{
    EntryPtr found;
    *code = search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, [&](Slapi_Entry* entry) {
        found.reset(slapi_entry_dup(entry));
    });
    if (*code == code::kSuccess && !found)
        *code = code::kNoSuchObject;
    return found;
}

int count_entries(Slapi_PBlock* pb, const std::string& base, int* count)
{
    *count = 0;
    // A base the requestor cannot see is no entry to it, as in slapd.
    int rc = code::kSuccess;
    EntryPtr named = read_entry(base, &rc);
    if (!named)
        return rc;
    if (!visible(pb, named.get()))
        return code::kNoSuchObject;
    int found = 0;
    rc = search(base, LDAP_SCOPE_SUBTREE, "(objectClass=*)", nullptr, [&](Slapi_Entry* entry) {
        if (visible(pb, entry))
            ++found;
    });
    *count = found;
    return rc;
}

std::vector<std::string> naming_contexts()
{
    std::vector<std::string> contexts;
    char type[] = "namingContexts";
    char* attributes[] = {type, nullptr};
    search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, [&](Slapi_Entry* entry) {
        Slapi_Attr* attribute = nullptr;
        for (int rc = slapi_entry_first_attr(entry, &attribute); rc == 0 && attribute != nullptr;
             rc = slapi_entry_next_attr(entry, attribute, &attribute)) {
            char* name = nullptr;
            slapi_attr_get_type(attribute, &name);
            if (name == nullptr || std::string_view(name) != "namingContexts")
                continue;
            Slapi_Value* value = nullptr;
            for (int hint = slapi_attr_first_value(attribute, &value); hint != -1 && value != nullptr;
                 hint = slapi_attr_next_value(attribute, hint, &value)) {
                const berval* bytes = slapi_value_get_berval(value);
                if (auto normal = normalize_dn(std::string(bytes->bv_val, bytes->bv_len)))
                    contexts.push_back(*normal);
            }
        }
    });
    return contexts;
}

bool is_naming_context(const std::string& dn)
{
    std::optional<std::string> normal = normalize_dn(dn);
    if (!normal || normal->empty())
        return false;
    for (const std::string& context : naming_contexts())
        if (context == *normal)
            return true;
    return false;
}

bool is_root_dn(const std::string& dn)
{
    if (dn.empty())
        return false;
    bool found = false;
    search("cn=config", LDAP_SCOPE_ONELEVEL, "(olcRootDN=" + filter_value(dn) + ")", kNoAttributeList,
           [&](Slapi_Entry*) { found = true; });
    return found;
}

bool is_group_member(const std::string& group, const std::string& dn)
{
    if (dn.empty() || group.empty())
        return false;
    std::string value = filter_value(dn);
    bool found = false;
    search(group, LDAP_SCOPE_BASE, "(|(member=" + value + ")(uniqueMember=" + value + "))", kNoAttributeList,
           [&](Slapi_Entry*) { found = true; });
    return found;
}

namespace {

Slapi_Backend* database_of(const char* dn)
{
    Slapi_DN* name = slapi_sdn_new_dn_byref(dn);
    Slapi_Backend* database = slapi_be_select(name);
    slapi_sdn_free(&name);
    return database;
}

// Access checks run in an extended operation, which belongs to no database:
// point the operation at the entry's database first. False when no
// database holds the entry: there are no rules to ask, and nothing is
// granted.
bool use_rules_of(Slapi_PBlock* pb, Slapi_Entry* entry)
{
    Slapi_Backend* database = database_of(slapi_entry_get_dn(entry));
    if (database == nullptr)
        return false;
    slapi_pblock_set(pb, SLAPI_BACKEND, database);
    return true;
}

// Whether attributes_of keeps an attribute of type: every user attribute;
// operational ones when asked for, or, with `only`, those it names.
bool kept(Slapi_Attr* attribute, const char* type, bool operational, const std::vector<std::string>* only)
{
    if (!slapi_attr_flag_is_set(attribute, SLAPI_ATTR_FLAG_OPATTR))
        return true;
    if (only == nullptr)
        return operational;
    return type != nullptr &&
           std::any_of(only->begin(), only->end(), [&](const std::string& name) { return strcasecmp(name.c_str(), type) == 0; });
}

// An entry's DN and attributes with their values; operational attributes
// only when asked for (and only those the search returned), or, with
// `only`, the operational ones it names.
LdifEntry attributes_of(Slapi_Entry* entry, bool operational, const std::vector<std::string>* only = nullptr)
{
    LdifEntry ldif;
    ldif.dn = slapi_entry_get_dn(entry);
    Slapi_Attr* attribute = nullptr;
    for (int rc = slapi_entry_first_attr(entry, &attribute); rc == 0 && attribute != nullptr;
         rc = slapi_entry_next_attr(entry, attribute, &attribute)) {
        char* type = nullptr;
        slapi_attr_get_type(attribute, &type);
        if (!kept(attribute, type, operational, only))
            continue;
        Attribute& added = ldif.attributes.emplace_back(Attribute{type != nullptr ? type : "", {}});
        Slapi_Value* value = nullptr;
        for (int hint = slapi_attr_first_value(attribute, &value); hint != -1 && value != nullptr;
             hint = slapi_attr_next_value(attribute, hint, &value)) {
            const berval* bytes = slapi_value_get_berval(value);
            added.values.emplace_back(bytes->bv_val, bytes->bv_len);
        }
    }
    return ldif;
}

}  // namespace

bool held_by_a_database(const std::string& dn) { return database_of(dn.c_str()) != nullptr; }

bool access_allowed(Slapi_PBlock* pb, Slapi_Entry* entry, const std::string& attribute, int access)
{
    return use_rules_of(pb, entry) &&
           slapi_access_allowed(pb, entry, const_cast<char*>(attribute.c_str()), nullptr, access) == LDAP_SUCCESS;
}

EntryPtr entry_named(const std::string& dn)
{
    EntryPtr entry(slapi_entry_alloc());
    if (!entry)
        throw std::bad_alloc();
    slapi_entry_set_dn(entry.get(), slapi_ch_strdup(dn.c_str()));
    return entry;
}

bool visible(Slapi_PBlock* pb, Slapi_Entry* entry)
{
    return access_allowed(pb, entry, "entry", SLAPI_ACL_READ) &&
           access_allowed(pb, entry, "objectClass", SLAPI_ACL_SEARCH);
}

bool modifications_allowed(Slapi_PBlock* pb, Slapi_Entry* entry, LDAPMod** modifications)
{
    if (!use_rules_of(pb, entry))
        return false;
    char* error = nullptr;
    int rc = slapi_acl_check_mods(pb, entry, modifications, &error);
    slapi_ch_free_string(&error);
    return rc == LDAP_SUCCESS;
}

std::vector<LdifEntry> read_entries(const std::string& base, int scope, const std::string& filter,
                                    const std::vector<std::string>& types)
{
    std::vector<char*> names;
    for (const std::string& type : types)
        names.push_back(const_cast<char*>(type.c_str()));
    names.push_back(nullptr);
    std::vector<LdifEntry> found;
    search(base, scope, filter, types.empty() ? nullptr : names.data(),
           [&](Slapi_Entry* entry) { found.push_back(attributes_of(entry, true)); });
    return found;
}

std::vector<LdifEntry> read_subtree_as_it_is(const std::string& base, const std::vector<std::string>& operational)
{
    std::vector<std::string> types = operational;
    types.emplace_back("*");
    std::vector<char*> names;
    for (std::string& type : types)
        names.push_back(type.data());
    names.push_back(nullptr);
    std::vector<LdifEntry> found;
    search(base, LDAP_SCOPE_SUBTREE, "(objectClass=*)", names.data(),
           [&](Slapi_Entry* entry) { found.push_back(attributes_of(entry, false, &operational)); });
    return found;
}

const std::vector<std::string>& values_of(const LdifEntry& entry, std::string_view type)
{
    static const std::vector<std::string> none;
    for (const Attribute& attribute : entry.attributes)
        if (attribute.type.size() == type.size() &&
            std::equal(type.begin(), type.end(), attribute.type.begin(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                   std::tolower(static_cast<unsigned char>(b)); }))
            return attribute.values;
    return none;
}

LdifEntry user_attributes(Slapi_Entry* entry) { return attributes_of(entry, false); }

namespace {

ChangeResult add_with_controls(const std::string& dn, LDAPMod** attributes, LDAPControl** controls)
{
    return update(
        [&](Slapi_PBlock* pb) { slapi_add_internal_set_pb(pb, dn.c_str(), attributes, controls, nullptr, 0); },
        slapi_add_internal_pb);
}

}  // namespace

ChangeResult add_entry(const std::string& dn, LDAPMod** attributes)
{
    return add_with_controls(dn, attributes, nullptr);
}

ChangeResult change_entry(const std::string& dn, const std::vector<Modification>& changes, bool add)
{
    ModList list(changes);
    return add ? add_entry(dn, list.get()) : modify_entry(dn, list.get());
}

ChangeResult add_entry_as_it_was(const std::string& dn, LDAPMod** attributes)
{
    static char relax_name[] = LDAP_CONTROL_RELAX;
    LDAPControl relax = {relax_name, {0, nullptr}, 1};
    LDAPControl* controls[] = {&relax, nullptr};
    return add_with_controls(dn, attributes, controls);
}

ChangeResult modify_entry(const std::string& dn, LDAPMod** modifications)
{
    return update(
        [&](Slapi_PBlock* pb) {
            slapi_modify_internal_set_pb(pb, dn.c_str(), modifications, nullptr, nullptr, nullptr, 0);
        },
        slapi_modify_internal_pb);
}

ChangeResult delete_entry(const std::string& dn)
{
    return update(
        [&](Slapi_PBlock* pb) { slapi_delete_internal_set_pb(pb, dn.c_str(), nullptr, nullptr, nullptr, 0); },
        slapi_delete_internal_pb);
}

ChangeResult rename_entry(const std::string& dn, const std::string& new_rdn, const std::optional<std::string>& new_superior,
                 bool delete_old_rdn)
{
    return update(
        [&](Slapi_PBlock* pb) {
            slapi_rename_internal_set_pb(pb, dn.c_str(), new_rdn.c_str(),
                                         new_superior ? new_superior->c_str() : nullptr, delete_old_rdn ? 1 : 0,
                                         nullptr, nullptr, nullptr, 0);
        },
        slapi_modrdn_internal_pb);
}

}  // namespace adminext
