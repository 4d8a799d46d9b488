// $add_ext_s, $modify_ext_s, $delete_ext_s and $compare_s. Entries and
// modifications arrive as attribute collections and leave as the LDAPMod
// list of the client library, sized to what the collection holds.
#include <string>
#include <vector>

#include "debug_log.h"
#include "methods.h"

namespace kandrel::methods {
namespace {

using library::Entry;

// The LDAPMod list of one call. Types and values point into the collection
// it was built from, which must outlive it.
class ModificationList {
public:
    // Starts a modification; with_values false gives it no value list.
    void start(int operation, const std::string& type, bool with_values)
    {
        mods_.push_back(LDAPMod{});
        mods_.back().mod_op = operation;
        mods_.back().mod_type = const_cast<char*>(type.c_str());
        values_.emplace_back();
        has_values_.push_back(with_values);
    }
    // Adds a value to the modification started last.
    void add_value(const std::string& value) { values_.back().push_back(const_cast<char*>(value.c_str())); }

    // The null-terminated list, valid until the next change.
    LDAPMod** get()
    {
        pointers_.clear();
        for (std::size_t i = 0; i < mods_.size(); ++i) {
            if (has_values_[i]) {
                values_[i].push_back(nullptr);
                mods_[i].mod_values = values_[i].data();
            }
            pointers_.push_back(&mods_[i]);
        }
        pointers_.push_back(nullptr);
        return pointers_.data();
    }

private:
    std::vector<LDAPMod> mods_;
    std::vector<std::vector<char*>> values_;
    std::vector<bool> has_values_;
    std::vector<LDAPMod*> pointers_;
};

enum class Build { ready, malformed };

// Attributes: adjacent items of one name are one attribute with their values.
// An item without a name has no attribute to go to and refuses the whole
// collection; an item without a value adds no value, so the values after it
// are kept.
Build build_entry(const AttributeCollection& attributes, ModificationList& mods)
{
    const std::string* previous = nullptr;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const AttributeCollection::Item& item = attributes[i];
        if (!item.name) {
            return Build::malformed;
        }
        if (previous == nullptr || *previous != *item.name) {
            mods.start(LDAP_MOD_ADD, *item.name, true);
        }
        if (item.value) {
            mods.add_value(*item.value);
        }
        previous = &*item.name;
    }
    return Build::ready;
}

// Mods: "replace: <attribute>" or "add: <attribute>", each followed by one
// "<attribute>: <value>" item, and "delete: <attribute>" alone.
Build build_modifications(const AttributeCollection& changes, ModificationList& mods)
{
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const AttributeCollection::Item& change = changes[i];
        int operation;
        if (change.name == "replace") {
            operation = LDAP_MOD_REPLACE;
        } else if (change.name == "add") {
            operation = LDAP_MOD_ADD;
        } else if (change.name == "delete") {
            operation = LDAP_MOD_DELETE;
        } else {
            return Build::malformed;
        }
        if (!change.value) {
            return Build::malformed;  // no attribute to change
        }
        if (operation == LDAP_MOD_DELETE) {
            mods.start(operation, *change.value, false);
            continue;
        }
        if (i + 1 == changes.size() || changes[i + 1].name != change.value) {
            return Build::malformed;
        }
        const AttributeCollection::Item& value = changes[++i];
        mods.start(operation, *change.value, true);
        if (value.value) {
            mods.add_value(*value.value);
        }
    }
    return Build::ready;
}

using Builder = Build (*)(const AttributeCollection&, ModificationList&);

// The shared steps of $add_ext_s and $modify_ext_s: (DN, collection,
// ServerControls, ClientControls), sent with ldap_add_ext_s or
// ldap_modify_ext_s.
template <Entry Send>
HostAnswer update(MethodCall& call, Builder build)
{
    AttributeCollection collection;
    if (!call.collection(2, collection)) {
        return call.code(kCodeBadParameters);
    }
    ModificationList mods;
    if (build(collection, mods) == Build::malformed) {
        return call.code(kCodeInvalidSyntax);
    }
    const params::ParamText dn = call.text(1);
    ControlList server;
    ControlList client;
    if (!call.controls(3, server) || !call.controls(4, client)) {
        return call.code(kCodeBadParameters);
    }
    return call.result(
        library::call<Send>(call.ld(), dn.get(), mods.get(), server.get(), client.get()));
}

}  // namespace

// $add_ext_s(DN, Attributes, ServerControls, ClientControls)
HostAnswer add(MethodCall& call) { return update<Entry::ldap_add_ext_s>(call, build_entry); }

// $modify_ext_s(DN, Mods, ServerControls, ClientControls)
HostAnswer modify(MethodCall& call)
{
    return update<Entry::ldap_modify_ext_s>(call, build_modifications);
}

// $delete_ext_s(DN[, ServerControls, ClientControls])
HostAnswer remove(MethodCall& call)
{
    const params::ParamText dn = call.text(1);
    ControlList server;
    ControlList client;
    if (!call.controls(2, server) || !call.controls(3, client)) {
        return call.code(kCodeBadParameters);
    }
    return call.result(library::call<Entry::ldap_delete_ext_s>(call.ld(), dn.get(), server.get(),
                                                               client.get()));
}

// $compare_s(DN, Attribute, Value): 0 the entry holds the value, 1 it does
// not, 2 it lacks the attribute, 3 it does not exist; the library's codes 0
// to 3, which would read as those answers, become -1.
HostAnswer compare(MethodCall& call)
{
    const params::ParamText dn = call.text(1);
    const params::ParamText attribute = call.text(2);
    const params::ParamText value = call.text(3);
    const int code =
        library::call<Entry::ldap_compare_s>(call.ld(), dn.get(), attribute.get(), value.get());
    struct Outcome {
        int code;
        const char* line;
        std::int32_t answer;
    };
    static constexpr Outcome kOutcomes[] = {
        {LDAP_COMPARE_TRUE, log::kCompareTrue, 0},
        {LDAP_COMPARE_FALSE, log::kCompareFalse, 1},
        {LDAP_NO_SUCH_ATTRIBUTE, log::kCompareNoAttribute, 2},
        {LDAP_NO_SUCH_OBJECT, log::kCompareNoObject, 3},
    };
    for (const Outcome& outcome : kOutcomes) {
        if (outcome.code == code) {
            log::write(outcome.line);
            return call.result(outcome.answer);
        }
    }
    return call.result(code >= 0 && code <= 3 ? kCodeNoMessage : code);
}

}  // namespace kandrel::methods
