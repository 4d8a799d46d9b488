#include "command.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace cli {

Invocation::Invocation(const Command& command, ConnectionOptions connection, Output& output)
    : command_(command), connection_(std::move(connection)), output_(output)
{
}

std::string Invocation::value(const std::string& option, const std::string& fallback) const
{
    auto range = values_.equal_range(option);
    if (range.first == range.second)
        return fallback;
    return std::prev(range.second)->second;
}

std::vector<std::string> Invocation::values(const std::string& option) const
{
    std::vector<std::string> all;
    auto range = values_.equal_range(option);
    for (auto it = range.first; it != range.second; ++it)
        all.push_back(it->second);
    return all;
}

int Invocation::integer(const std::string& option, int fallback) const
{
    if (!has(option))
        return fallback;
    return parse_int(value(option), "--" + option);
}

LDAP* Invocation::session()
{
    // Under -n the command says what it would send, and sends nothing.
    if (connection_.dry_run) {
        if (!dry_run_shown_) {
            dry_run_shown_ = true;
            Json options = Json::object();
            for (const auto& [option, value] : values_)
                options[option] = value;
            output_.document(Json{{"would_send", name()},
                                  {"arguments", args_},
                                  {"options", options},
                                  {"uri", connection_.uri.value_or("(ldap.conf)")},
                                  {"bind_dn", connection_.bind_dn.value_or("(the default)")}});
        }
        return nullptr;
    }
    if (!session_)
        session_.emplace(open_session(connection_, output_));
    return session_->get();
}

std::string Invocation::name() const
{
    std::string words = command_.group;
    if (command_.action != nullptr)
        words += std::string(" ") + command_.action;
    return words;
}

void Invocation::check(int code, const std::string& what)
{
    if (code == LDAP_SUCCESS)
        return;
    std::string diagnostic;
    // Tervane's own failures leave no diagnostic on the handle; the server's
    // do, and so do the client library's.
    bool own = code == 1 || code == 83 || code == 84 || code == 89 || code == 90 || code == 92;
    if (!own && session_) {
        char* text = nullptr;
        ldap_get_option(session_->get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &text);
        if (text != nullptr)
            diagnostic = text;
        ldap_memfree(text);
    }
    output_.failure(what, code, diagnostic);
    throw Failed{code};
}

int parse_int(const std::string& text, const std::string& what)
{
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        throw UsageError(what + ": '" + text + "' is not a whole number");
    return static_cast<int>(value);
}

}  // namespace cli
