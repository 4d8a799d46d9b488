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
};

// The settings the arguments give; nothing, with `error` set, for an
// argument that is unknown or has no valid value.
std::optional<Settings> parse_settings(const std::vector<std::string>& arguments, const std::string& host,
                                       std::string& error);

// The settings in force, fixed when slapd loads the plug-in.
const Settings& settings();
void set_settings(Settings settings);

}  // namespace adminext

#endif
