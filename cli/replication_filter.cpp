// Replication filter: read a server's filter, or set it from text or a file.
//
// Filter text: for each class its name, "$", each attribute followed by "$",
// one more "$"; then a closing "$" ("C1$A1$A2$$C2$$$"; "$" is empty).
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

// The classes of a filter text with their attributes, or nullopt with the
// reason when the text does not have the filter's form. Text after the
// closing "$" is refused too: the library would ignore it silently.
std::optional<Json> parse_filter(const std::string& text, std::string& reason)
{
    Json classes = Json::array();
    std::size_t p = 0;
    auto next_name = [&](const char* what) -> std::optional<std::string> {
        std::size_t end = text.find('$', p);
        if (end == std::string::npos) {
            reason = std::string("the ") + what + " starting at offset " + std::to_string(p) + " has no closing '$'";
            return std::nullopt;
        }
        std::string name = text.substr(p, end - p);
        p = end + 1;
        return name;
    };
    while (p < text.size() && text[p] != '$') {
        auto name = next_name("class name");
        if (!name)
            return std::nullopt;
        Json attributes = Json::array();
        while (p < text.size() && text[p] != '$') {
            auto attribute = next_name("attribute name");
            if (!attribute)
                return std::nullopt;
            attributes.push_back(*attribute);
        }
        if (p >= text.size()) {
            reason = "the attribute list of class '" + *name + "' has no closing '$'";
            return std::nullopt;
        }
        ++p;
        classes.push_back(Json{{"class", *name}, {"attributes", attributes}});
    }
    if (p >= text.size()) {
        reason = "the filter has no closing '$'";
        return std::nullopt;
    }
    if (p + 1 != text.size()) {
        reason = "text after the closing '$' at offset " + std::to_string(p);
        return std::nullopt;
    }
    return classes;
}

std::string read_filter_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw InputError(path + ": " + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // One filter text, with the line end an editor leaves.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

int get(Invocation& call)
{
    std::string server = call.arg(0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    TervaneString filter;
    call.check(ldap_get_replication_filter(ld, server.data(), out(filter)), "ldap_get_replication_filter");
    std::string text = filter ? filter.get() : "";
    std::string reason;
    auto classes = parse_filter(text, reason);
    Json doc{{"server", server}, {"filter", text}};
    if (classes)
        doc["classes"] = *classes;
    // The text form is the filter alone, so that it can be set again from a
    // file.
    call.out().document(doc, text + "\n");
    return 0;
}

int set(Invocation& call)
{
    std::string server = call.arg(0);
    if (call.has_arg(1) == call.has("file"))
        throw UsageError("filter set: give the filter text or --file FILE, not both or neither");
    std::string text = call.has("file") ? read_filter_file(call.value("file")) : call.arg(1);
    std::string reason;
    auto classes = parse_filter(text, reason);
    if (!classes)
        throw InputError("filter set: malformed filter text: " + reason + "; nothing was sent");
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_set_replication_filter(ld, server.data(), text.data()), "ldap_set_replication_filter");
    call.out().done(Json{{"server", server}, {"filter", text}, {"classes", *classes}});
    return 0;
}

const Command kCommands[] = {
    {"filter", "get", "DN", "show the replication filter DN names (a server, or a naming context)", 1, 1, {}, get},
    {"filter", "set", "DN [FILTER]", "set the replication filter DN names from FILTER or a file", 1, 2,
     {{"file", "FILE", "read the filter text from FILE"}}, set},
};

}  // namespace

std::span<const Command> replication_filter_commands() { return kCommands; }

}  // namespace cli
