// A bulk-update batch committed in one of slapd's own LDAP transactions.
//
// Internal operations each commit alone: one database transaction and one
// flush to disk per operation. slapd commits an LDAP transaction's updates
// in one database transaction, so the plug-in sends a batch over a private
// ldapi connection to slapd (setting `transactions`), every operation as the
// requestor (proxied authorization) inside one transaction. slapd then runs
// its own value checks, access rules, schema and result codes on each
// operation, and applies all of them or none.
//
// slapd 2.5's database numbers each attribute description the first time an
// entry with it is stored, inside the storing transaction. When an LDAP
// transaction fails, slapd drops the transaction but keeps the numbers it
// gave meanwhile: entries stored later with such a description cannot be
// read back, or read back with another description. So a batch goes in one
// transaction only when every description it stores was stored before in
// that database by an operation applied on its own (note_stored), and only
// into a database without overlays, which may store descriptions of their
// own, in other entries too.
#ifndef SLAPD_PLUGIN_BATCH_TRANSACTION_H
#define SLAPD_PLUGIN_BATCH_TRANSACTION_H

#include <string>
#include <vector>

#include "bulk_values.h"

namespace adminext {

enum class Committed {
    all,      // every change was applied, each with success
    none,     // nothing was applied: apply the changes one by one
    unknown,  // slapd stopped, or the connection broke, while it committed
};

// Whether a batch may go in one transaction: a named requestor, at least two
// changes, and only changes slapd takes inside one as they stand (read
// without fault, no critical control, no modify of nothing).
bool suits_one_transaction(const std::string& requestor, const std::vector<Change>& changes);

// Notes a change that slapd applied on its own, with success: what it
// stored is in its database for good.
void note_stored(const Change& change);

// Commits the changes in one transaction as requestor (a normalised DN).
// none without sending anything when no transactions are configured, the
// batch does not suit, stores a description not noted in its database, goes
// to a database with overlays or one that does not flush its commits (one
// by one is faster there), another batch is committing, or slapd's worker
// threads are too few to spare one; none also when slapd refused one of the
// operations (it then drops the whole transaction: the caller's one-by-one
// application gives each operation its own answer).
Committed commit_in_one_transaction(const std::string& requestor, const std::vector<Change>& changes);

}  // namespace adminext

#endif
