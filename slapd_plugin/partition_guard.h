// While a partition is split off or merged back, its entries are moved
// between databases: removed from one, then added to the other. No client
// may see that: every operation that touches the subtree (reads, compares
// and updates at, below or above it, renames into it) waits until the move
// has ended or been undone. One move runs at a time on a server.
#ifndef SLAPD_PLUGIN_PARTITION_GUARD_H
#define SLAPD_PLUGIN_PARTITION_GUARD_H

#include <optional>
#include <string>

#include "slapi.h"

namespace adminext {

// Holds back operations on the subtree (a normalised DN) from now until the
// guard ends; the thread that made the guard, which does the move, passes.
// Refused (engaged() false, with busy_with set to the subtree being moved)
// while another move runs.
class PartitionGuard {
public:
    explicit PartitionGuard(const std::string& subtree);
    ~PartitionGuard();
    PartitionGuard(const PartitionGuard&) = delete;
    PartitionGuard& operator=(const PartitionGuard&) = delete;

    bool engaged() const { return engaged_; }
    const std::string& busy_with() const { return busy_with_; }
    // Whether an abort was asked for the move (checked between its steps).
    bool abort_requested() const;

private:
    bool engaged_ = false;
    std::string busy_with_;
};

// Asks the move of the subtree (normalised) to stop and undo itself; waits
// until it has. False when no move of that subtree runs.
bool abort_partition_move(const std::string& subtree);

// Waits while a move touches an update of dn (or a rename of it under
// new_superior); returns at once when no move runs.
void hold_update(const std::string& dn, const std::optional<std::string>& new_superior);

// The hooks slapd calls before each search, compare and update of a client.
int hold_search_for_partition_move(Slapi_PBlock* pb);
int hold_compare_for_partition_move(Slapi_PBlock* pb);
int hold_update_for_partition_move(Slapi_PBlock* pb);

}  // namespace adminext

#endif
