// Typed references: how library objects cross to host programs. A reference
// text is a five-character kind prefix and eight lower-case hexadecimal
// digits. The digits are a token into one process-wide table of live library
// objects, so a reference resolves only to an object that is still alive and
// of the kind its prefix names; raw addresses never reach host programs and a
// stale or forged reference never reaches the client library.
#ifndef KANDREL_REFERENCES_H
#define KANDREL_REFERENCES_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "host_interface.h"

namespace kandrel::refs {

enum class Kind : std::uint8_t { session, message, entry, ber_element, controls };
inline constexpr std::size_t kKindCount = 5;

inline constexpr std::array<const char*, kKindCount> kPrefixes = {"LDAP:", "MESS:", "ENTY:",
                                                                   "BERE:", "CTRL:"};
inline constexpr std::size_t kPrefixLength = 5;
inline constexpr std::size_t kTextLength = kPrefixLength + 8;

constexpr const char* prefix(Kind kind) { return kPrefixes[static_cast<std::size_t>(kind)]; }

using Token = std::uint32_t;

// Registers object as a live object of kind and answers its token. An object
// already registered with the same kind keeps its token. parent, when not 0,
// is the token of the result chain the object was taken from: retiring the
// chain retires the object too. Answers 0 for a null object or when the table
// cannot grow.
Token mint(Kind kind, void* object, Token parent = 0) noexcept;

// The live object of kind behind token, or null.
void* resolve(Kind kind, Token token) noexcept;

// Removes token and every token taken from it and answers the object, which
// the caller then releases; null when token is not a live object of kind.
void* retire(Kind kind, Token token) noexcept;

// Number of live tokens (for diagnostics and tests).
std::size_t live_count() noexcept;

// Writes the text of token into out: prefix and eight digits, or the empty
// text for token 0.
void format(Kind kind, Token token, char (&out)[32]) noexcept;

// Writes the reference of object to parameter n (0: the return value),
// minting its token; a null object writes the empty text. False when the text
// could not be written or no token could be made.
bool set_param(HostCallInfo* call, int n, Kind kind, void* object, Token parent = 0) noexcept;

// Reads parameter n as a reference of kind. The empty text reads as null
// (true); so does a text with the right prefix and no digits. A text of
// another kind logs the mismatch and answers false, as does a token that is
// not a live object of kind, and an absent or unreadable parameter. token, if
// given, receives the token that was read.
bool get_param(const HostCallInfo* call, int n, bool utf8, Kind kind, void*& out,
               Token* token = nullptr) noexcept;

}  // namespace kandrel::refs

#endif
