// Identity, privileges and name conversion: whoami, privileges, name, refresh.
#include <string>
#include <vector>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

// Runs a request that hands out a DN and prints the DN.
template <typename Request>
int show_dn(Invocation& call, const char* what, Request&& request)
{
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    TervaneString dn;
    call.check(request(ld, out(dn)), what);
    call.out().document(Json{{"dn", text_value(dn.get())}});
    return 0;
}

int whoami(Invocation& call)
{
    if (call.has("context-identity"))
        return show_dn(call, "ldap_get_context_identity_name",
                       [](LDAP* ld, char** dn) { return ldap_get_context_identity_name(ld, dn); });
    return show_dn(call, "ldap_get_bind_dn", [](LDAP* ld, char** dn) { return ldap_get_bind_dn(ld, dn); });
}

int privileges(Invocation& call)
{
    std::string dn = call.arg(0), subject = call.arg(1);
    std::vector<std::string> attributes(call.args().begin() + 2, call.args().end());
    bool list = call.has("list") || attributes.size() > 1;
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    std::vector<int> rights(attributes.size(), 0);
    if (list) {
        std::vector<char*> names;
        for (std::string& attribute : attributes)
            names.push_back(attribute.data());
        names.push_back(nullptr);
        call.check(ldap_get_effective_privileges_list(ld, dn.data(), subject.data(), names.data(), rights.data()),
                   "ldap_get_effective_privileges_list");
    } else {
        call.check(ldap_get_effective_privileges(ld, dn.data(), subject.data(), attributes[0].data(), rights.data()),
                   "ldap_get_effective_privileges");
    }
    Json by_attribute = Json::object();
    for (std::size_t i = 0; i < attributes.size(); ++i)
        by_attribute[attributes[i]] = rights[i];
    call.out().document(Json{{"dn", dn}, {"subject", subject}, {"privileges", by_attribute}});
    return 0;
}

// UTF-8 to the 16-bit units of a vorn name (surrogate pairs beyond the basic
// plane); malformed UTF-8 is refused.
std::vector<unsigned short> to_utf16(const std::string& text)
{
    std::vector<unsigned short> units;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4 || extra > text.size() - 1 - i)
            throw InputError("name vorn: the name is not valid UTF-8");
        unsigned long code = extra == 0 ? c : c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                throw InputError("name vorn: the name is not valid UTF-8");
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr unsigned long kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0)
            throw InputError("name vorn: the name is not valid UTF-8");
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<unsigned short>(0xD800 + (code >> 10)));
            units.push_back(static_cast<unsigned short>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<unsigned short>(code));
        }
        i += extra + 1;
    }
    units.push_back(0);
    return units;
}

int name_vorn(Invocation& call)
{
    std::vector<unsigned short> name = to_utf16(call.arg(0));
    return show_dn(call, "ldap_vorn_to_ldap",
                   [&](LDAP* ld, char** dn) { return ldap_vorn_to_ldap(ld, name.data(), dn); });
}

int name_dns(Invocation& call)
{
    std::string name = call.arg(0);
    return show_dn(call, "ldap_dns_to_x500_dn",
                   [&](LDAP* ld, char** dn) { return ldap_dns_to_x500_dn(ld, name.data(), dn); });
}

int refresh(Invocation& call)
{
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_refresh_server(ld), "ldap_refresh_server");
    call.out().done(Json::object());
    return 0;
}

const Command kCommands[] = {
    {"whoami", nullptr, "", "show the DN the connection is bound as", 0, 0,
     {{"context-identity", nullptr, "ask with the context-identity-name request (same answer)"}}, whoami},
    {"privileges", nullptr, "DN SUBJECT ATTRIBUTE...",
     "show the effective privileges SUBJECT has on attributes of the entry DN", 3, -1,
     {{"list", nullptr, "use the list request even for one attribute"}}, privileges},
    {"name", "vorn", "NAME", "convert a vorn name (given in UTF-8) to an LDAP DN", 1, 1, {}, name_vorn},
    {"name", "dns", "NAME", "convert a DNS-style name to an X.500 DN", 1, 1, {}, name_dns},
    {"refresh", nullptr, "", "ask the server to refresh itself", 0, 0, {}, refresh},
};

}  // namespace

std::span<const Command> identity_commands() { return kCommands; }

}  // namespace cli
