#include "directory_server.h"

#include <memory>

namespace kandrel_test {
namespace {

std::string sample_tree()
{
    std::string ldif = slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, kPeopleCount);
    ldif += std::string("dn: ") + kMultiValued +
            "\n"
            "objectClass: inetOrgPerson\n"
            "cn: Multi Valued\n"
            "sn: Valued\n"
            "mail: first@example.com\n"
            "mail: second@example.com\n"
            "mail: third@example.com\n"
            "description: Smith, John\n"
            "telephoneNumber: +1 555 0100\n"
            "telephoneNumber: +1 555 0101\n"
            // 00 01 02 ff: a value that is not text.
            "audio:: AAEC/w==\n"
            "\n";
    ldif += std::string("dn: ") + kReferral +
            "\n"
            "objectClass: referral\n"
            "objectClass: extensibleObject\n"
            "ou: elsewhere\n"
            "ref: " + kReferralUrl + "\n\n";
    ldif += std::string("dn: ") + kScratch + "\nobjectClass: organizationalUnit\nou: scratch\n\n";
    return ldif;
}

}  // namespace

slapd::Options directory_options()
{
    slapd::Options options;
    options.suffix = kSuffix;
    options.root_dn = kAdmin;
    options.root_password = kPassword;
    options.seed_ldif = sample_tree();
    options.database_config = {"sizelimit " + std::to_string(kAnonymousSizeLimit)};
    return options;
}

slapd::Server& directory()
{
    static const std::unique_ptr<slapd::Server> server = [] {
        auto started = std::make_unique<slapd::Server>(directory_options());
        started->start();
        return started;
    }();
    return *server;
}

}  // namespace kandrel_test
