// A client of the bulk-update stream through Tervane, for tests and the
// benchmark: start, batches, end, each answer collected and decoded.
#ifndef TESTS_SLAPD_PLUGIN_BULK_CLIENT_H
#define TESTS_SLAPD_PLUGIN_BULK_CLIENT_H

#include <string>
#include <vector>

#define LDAP_DEPRECATED 1
#include <ldap.h>

#include "bulk_values.h"
#include "tervane.h"

namespace plugin_test {

// Entries to add: LDAPMod records over owned strings.
class AddBatch {
public:
    // Adds "cn=<prefix> <n>,<parent>" (inetOrgPerson, sn, mail) for n in
    // [first, first + count).
    AddBatch(const std::string& parent, const std::string& prefix, int first, int count);
    AddBatch(const AddBatch&) = delete;
    AddBatch& operator=(const AddBatch&) = delete;
    lburp_operation** operations() { return pointers_.data(); }

private:
    struct Entry {
        std::string dn, cn, mail;
        char* object_classes[2];
        char* cns[2];
        char* sns[2];
        char* mails[2];
        LDAPMod mods[4];
        LDAPMod* mod_pointers[5];
        lburp_operation operation;
    };
    std::vector<Entry> entries_;
    std::vector<lburp_operation*> pointers_;
};

using ModSpec = adminext::Modification;  // operation, type, values

// LDAPMod records (berval values) over their own copy of specs.
class Mods {
public:
    explicit Mods(std::vector<ModSpec> specs) : specs_(std::move(specs)), list_(specs_) {}
    LDAPMod** get() { return list_.get(); }

private:
    std::vector<ModSpec> specs_;
    adminext::ModList list_;
};

struct BatchAnswer {
    int rc = -1;          // of the parse call
    int result_code = -1; // the server's
    std::vector<std::pair<int, int>> results;  // operation number, code
    std::vector<std::string> messages;         // each operation's text
};

// The next answer of msgid, as an application collects it.
LDAPMessage* wait_for(LDAP* ld, int msgid);
int start_stream(LDAP* ld, int* start_value);
int send_batch(LDAP* ld, int sequence, lburp_operation** operations);
BatchAnswer read_batch_answer(LDAP* ld, int msgid);
int end_stream(LDAP* ld, int sequence);

}  // namespace plugin_test

#endif
