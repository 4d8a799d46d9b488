// tervane: the directory administration extensions from the command line.
//
//   tervane [connection options] COMMAND [ACTION] [options] [arguments]
//
// Options are parsed with getopt_long: the connection flags of OpenLDAP's
// tools anywhere on the line, each subcommand's own long options after its
// words.
#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"

namespace cli {
namespace {

constexpr const char* kConnectionShort = ":H:D:w:Wy:xZvno:";
constexpr int kHelp = 1000;
constexpr int kFirstCommandOption = 1001;

const char* const kConnectionHelp =
    "Connection options (as OpenLDAP's tools have them):\n"
    "  -H URI        LDAP URI: ldap://, ldaps:// or ldapi:// (default: ldap.conf's URI)\n"
    "  -D DN         bind DN (default: anonymous)\n"
    "  -w PASSWORD   bind password\n"
    "  -W            prompt for the bind password (no echo)\n"
    "  -y FILE       read the bind password from FILE (its whole content)\n"
    "  -x            simple authentication (the only kind offered)\n"
    "  -Z            try StartTLS; -ZZ requires it to succeed\n"
    "  -v            verbose: show each step on standard error\n"
    "  -n            show what would be done; contact no server\n"
    "  -o json       output JSON (one document, or one line per streamed item)\n"
    "  -o text       output for people (the default)\n"
    "  -o nettimeout=SECONDS\n"
    "                time limit for connecting\n"
    "  --help        this help\n";

std::vector<Command> all_commands()
{
    std::vector<Command> all;
    for (auto family : {identity_commands(), partition_commands(), replica_commands(), synchronisation_commands(),
                        replication_filter_commands(), backup_commands(), monitor_commands(), loader_commands()})
        all.insert(all.end(), family.begin(), family.end());
    return all;
}

std::string usage_line(const Command& command)
{
    std::string line = std::string("tervane ") + command.group;
    if (command.action != nullptr)
        line += std::string(" ") + command.action;
    if (!command.options.empty())
        line += " [options]";
    if (*command.arguments != '\0')
        line += std::string(" ") + command.arguments;
    return line;
}

void print_overview(const std::vector<Command>& commands, std::FILE* to)
{
    std::fprintf(to,
                 "usage: tervane [connection options] COMMAND [ACTION] [options] [arguments]\n"
                 "       tervane COMMAND [ACTION] --help\n\nCommands:\n");
    for (const Command& command : commands)
        std::fprintf(to, "  %-46s %s\n", usage_line(command).substr(8).c_str(), command.summary);
    std::fprintf(to, "\n%s\nExit status: 0 on success, otherwise the LDAP result code. See tervane(1).\n",
                 kConnectionHelp);
}

void print_command_help(const Command& command)
{
    std::printf("usage: %s\n\n%s\n", usage_line(command).c_str(), command.summary);
    if (!command.options.empty()) {
        std::printf("\nOptions:\n");
        for (const OptionSpec& option : command.options) {
            std::string left = std::string("--") + option.name;
            if (option.argument != nullptr)
                left += std::string(" ") + option.argument;
            std::printf("  %-22s %s\n", left.c_str(), option.help);
        }
    }
    std::printf("\n%s", kConnectionHelp);
}

// Applies one connection option; false when c is not one.
bool apply_connection_option(int c, const char* value, ConnectionOptions& options, Output& output)
{
    switch (c) {
    case 'H': options.uri = value; return true;
    case 'D': options.bind_dn = value; return true;
    case 'w': options.password = value; return true;
    case 'W': options.prompt_password = true; return true;
    case 'y': options.password_file = value; return true;
    case 'x': return true;
    case 'Z': ++options.start_tls; return true;
    case 'v': output.set_verbose(true); return true;
    case 'n': options.dry_run = true; return true;
    case 'o': {
        std::string option = value;
        if (option == "json")
            output.set_format(Format::json);
        else if (option == "text")
            output.set_format(Format::text);
        else if (option.rfind("nettimeout=", 0) == 0)
            options.network_timeout = parse_int(option.substr(11), "-o nettimeout");
        else
            throw UsageError("-o " + option + ": unknown output or option (json, text, nettimeout=SECONDS)");
        return true;
    }
    default: return false;
    }
}

[[noreturn]] void getopt_failure(int c, char** argv)
{
    std::string shown = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : std::string(argv[optind - 1]);
    if (c == ':')
        throw UsageError("option " + shown + " needs a value");
    throw UsageError("unknown option " + shown);
}

void check_connection_options(const ConnectionOptions& options)
{
    int sources = (options.password ? 1 : 0) + (options.password_file ? 1 : 0) + (options.prompt_password ? 1 : 0);
    if (sources > 1)
        throw UsageError("-w, -W and -y each give the password: use one");
    if (options.start_tls > 2)
        throw UsageError("-Z: give it once (try) or twice (require)");
}

// The command that the words at argv[optind] name, past them; nullptr when
// the words asked for help, which has been printed.
const Command* find_command(const std::vector<Command>& commands, int argc, char** argv)
{
    if (optind >= argc)
        throw UsageError("no command given");
    std::string group = argv[optind++];
    std::vector<const Command*> in_group;
    for (const Command& command : commands)
        if (group == command.group)
            in_group.push_back(&command);
    if (in_group.empty())
        throw UsageError("unknown command '" + group + "'");
    if (in_group.size() == 1 && in_group.front()->action == nullptr)
        return in_group.front();

    std::string action = optind < argc ? argv[optind] : "";
    for (const Command* candidate : in_group)
        if (action == candidate->action) {
            ++optind;
            return candidate;
        }
    if (action == "--help") {
        std::printf("usage:\n");
        for (const Command* candidate : in_group)
            std::printf("  %-50s %s\n", usage_line(*candidate).c_str(), candidate->summary);
        return nullptr;
    }
    std::string actions;
    for (const Command* candidate : in_group)
        actions += std::string(actions.empty() ? "" : ", ") + candidate->action;
    throw UsageError((action.empty() ? "'" + group + "' needs an action"
                                     : "unknown action '" + action + "' of '" + group + "'") +
                     " (" + actions + ")");
}

// The command's own options and the connection options, anywhere after its
// words (getopt_long permutes a copy of the arguments), then its arguments,
// into invocation; false when they asked for help, which has been printed.
bool read_command_arguments(const Command& command, int argc, char** argv, Invocation& invocation, Output& output)
{
    std::vector<option> long_options;
    for (std::size_t i = 0; i < command.options.size(); ++i)
        long_options.push_back({command.options[i].name,
                                command.options[i].argument != nullptr ? required_argument : no_argument, nullptr,
                                kFirstCommandOption + static_cast<int>(i)});
    long_options.push_back({"help", no_argument, nullptr, kHelp});
    long_options.push_back({nullptr, 0, nullptr, 0});
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + optind, argv + argc);
    rest.push_back(nullptr);
    int rest_count = static_cast<int>(rest.size()) - 1;

    optind = 0;
    for (int c; (c = getopt_long(rest_count, rest.data(), kConnectionShort, long_options.data(), nullptr)) != -1;) {
        if (c == kHelp) {
            print_command_help(command);
            return false;
        }
        if (c == '?' || c == ':')
            getopt_failure(c, rest.data());
        if (c >= kFirstCommandOption) {
            const OptionSpec& option = command.options[static_cast<std::size_t>(c - kFirstCommandOption)];
            invocation.add_value(option.name, optarg != nullptr ? optarg : "");
            continue;
        }
        apply_connection_option(c, optarg, invocation.connection(), output);
    }
    for (int i = optind; i < rest_count; ++i)
        invocation.add_arg(rest[static_cast<std::size_t>(i)]);
    check_connection_options(invocation.connection());
    int count = static_cast<int>(invocation.args().size());
    if (count < command.min_args)
        throw UsageError(invocation.name() + ": missing arguments (usage: " + usage_line(command) + ")");
    if (command.max_args >= 0 && count > command.max_args)
        throw UsageError(invocation.name() + ": too many arguments (usage: " + usage_line(command) + ")");
    return true;
}

int run(int argc, char** argv, Output& output)
{
    std::vector<Command> commands = all_commands();
    ConnectionOptions connection;
    static const option kGlobalLong[] = {{"help", no_argument, nullptr, kHelp}, {nullptr, 0, nullptr, 0}};

    // Connection options before the command word.
    std::string global_short = std::string("+") + kConnectionShort;
    opterr = 0;
    optind = 1;
    for (int c; (c = getopt_long(argc, argv, global_short.c_str(), kGlobalLong, nullptr)) != -1;) {
        if (c == kHelp) {
            print_overview(commands, stdout);
            return 0;
        }
        if (c == '?' || c == ':')
            getopt_failure(c, argv);
        apply_connection_option(c, optarg, connection, output);
    }
    const Command* command = find_command(commands, argc, argv);
    if (command == nullptr)
        return 0;
    Invocation invocation(*command, connection, output);
    if (!read_command_arguments(*command, argc, argv, invocation, output))
        return 0;
    return command->run(invocation);
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv)
{
    cli::Output output;
    try {
        return cli::exit_status(cli::run(argc, argv, output));
    } catch (...) {
        return cli::report_exception(output);
    }
}
