#include "configuration.h"

#include <charconv>

namespace adminext {

namespace {

Settings current;

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
        else
            valid = false;
        if (!valid) {
            error = "unknown or invalid argument \"" + argument + "\"";
            return std::nullopt;
        }
    }
    return settings;
}

const Settings& settings() { return current; }

void set_settings(Settings settings) { current = std::move(settings); }

}  // namespace adminext
