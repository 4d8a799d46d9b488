// Starts a private slapd for demos and hand testing: a generated
// configuration in a temporary folder, a seed tree, 127.0.0.1 and a free
// port. Prints the server's URI and process id, writes the URI to the file
// given with --uri-file once the server answers, and serves until it gets
// SIGTERM or SIGINT; then it stops the server by its pid and removes the
// folder. With --config-password the server runs from a configuration
// directory, and its configuration (cn=config, root DN "cn=config" with that
// password) can be read and changed over LDAP while it runs. With
// --ldapi-file it also listens on a local socket and writes its ldapi:// URI
// to that file.
//
//   private_slapd [--suffix DN] [--root-dn DN] [--password TEXT]
//                 [--seed FILE.ldif] [--people N] [--config-password TEXT]
//                 [--global LINE]... [--database LINE]... [--uri-file FILE]
//                 [--ldapi-file FILE]
#include <getopt.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "slapd_server.h"

namespace {

void usage()
{
    std::cerr << "usage: private_slapd [--suffix DN] [--root-dn DN] [--password TEXT]\n"
                 "                     [--seed FILE.ldif] [--people N] [--config-password TEXT]\n"
                 "                     [--global LINE]... [--database LINE]... [--uri-file FILE]\n"
                 "                     [--ldapi-file FILE]\n";
}

std::string read_file(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(std::string("cannot read ") + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv)
{
    enum { kSuffix = 1, kRootDn, kPassword, kSeed, kPeople, kConfigPassword, kGlobal, kDatabase, kUriFile, kLdapiFile };
    static const option kOptions[] = {
        {"suffix", required_argument, nullptr, kSuffix},
        {"root-dn", required_argument, nullptr, kRootDn},
        {"password", required_argument, nullptr, kPassword},
        {"seed", required_argument, nullptr, kSeed},
        {"people", required_argument, nullptr, kPeople},
        {"config-password", required_argument, nullptr, kConfigPassword},
        {"global", required_argument, nullptr, kGlobal},
        {"database", required_argument, nullptr, kDatabase},
        {"uri-file", required_argument, nullptr, kUriFile},
        {"ldapi-file", required_argument, nullptr, kLdapiFile},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    slapd::Options options;
    std::string seed_file;
    std::string uri_file;
    std::string ldapi_file;
    int people = 0;
    try {
        for (int option; (option = getopt_long(argc, argv, "h", kOptions, nullptr)) != -1;) {
            switch (option) {
            case kSuffix: options.suffix = optarg; break;
            case kRootDn: options.root_dn = optarg; break;
            case kPassword: options.root_password = optarg; break;
            case kSeed: seed_file = optarg; break;
            case kPeople: people = std::atoi(optarg); break;
            case kConfigPassword: options.config_password = optarg; break;
            case kGlobal: options.global_config.emplace_back(optarg); break;
            case kDatabase: options.database_config.emplace_back(optarg); break;
            case kUriFile: uri_file = optarg; break;
            case kLdapiFile:
                ldapi_file = optarg;
                options.ldapi = true;
                break;
            case 'h': usage(); return 0;
            default: usage(); return 2;
            }
        }
        if (optind != argc) {
            usage();
            return 2;
        }
        options.seed_ldif = seed_file.empty() ? slapd::suffix_entry(options.suffix)
                                              : read_file(seed_file.c_str());
        if (people > 0) {
            options.seed_ldif += slapd::people(options.suffix, people);
        }

        // Wait for the signal that ends the server with sigwait, so the
        // server is always stopped by this process.
        sigset_t ending;
        sigemptyset(&ending);
        sigaddset(&ending, SIGTERM);
        sigaddset(&ending, SIGINT);
        pthread_sigmask(SIG_BLOCK, &ending, nullptr);

        slapd::Server server(options);
        server.start();
        std::cout << server.uri() << " (slapd process " << server.pid() << ")" << std::endl;
        // Written whole or not at all: a reader polls for the file.
        auto publish = [](const std::string& file, const std::string& uri) {
            if (file.empty())
                return;
            const std::string partial = file + ".partial";
            std::ofstream(partial) << uri << "\n";
            std::rename(partial.c_str(), file.c_str());
        };
        publish(ldapi_file, server.ldapi_uri());
        publish(uri_file, server.uri());
        int received = 0;
        sigwait(&ending, &received);
        server.stop();
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "private_slapd: " << error.what() << "\n";
        return 1;
    }
}
