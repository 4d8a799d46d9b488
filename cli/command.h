// The shape every subcommand shares: its words, arguments and options, and
// the invocation it runs with (parsed options, the output, the session).
#ifndef CLI_COMMAND_H
#define CLI_COMMAND_H

#include <map>
#include <span>
#include <string>
#include <vector>

#include "connection.h"
#include "errors.h"
#include "output.h"

namespace cli {

// An option of one subcommand. Long options only; argument nullptr for a
// flag, else the placeholder shown in --help.
struct OptionSpec {
    const char* name;
    const char* argument;
    const char* help;
};

class Invocation;

struct Command {
    const char* group;   // first word: "partition"
    const char* action;  // second word: "split", or nullptr
    const char* arguments;  // placeholders shown in usage: "DN [SERVER]"
    const char* summary;
    int min_args;
    int max_args;  // -1: no limit
    std::vector<OptionSpec> options;
    int (*run)(Invocation&);
};

class Invocation {
public:
    Invocation(const Command& command, ConnectionOptions connection, Output& output);

    const Command& command() const { return command_; }
    Output& out() { return output_; }
    const std::vector<std::string>& args() const { return args_; }
    const std::string& arg(std::size_t i) const { return args_.at(i); }
    bool has_arg(std::size_t i) const { return i < args_.size(); }

    bool has(const std::string& option) const { return values_.count(option) != 0; }
    // The last value given for an option, or fallback.
    std::string value(const std::string& option, const std::string& fallback = std::string()) const;
    std::vector<std::string> values(const std::string& option) const;
    // An option's value as an int (UsageError when it is not one).
    int integer(const std::string& option, int fallback) const;

    // The bound session, opened on first use; under -n nullptr (nothing is
    // to be sent), once the request that would be sent was shown.
    LDAP* session();
    // The command's name as shown in messages: "partition split".
    std::string name() const;

    // Reports a failed result and throws Failed; returns on success.
    void check(int code, const std::string& what);

    void add_arg(std::string arg) { args_.push_back(std::move(arg)); }
    void add_value(const std::string& option, std::string value) { values_.emplace(option, std::move(value)); }
    ConnectionOptions& connection() { return connection_; }

private:
    const Command& command_;
    ConnectionOptions connection_;
    Output& output_;
    std::vector<std::string> args_;
    std::multimap<std::string, std::string> values_;
    std::optional<Session> session_;
    bool dry_run_shown_ = false;
};

// Parses text as a whole decimal int; what names it in the error.
int parse_int(const std::string& text, const std::string& what);

// The commands of each family.
std::span<const Command> identity_commands();
std::span<const Command> partition_commands();
std::span<const Command> replica_commands();
std::span<const Command> synchronisation_commands();
std::span<const Command> replication_filter_commands();
std::span<const Command> backup_commands();
std::span<const Command> monitor_commands();
std::span<const Command> loader_commands();

}  // namespace cli

#endif
