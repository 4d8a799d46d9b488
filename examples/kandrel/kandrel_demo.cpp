// Loads the Kandrel component the way the Quillon host does and shows what a
// host program gets from it: the library name, the LDAPSession class with its
// methods and properties, the constant library, and the attribute-collection
// methods at work. Given a directory server (kandrel_demo HOST PORT, bound as
// cn=admin,<suffix> with the password "secret"), it then runs a host program
// against it: bind, add an entry built as a collection, search and walk,
// modify, compare, delete.
#include <cstdio>
#include <cstdlib>
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

enum Method : std::int32_t {
    kInit = 2001, kUnbind = 2002, kBind = 2005, kAdd = 2006, kModify = 2007, kCompare = 2008,
    kCountEntries = 2009, kFree = 2020, kSearchSynchronously = 2019, kFirstEntry = 2021, kNextEntry = 2022,
    kFirstAttribute = 2023, kNextAttribute = 2024, kGetValues = 2026, kDelete = 2027, kGetDn = 2028,
    kAddAtt = 2031, kSetAtt = 2032, kGetAtt = 2033, kGetAttArrayItem = 2034,
};

// A host program's view of one LDAPSession object.
class Program {
public:
    Program(testhost::TestHost& host, HostLParam object) : host_(host), object_(object) {}

    testhost::Reply call(std::int32_t method, const std::vector<Arg>& params)
    {
        return host_.call(object_, method, params);
    }
    std::string text(std::int32_t method, const std::vector<Arg>& params)
    {
        const testhost::Reply reply = call(method, params);
        return reply.result ? reply.result->utf8() : "";
    }
    std::int32_t integer(std::int32_t method, const std::vector<Arg>& params)
    {
        const testhost::Reply reply = call(method, params);
        return reply.result ? reply.result->integer : -12345;
    }

    // Prints every entry of a chain with its attributes and values.
    void show_entries(const std::string& chain)
    {
        for (std::string entry = text(kFirstEntry, {Arg::utf8(chain)}); !entry.empty();
             entry = text(kNextEntry, {Arg::utf8(entry)})) {
            std::printf("    dn: %s\n", text(kGetDn, {Arg::utf8(entry)}).c_str());
            const testhost::Reply first = call(kFirstAttribute, {Arg::utf8(entry), Arg::utf8("")});
            const std::string ber = first.params.at(2).utf8();
            for (std::string name = first.result->utf8(); !name.empty();
                 name = text(kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)})) {
                std::printf("      %s: %s\n", name.c_str(),
                            text(kGetValues, {Arg::utf8(entry), Arg::utf8(name)}).c_str());
            }
            call(kFree, {Arg::utf8(ber)});
        }
    }

private:
    testhost::TestHost& host_;
    HostLParam object_;
};

const char* compare_meaning(std::int32_t answer)
{
    switch (answer) {
    case 0: return "the entry holds the value";
    case 1: return "the entry does not hold it";
    case 2: return "the entry lacks the attribute";
    case 3: return "there is no such entry";
    default: return "an error";
    }
}

int run_host_program(testhost::TestHost& host, const std::string& server, std::int32_t port)
{
    const std::string admin = "cn=admin,dc=example,dc=com";
    const std::string people = "ou=people,dc=example,dc=com";
    const std::string dn = "cn=Robin Example," + people;
    std::printf("\nA host program against the directory at %s:%d:\n", server.c_str(), port);
    const HostLParam object = 2;
    host.create(object);
    Program program(host, object);

    const std::string session = program.text(kInit, {Arg::utf8(server), Arg::integer(port)});
    std::printf("  $init(\"%s\", %d) -> \"%s\"\n", server.c_str(), port, session.c_str());
    const std::int32_t bound = program.integer(kBind, {Arg::utf8(admin), Arg::utf8("secret")});
    std::printf("  $simple_bind_s(\"%s\", \"secret\") -> %d\n", admin.c_str(), bound);
    if (session.empty() || bound != 0) {
        host.destroy(object);
        return 1;
    }

    std::string entry;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"objectClass", "inetOrgPerson"}, {"cn", "Robin Example"}, {"sn", "Example"},
             {"mail", "robin@example.com"}, {"telephoneNumber", "+44 20 7946 0000"}}) {
        entry = program.text(kAddAtt, {Arg::utf8(entry), Arg::utf8(name), Arg::utf8(value)});
    }
    std::printf("  An entry built with $add_att:\n      %s\n", lines(entry).c_str());
    std::printf("  $add_ext_s(\"%s\", Entry, \"\", \"\") -> %d\n", dn.c_str(),
                program.integer(kAdd, {Arg::utf8(dn), Arg::utf8(entry), Arg::utf8(""), Arg::utf8("")}));

    std::string chain = program.text(kSearchSynchronously, {Arg::utf8(people), Arg::integer(1)});
    std::printf("  $search_ext_s(\"%s\", kLDAP_SCOPE_ONELEVEL) -> \"%s\", %d entries\n", people.c_str(),
                chain.c_str(), program.integer(kCountEntries, {Arg::utf8(chain)}));
    program.show_entries(chain);
    std::printf("  $free(\"%s\") -> %d\n", chain.c_str(), program.integer(kFree, {Arg::utf8(chain)}));

    const std::string mods = "replace: mail\rmail: robin.example@example.com\radd: description\r"
                             "description: Added by the Kandrel demo\r";
    std::printf("  $modify_ext_s(\"%s\", Mods, \"\", \"\") with Mods:\n      %s\n    -> %d\n", dn.c_str(),
                lines(mods).c_str(),
                program.integer(kModify, {Arg::utf8(dn), Arg::utf8(mods), Arg::utf8(""), Arg::utf8("")}));
    chain = program.text(kSearchSynchronously, {Arg::utf8(dn), Arg::integer(0), Arg::utf8(""), Arg::utf8("mail,description")});
    std::printf("  $search_ext_s(\"%s\", kLDAP_SCOPE_BASE, \"\", \"mail,description\"):\n", dn.c_str());
    program.show_entries(chain);
    program.call(kFree, {Arg::utf8(chain)});

    for (const char* mail : {"robin.example@example.com", "robin@example.com"}) {
        const std::int32_t answer = program.integer(kCompare, {Arg::utf8(dn), Arg::utf8("mail"), Arg::utf8(mail)});
        std::printf("  $compare_s(DN, \"mail\", \"%s\") -> %d (%s)\n", mail, answer, compare_meaning(answer));
    }
    std::printf("  $delete_ext_s(\"%s\") -> %d\n", dn.c_str(), program.integer(kDelete, {Arg::utf8(dn)}));
    const std::int32_t gone = program.integer(kCompare, {Arg::utf8(dn), Arg::utf8("mail"), Arg::utf8("x")});
    std::printf("  $compare_s(DN, \"mail\", \"x\") -> %d (%s)\n", gone, compare_meaning(gone));
    std::printf("  $unbind_s() -> %d\n", program.integer(kUnbind, {}));
    host.destroy(object);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
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
        const testhost::Reply added = host.call(session, kAddAtt, {Arg::utf8(collection), Arg::utf8(item_name), Arg::utf8(value)});
        collection = added.result->utf8();
        std::printf("  $add_att(Collection, \"%s\", \"%s\")\n", item_name.c_str(), value.c_str());
    }
    std::printf("    -> %s\n", lines(collection).c_str());
    const testhost::Reply set = host.call(session, kSetAtt, {Arg::utf8(collection), Arg::utf8("sn"), Arg::utf8("Sample")});
    collection = set.result->utf8();
    std::printf("  $set_att(Collection, \"sn\", \"Sample\")\n    -> %s\n", lines(collection).c_str());
    const testhost::Reply cn = host.call(session, kGetAtt, {Arg::utf8(collection), Arg::utf8("cn")});
    std::printf("  $get_att(Collection, \"cn\") -> \"%s\"\n", cn.result->utf8().c_str());
    for (int index = 1; index <= 3; ++index) {
        const testhost::Reply item = host.call(session, kGetAttArrayItem, {Arg::utf8(collection), Arg::utf8("objectClass"), Arg::integer(index)});
        std::printf("  $get_att_array_item(Collection, \"objectClass\", %d) -> \"%s\"\n", index,
                    item.result->utf8().c_str());
    }
    host.destroy(session);
    int status = 0;
    if (argc == 3) {
        status = run_host_program(host, argv[1], std::atoi(argv[2]));
    }
    std::printf("\nDisconnect answers %ld.\n", static_cast<long>(host.disconnect()));
    return status;
}
