#include "batch_transaction.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "configuration.h"
#include "directory.h"
#include "server_state.h"

namespace adminext {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long a request before the commit may wait for its answer. Each takes
// one of slapd's worker threads for a moment: one not answered in this time
// found none free, and the batch is applied one by one instead. The commit
// itself is waited for as long as slapd runs: once it is sent, only its
// answer tells whether the batch was applied.
constexpr auto kAnswerWait = 5s;
constexpr timeval kPoll{0, 100000};

// The route holds one of slapd's worker threads while its requests need
// another. It is taken only when, besides the threads the plug-in's requests
// hold and those the event monitors may still take, this many are free: no
// request of the plug-in can then starve it of the one it needs.
constexpr std::size_t kSpareThreads = 2;

struct LdapFree {
    void operator()(LDAP* ld) const noexcept { ldap_unbind_ext(ld, nullptr, nullptr); }
};
using Connection = std::unique_ptr<LDAP, LdapFree>;

struct MessageFree {
    void operator()(LDAPMessage* message) const noexcept { ldap_msgfree(message); }
};
using Message = std::unique_ptr<LDAPMessage, MessageFree>;

struct BervalFree {
    void operator()(berval* value) const noexcept { ber_bvfree(value); }
};

// One batch at a time commits this way, over one connection kept between
// batches and dropped after any failure.
std::mutex route;
Connection connection;

// What each database is known to hold for good: the attribute descriptions
// (in lower case, with their options) of the changes noted, and for each
// kind of change noted, the kind (a kind stores operational attributes of
// its own: creatorsName, modifiersName, entryCSN, ...).
struct Stored {
    std::mutex mutex;
    std::map<Slapi_Backend*, std::set<std::string>> descriptions;
    std::map<Slapi_Backend*, bool> suitable;  // flushes, and no overlays
};

Stored& stored()
{
    static Stored known;
    return known;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// What a change stores: its kind, and the descriptions of its values (for a
// rename, those of the new RDN). Nothing for a delete, which stores no
// entry. Empty optional: a new RDN that cannot be read.
std::optional<std::vector<std::string>> stored_by(const Change& change)
{
    std::vector<std::string> keys;
    switch (change.type) {
    case ChangeType::remove:
        return keys;
    case ChangeType::add:
    case ChangeType::modify:
        keys.emplace_back(change.type == ChangeType::add ? "@add" : "@modify");
        for (const Modification& modification : change.modifications)
            keys.push_back(lower(modification.type));
        return keys;
    case ChangeType::rename: {
        keys.emplace_back("@rename");
        LDAPRDN rdn = nullptr;
        char* next = nullptr;
        if (ldap_str2rdn(change.new_rdn.c_str(), &rdn, &next, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
            return std::nullopt;
        for (int i = 0; rdn[i] != nullptr; ++i)
            keys.push_back(lower(std::string(rdn[i]->la_attr.bv_val, rdn[i]->la_attr.bv_len)));
        ldap_rdnfree(rdn);
        return keys;
    }
    }
    return std::nullopt;
}

// Whether the changes all go to one database that flushes each commit (one
// without gains nothing from committing them together) and has no overlays,
// and that holds every description they store.
bool stored_before(const std::vector<Change>& changes)
{
    Slapi_Backend* database = database_holding(changes.front().dn);
    if (database == nullptr)
        return false;
    for (const Change& change : changes)
        if (database_holding(change.dn) != database)
            return false;
    Stored& known = stored();
    {
        std::lock_guard lock(known.mutex);
        if (known.suitable.count(database) == 0) {
            const DatabaseConfiguration configuration = database_configuration(database);
            known.suitable[database] = configuration.flushes && !configuration.overlays;
        }
        if (!known.suitable[database])
            return false;
        const std::set<std::string>& held = known.descriptions[database];
        for (const Change& change : changes) {
            std::optional<std::vector<std::string>> keys = stored_by(change);
            if (!keys)
                return false;
            for (const std::string& key : *keys)
                if (held.count(key) == 0)
                    return false;
        }
    }
    return true;
}

bool threads_to_spare()
{
    const std::size_t threads = worker_threads();
    return threads != 0 && threads_held() + settings().monitors + kSpareThreads <= threads;
}

// The answer to msgid; nothing when the connection failed, slapd began
// stopping, or `wait` passed.
Message answer(LDAP* ld, int msgid, std::optional<Clock::duration> wait)
{
    const auto until = Clock::now() + wait.value_or(Clock::duration::zero());
    for (;;) {
        timeval step = kPoll;
        LDAPMessage* raw = nullptr;
        const int rc = ldap_result(ld, msgid, LDAP_MSG_ALL, &step, &raw);
        if (rc > 0)
            return Message(raw);
        if (rc < 0 || server_stopping() || (wait && Clock::now() >= until))
            return nullptr;
    }
}

// The result code an answer carries; -1 when it cannot be read.
int code_of(LDAP* ld, LDAPMessage* message)
{
    int code = -1;
    if (ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, nullptr, 0) != LDAP_SUCCESS)
        return -1;
    return code;
}

bool succeeded(LDAP* ld, int msgid)
{
    Message answered = answer(ld, msgid, kAnswerWait);
    return answered && code_of(ld, answered.get()) == LDAP_SUCCESS;
}

Connection open_connection()
{
    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, settings().transactions.c_str()) != LDAP_SUCCESS)
        return nullptr;
    Connection ld(raw);
    int version = LDAP_VERSION3;
    int msgid = 0;
    // Empty credentials, not none: without them slapd asks for more (14).
    berval empty{0, const_cast<char*>("")};
    if (ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
        ldap_sasl_bind(raw, nullptr, "EXTERNAL", &empty, nullptr, nullptr, &msgid) != LDAP_SUCCESS ||
        !succeeded(raw, msgid))
        return nullptr;
    return ld;
}

int send_change(LDAP* ld, const Change& change, LDAPControl** controls, int* msgid)
{
    const char* dn = change.dn.c_str();
    switch (change.type) {
    case ChangeType::add: {
        ModList attributes(change.modifications);
        return ldap_add_ext(ld, dn, attributes.get(), controls, nullptr, msgid);
    }
    case ChangeType::modify: {
        ModList modifications(change.modifications);
        return ldap_modify_ext(ld, dn, modifications.get(), controls, nullptr, msgid);
    }
    case ChangeType::remove:
        return ldap_delete_ext(ld, dn, controls, nullptr, msgid);
    case ChangeType::rename:
        return ldap_rename(ld, dn, change.new_rdn.c_str(),
                           change.new_superior ? change.new_superior->c_str() : nullptr,
                           change.delete_old_rdn ? 1 : 0, controls, nullptr, msgid);
    }
    return LDAP_PARAM_ERROR;
}

// Starts a transaction, has slapd take every change into it (one at a time:
// slapd may run a connection's requests in any order, and the transaction
// keeps the order in which it took them) and commits it.
Committed commit(LDAP* ld, const std::string& requestor, const std::vector<Change>& changes)
{
    int msgid = 0;
    if (ldap_txn_start(ld, nullptr, nullptr, &msgid) != LDAP_SUCCESS)
        return Committed::none;
    Message started = answer(ld, msgid, kAnswerWait);
    if (!started || code_of(ld, started.get()) != LDAP_SUCCESS)
        return Committed::none;
    berval* raw_id = nullptr;
    if (ldap_parse_extended_result(ld, started.get(), nullptr, &raw_id, 0) != LDAP_SUCCESS || raw_id == nullptr)
        return Committed::none;
    const std::unique_ptr<berval, BervalFree> id(raw_id);

    std::string authorization = "dn:" + requestor;
    LDAPControl in_transaction{const_cast<char*>(LDAP_CONTROL_TXN_SPEC), *id, 1};
    LDAPControl as_requestor{const_cast<char*>(LDAP_CONTROL_PROXY_AUTHZ),
                             {static_cast<ber_len_t>(authorization.size()), authorization.data()}, 1};
    LDAPControl* controls[] = {&in_transaction, &as_requestor, nullptr};
    for (const Change& change : changes)
        if (send_change(ld, change, controls, &msgid) != LDAP_SUCCESS || !succeeded(ld, msgid))
            return Committed::none;  // the caller drops the connection, and slapd the transaction

    if (!threads_to_spare() || ldap_txn_end(ld, 1, id.get(), nullptr, nullptr, &msgid) != LDAP_SUCCESS)
        return Committed::none;
    Message ended = answer(ld, msgid, std::nullopt);
    if (!ended)
        return Committed::unknown;
    // slapd applies the operations in turn and drops the transaction at the
    // first that fails: nothing of it is stored.
    return code_of(ld, ended.get()) == LDAP_SUCCESS ? Committed::all : Committed::none;
}

}  // namespace

bool suits_one_transaction(const std::string& requestor, const std::vector<Change>& changes)
{
    if (requestor.empty() || changes.size() < 2)
        return false;
    for (const Change& change : changes)
        if (!change.malformed.empty() || change.critical_control ||
            (change.type == ChangeType::modify && change.modifications.empty()))
            return false;
    return true;
}

void note_stored(const Change& change)
{
    Slapi_Backend* database = database_holding(change.dn);
    std::optional<std::vector<std::string>> keys = stored_by(change);
    if (database == nullptr || !keys)
        return;
    Stored& known = stored();
    std::lock_guard lock(known.mutex);
    known.descriptions[database].insert(keys->begin(), keys->end());
}

Committed commit_in_one_transaction(const std::string& requestor, const std::vector<Change>& changes)
{
    if (settings().transactions.empty() || !suits_one_transaction(requestor, changes) || !stored_before(changes))
        return Committed::none;
    std::unique_lock lock(route, std::try_to_lock);
    if (!lock.owns_lock() || !threads_to_spare())
        return Committed::none;
    if (!connection)
        connection = open_connection();
    if (!connection)
        return Committed::none;
    const Committed outcome = commit(connection.get(), requestor, changes);
    if (outcome != Committed::all)
        connection.reset();
    return outcome;
}

}  // namespace adminext
