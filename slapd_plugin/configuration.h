// The plug-in's settings, from the arguments after the init function in
// slapd's configuration ("plugin extendedop PATH INIT name=value ...").
#ifndef SLAPD_PLUGIN_CONFIGURATION_H
#define SLAPD_PLUGIN_CONFIGURATION_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace adminext {

struct Settings {
    // administrators=DN: a group (member or uniqueMember) whose members may
    // use the administration operations besides the root DNs. None: only the
    // root DNs may.
    std::string administrators;
    // server=DN: this server's name, its only replica of every naming
    // context. Default: "cn=" and the host name.
    std::string server;
    // monitors=N: event monitors at once (each holds a worker thread).
    std::size_t monitors = 4;
    // batch=N: operations one bulk-update batch may hold.
    std::size_t batch = 1000;
    // queue=N: notifications a monitor holds for a client that reads slowly.
    std::size_t queue = 10000;
    // peer=DN@URI, once for each other server of the set that holds
    // replicas of each other's naming contexts: its DN (its server=, with
    // no space in it) and the URI it is reached at. None: this server holds
    // the only replica of each of its naming contexts.
    struct Peer {
        std::string dn, uri;
    };
    std::vector<Peer> peers;
    // replicator=DN and replicator-secret=FILE: the identity with which this
    // server's plug-in asks the others of the set, reads and changes their
    // configuration, and with which replicas read from the server they
    // replicate. The file holds the password and may be readable by slapd's
    // user alone; it is read when slapd loads the plug-in.
    std::string replicator;
    std::string replicator_secret_file;
    // replicas=DIR: where this server makes the databases of the replicas
    // it is given.
    std::string replicas;
};

// The replicator's password from its file: refused (nothing, `error` set)
// when the file cannot be read, may be read or written by others than its
// owner, is empty, or holds a character a syncrepl setting cannot carry
// (a quote, a backslash, white space, a control).
std::optional<std::string> read_replicator_secret(const std::string& path, std::string& error);

// The settings the arguments give; nothing, with `error` set, for an
// argument that is unknown or has no valid value.
std::optional<Settings> parse_settings(const std::vector<std::string>& arguments, const std::string& host,
                                       std::string& error);

// The settings in force, fixed when slapd loads the plug-in.
const Settings& settings();
void set_settings(Settings settings);
// The replicator's password, read when the plug-in is loaded.
const std::string& replicator_secret();
void set_replicator_secret(std::string secret);

}  // namespace adminext

#endif
