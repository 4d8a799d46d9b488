// Loads the Kandrel component the way the Quillon host does and shows what a
// host program gets from it: the library name, the LDAPSession class with its
// methods and properties, the constant library, and the attribute-collection
// methods at work.
#include <cstdio>
#include <string>
#include <vector>

#include "test_host.h"

namespace {

using testhost::Arg;
using testhost::Snapshot;

const char* type_name(std::int32_t type)
{
    switch (type) {
    case HOST_TYPE_ANY: return "any";
    case HOST_TYPE_CHARACTER: return "character";
    case HOST_TYPE_BOOLEAN: return "boolean";
    case HOST_TYPE_INTEGER: return "integer";
    case HOST_TYPE_BINARY: return "binary";
    case HOST_TYPE_LIST: return "list";
    default: return "?";
    }
}

// "name:help" resource texts.
std::pair<std::string, std::string> split_name(const std::string& text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return {text, ""};
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

// Shows a collection text with its carriage returns as line breaks.
std::string lines(const std::string& collection)
{
    std::string out;
    const std::string trimmed =
        !collection.empty() && collection.back() == '\r' ? collection.substr(0, collection.size() - 1) : collection;
    for (const char c : trimmed) {
        out += c == '\r' ? std::string("\n      ") : std::string(1, c);
    }
    return out;
}

void show_methods(const Snapshot& table)
{
    std::printf("\nMethods (%zu):\n", table.rows.size());
    for (const auto& row : table.rows) {
        const auto [name, help] = split_name(row[1].utf8());
        std::string parameters;
        for (const auto& parameter : row[5].rows) {
            if (!parameters.empty()) {
                parameters += ", ";
            }
            const std::int32_t flags = parameter[2].integer;
            if ((flags & HOST_PARAM_REFERENCE) != 0) {
                parameters += "&";
            }
            parameters += parameter[0].utf8() + " " + type_name(parameter[1].integer);
            if ((flags & HOST_PARAM_OPTIONAL) != 0) {
                parameters += " [optional]";
            }
        }
        std::printf("  %d  %s(%s) -> %s\n", row[0].integer, name.c_str(), parameters.c_str(),
                    type_name(row[2].integer));
        std::printf("        %s\n", help.c_str());
    }
}

void show_properties(const Snapshot& table)
{
    std::printf("\nProperties (%zu):\n", table.rows.size());
    for (const auto& row : table.rows) {
        const auto [name, help] = split_name(row[1].utf8());
        const bool read_only = (row[3].integer & HOST_PROPERTY_READ_ONLY) != 0;
        std::printf("  %d  %-9s %s%s\n        %s\n", row[0].integer, name.c_str(), type_name(row[2].integer),
                    read_only ? ", read-only" : "", help.c_str());
    }
}

void show_constants(const Snapshot& table, const std::string& prefix)
{
    std::printf("\nConstants (%zu), seen by host programs behind the prefix \"%s\":\n", table.rows.size(),
                prefix.c_str());
    for (const auto& row : table.rows) {
        std::string text = row[1].utf8();
        const std::size_t title = text.find('~');
        if (title != std::string::npos) {
            std::printf("  %s\n", text.substr(0, title).c_str());
            text = text.substr(title + 1);
        }
        // NAME:value:C-name:description
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            const std::size_t colon = text.find(':', start);
            fields.push_back(text.substr(start, colon - start));
            start = colon == std::string::npos ? text.size() : colon + 1;
        }
        fields.push_back(start < text.size() ? text.substr(start) : "");
        std::printf("    %s%-30s %6s  %s\n", prefix.c_str(), fields[0].c_str(), fields[1].c_str(),
                    fields[3].c_str());
    }
}

}  // namespace

int main()
{
    testhost::Component component(testhost::default_component_path());
    if (!component.loaded()) {
        std::fprintf(stderr, "cannot load %s\n", testhost::default_component_path().c_str());
        return 1;
    }
    testhost::TestHost host(component);
    std::printf("Connect answers %ld.\n", static_cast<long>(host.connect()));

    const testhost::Reply name = host.message(HOSTMSG_LIBRARY_NAME);
    std::printf("Library: %s\n", name.result ? name.result->utf8().c_str() : "?");
    const testhost::Reply classes = host.message(HOSTMSG_CLASS_TABLE);
    for (const auto& row : classes.result->rows) {
        const auto [class_name, help] = split_name(row[1].utf8());
        std::printf("Class %d: %s (%s)\n", row[0].integer, class_name.c_str(), help.c_str());
    }
    show_methods(*host.message(HOSTMSG_METHOD_TABLE).result);
    show_properties(*host.message(HOSTMSG_PROPERTY_TABLE).result);
    const testhost::Reply prefix = host.message(HOSTMSG_CONSTANT_PREFIX);
    show_constants(*host.message(HOSTMSG_CONSTANT_TABLE).result, prefix.result->utf8());

    std::printf("\nAttribute collections on an LDAPSession object:\n");
    const HostLParam session = 1;
    host.create(session);
    std::string collection;
    const std::vector<std::pair<std::string, std::string>> items = {
        {"objectClass", "top"}, {"objectClass", "person"}, {"cn", "Robin Example"}, {"sn", "Example"}};
    for (const auto& [item_name, value] : items) {
        const testhost::Reply added = host.call(session, 2031, {Arg::utf8(collection), Arg::utf8(item_name), Arg::utf8(value)});
        collection = added.result->utf8();
        std::printf("  $add_att(Collection, \"%s\", \"%s\")\n", item_name.c_str(), value.c_str());
    }
    std::printf("    -> %s\n", lines(collection).c_str());
    const testhost::Reply set = host.call(session, 2032, {Arg::utf8(collection), Arg::utf8("sn"), Arg::utf8("Sample")});
    collection = set.result->utf8();
    std::printf("  $set_att(Collection, \"sn\", \"Sample\")\n    -> %s\n", lines(collection).c_str());
    const testhost::Reply cn = host.call(session, 2033, {Arg::utf8(collection), Arg::utf8("cn")});
    std::printf("  $get_att(Collection, \"cn\") -> \"%s\"\n", cn.result->utf8().c_str());
    for (int index = 1; index <= 3; ++index) {
        const testhost::Reply item = host.call(session, 2034, {Arg::utf8(collection), Arg::utf8("objectClass"), Arg::integer(index)});
        std::printf("  $get_att_array_item(Collection, \"objectClass\", %d) -> \"%s\"\n", index,
                    item.result->utf8().c_str());
    }
    host.destroy(session);
    std::printf("\nDisconnect answers %ld.\n", static_cast<long>(host.disconnect()));
    return 0;
}
