// Text forms of names: the conversions the name-conversion operations
// answer, and the DN arithmetic the plug-in needs without asking slapd.
#ifndef SLAPD_PLUGIN_NAMES_H
#define SLAPD_PLUGIN_NAMES_H

#include <optional>
#include <string>
#include <string_view>

namespace adminext {

// Big-endian UTF-16 ending in one zero unit, as UTF-8 without it. Empty
// when the bytes are not that: an odd count, no terminator, a zero unit
// before the end, or a surrogate without its pair.
std::optional<std::string> utf16be_to_utf8(std::string_view bytes);

// A DNS name ("example.com", a final dot allowed) as the DN of its domain
// components ("dc=example,dc=com"). Empty when a label is empty, longer than
// 63 characters or holds anything but letters, digits and hyphens, or the
// name is longer than 253 characters.
std::optional<std::string> dns_to_dn(std::string_view name);

// The DN of the parent: what follows the first comma that no backslash
// escapes; empty for a DN of one RDN.
std::string_view parent_dn(std::string_view dn);

// True when the normalised DN `dn` is `base` or lies below it.
bool dn_within(std::string_view dn, std::string_view base);

// `value` escaped for use as an assertion value in a search filter.
std::string filter_value(std::string_view value);

}  // namespace adminext

#endif
