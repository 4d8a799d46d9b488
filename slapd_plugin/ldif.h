// One entry as LDIF text: the object data of a backup, read back by a
// restore.
#ifndef SLAPD_PLUGIN_LDIF_H
#define SLAPD_PLUGIN_LDIF_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace adminext {

struct Attribute {
    std::string type;
    std::vector<std::string> values;
};

struct LdifEntry {
    std::string dn;
    std::vector<Attribute> attributes;  // each type once, in first-seen order
};

// "dn: ..." and one "type: value" line per value; values that LDIF cannot
// carry as they are ("type:: base64"), and lines longer than 76 characters
// are folded.
std::string write_ldif(const LdifEntry& entry);

// The one entry of an LDIF text: "dn:" first, then "type: value" or "type::
// base64" lines, continuation lines (a leading space) and comments; blank
// lines only at the end. Empty for anything else, including a second entry,
// change records and URLs.
std::optional<LdifEntry> read_ldif(std::string_view text);

}  // namespace adminext

#endif
