#include "partition_guard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "directory.h"
#include "names.h"
#include "request.h"
#include "server_state.h"

namespace adminext {

namespace {

constexpr int kSearchScope = 110;  // SLAPI_SEARCH_SCOPE: int

struct Move {
    std::string subtree;
    bool abort = false;
};

std::mutex moves_mutex;
std::condition_variable moves_changed;
std::optional<Move> running;
// Read without the lock on every operation: false almost always.
std::atomic<bool> moving{false};
thread_local bool mover = false;

// Waits while a move runs whose subtree `touches` says the operation
// touches. Other threads' pauses go on meanwhile (slapd pauses its worker
// threads to change its configuration, which a move does).
template <class Touches>
void hold(Touches touches)
{
    if (!moving.load(std::memory_order_acquire) || mover)
        return;
    std::unique_lock lock(moves_mutex);
    while (running && touches(running->subtree) && !server_stopping()) {
        lock.unlock();
        allow_pause();
        lock.lock();
        moves_changed.wait_for(lock, std::chrono::milliseconds(20));
    }
}

std::string normalized_target(Slapi_PBlock* pb, int parameter)
{
    const char* dn = get_string(pb, parameter);
    if (dn == nullptr)
        return {};
    return normalize_dn(dn).value_or(std::string());
}

}  // namespace

PartitionGuard::PartitionGuard(const std::string& subtree)
{
    std::lock_guard lock(moves_mutex);
    if (running) {
        busy_with_ = running->subtree;
        return;
    }
    running = Move{subtree};
    moving.store(true, std::memory_order_release);
    mover = true;
    engaged_ = true;
}

PartitionGuard::~PartitionGuard()
{
    if (!engaged_)
        return;
    std::lock_guard lock(moves_mutex);
    running.reset();
    moving.store(false, std::memory_order_release);
    mover = false;
    moves_changed.notify_all();
}

bool PartitionGuard::abort_requested() const
{
    std::lock_guard lock(moves_mutex);
    return running && running->abort;
}

bool abort_partition_move(const std::string& subtree)
{
    std::unique_lock lock(moves_mutex);
    if (!running || running->subtree != subtree)
        return false;
    running->abort = true;
    while (running && running->subtree == subtree && !server_stopping()) {
        lock.unlock();
        allow_pause();
        lock.lock();
        moves_changed.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}

void hold_update(const std::string& dn, const std::optional<std::string>& new_superior)
{
    if (!moving.load(std::memory_order_acquire) || mover)
        return;
    const std::string target = normalize_dn(dn).value_or(std::string());
    const std::string superior = new_superior ? normalize_dn(*new_superior).value_or(std::string()) : std::string();
    // An update at or below the subtree, a rename or delete above it (which
    // would move or take it), and a rename into it.
    hold([&](const std::string& subtree) {
        return dn_within(target, subtree) || dn_within(subtree, target) ||
               (new_superior && dn_within(superior, subtree));
    });
}

int hold_search_for_partition_move(Slapi_PBlock* pb)
{
    if (!moving.load(std::memory_order_acquire))
        return 0;
    const std::string base = normalized_target(pb, SLAPI_TARGET_DN);
    const bool base_only = get_int(pb, kSearchScope) == LDAP_SCOPE_BASE;
    hold([&](const std::string& subtree) {
        return dn_within(base, subtree) || (!base_only && dn_within(subtree, base));
    });
    return 0;
}

int hold_compare_for_partition_move(Slapi_PBlock* pb)
{
    if (!moving.load(std::memory_order_acquire))
        return 0;
    const std::string target = normalized_target(pb, SLAPI_TARGET_DN);
    hold([&](const std::string& subtree) { return dn_within(target, subtree); });
    return 0;
}

int hold_update_for_partition_move(Slapi_PBlock* pb)
{
    if (!moving.load(std::memory_order_acquire))
        return 0;
    const char* dn = get_string(pb, SLAPI_TARGET_DN);
    const char* superior = get_string(pb, SLAPI_MODRDN_NEWSUPERIOR);
    hold_update(dn != nullptr ? dn : "", superior != nullptr ? std::optional<std::string>(superior) : std::nullopt);
    return 0;
}

}  // namespace adminext
