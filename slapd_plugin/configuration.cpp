#include "configuration.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

namespace adminext {

namespace {

Settings current;
std::string secret;

bool parse_count(const std::string& text, std::size_t& count)
{
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 1000000)
        return false;
    count = value;
    return true;
}

}  // namespace

std::optional<Settings> parse_settings(const std::vector<std::string>& arguments, const std::string& host,
                                       std::string& error)
{
    Settings settings;
    settings.server = "cn=" + (host.empty() ? std::string("localhost") : host);
    for (const std::string& argument : arguments) {
        std::size_t equals = argument.find('=');
        std::string name = argument.substr(0, equals);
        std::string value = equals == std::string::npos ? std::string() : argument.substr(equals + 1);
        bool valid = equals != std::string::npos;
        if (name == "administrators")
            settings.administrators = value;
        else if (name == "server") {
            settings.server = value;
            valid = valid && !value.empty();
        }
        else if (name == "monitors")
            valid = valid && parse_count(value, settings.monitors);
        else if (name == "batch")
            valid = valid && parse_count(value, settings.batch);
        else if (name == "queue")
            valid = valid && parse_count(value, settings.queue);
        else if (name == "peer") {
            const std::size_t at = value.rfind('@');
            valid = valid && at != std::string::npos && at > 0 && at + 1 < value.size();
            if (valid)
                settings.peers.push_back({value.substr(0, at), value.substr(at + 1)});
        } else if (name == "replicator" || name == "replicator-secret" || name == "replicas") {
            std::string& setting = name == "replicator" ? settings.replicator
                                   : name == "replicas"   ? settings.replicas
                                                          : settings.replicator_secret_file;
            setting = value;
            valid = valid && !value.empty();
        }
        else
            valid = false;
        if (!valid) {
            error = "unknown or invalid argument \"" + argument + "\"";
            return std::nullopt;
        }
    }
    if (!settings.peers.empty() &&
        (settings.replicator.empty() || settings.replicator_secret_file.empty() || settings.replicas.empty())) {
        error = "peer= needs replicator=, replicator-secret= and replicas=";
        return std::nullopt;
    }
    if (settings.replicator.find_first_of("\"\\") != std::string::npos) {
        error = "replicator= may hold no quote and no backslash";
        return std::nullopt;
    }
    return settings;
}

std::optional<std::string> read_replicator_secret(const std::string& path, std::string& error)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "the replicator's secret file " + path + " cannot be read";
        return std::nullopt;
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = "the replicator's secret file " + path + " may be read or written by others than its owner";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string secret((std::istreambuf_iterator<char>(in)), {});
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r'))
        secret.pop_back();
    if (!in.good() && !in.eof()) {
        error = "the replicator's secret file " + path + " cannot be read";
        return std::nullopt;
    }
    const bool plain = std::all_of(secret.begin(), secret.end(), [](unsigned char c) {
        return c > ' ' && c != '"' && c != '\\' && c != 0x7F;
    });
    if (secret.empty() || !plain) {
        error = "the replicator's secret in " + path +
                " must be one line without quotes, backslashes, white space or control characters";
        return std::nullopt;
    }
    return secret;
}

const Settings& settings() { return current; }

const std::string& replicator_secret() { return secret; }

void set_replicator_secret(std::string text) { secret = std::move(text); }

void set_settings(Settings settings) { current = std::move(settings); }

}  // namespace adminext
