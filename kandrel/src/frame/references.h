// Typed references: how library objects cross to host programs. A reference
// text is a five-character kind prefix and eight lower-case hexadecimal
// digits. The digits are a token into one process-wide table of live library
// objects, so a reference resolves only to an object that is still alive and
// of the kind its prefix names; raw addresses never reach host programs and a
// stale or forged reference never reaches the client library.
//
// Ownership follows the objects' lives in the client library:
// - a result chain (the head message a search or ldap_result handed out), a
//   BER element, a control list and a single control belong to the host
//   program: the table owns them for it and releases them when the host
//   frees them;
// - messages and entries taken from a chain belong to the chain: their tokens
//   die with the chain's;
// - a BER element walks the attributes of an entry: it stays the host's to
//   free after its chain is gone, but is no longer usable.
// A method that uses an object holds a Pin; an object freed by another thread
// meanwhile is released only when the last pin on it (or on its chain) ends.
#ifndef KANDREL_REFERENCES_H
#define KANDREL_REFERENCES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "host_interface.h"

namespace kandrel::refs {

// control (one control) and controls (a null-terminated list) share the
// prefix "CTRL:"; a reference of either reads where the prefix is asked for.
enum class Kind : std::uint8_t { session, message, entry, ber_element, controls, control };
inline constexpr std::size_t kKindCount = 6;

inline constexpr std::array<const char*, kKindCount> kPrefixes = {"LDAP:", "MESS:", "ENTY:",
                                                                   "BERE:", "CTRL:", "CTRL:"};
inline constexpr std::size_t kPrefixLength = 5;
inline constexpr std::size_t kTextLength = kPrefixLength + 8;

constexpr const char* prefix(Kind kind) { return kPrefixes[static_cast<std::size_t>(kind)]; }
// Whether a reference read as wanted may designate an object of kind.
constexpr bool readable_as(Kind kind, Kind wanted)
{
    return kind == wanted || (kind == Kind::control && wanted == Kind::controls) ||
           (kind == Kind::controls && wanted == Kind::control);
}

using Token = std::uint32_t;

// Releases a host-owned object with the client library's own function.
using Release = void (*)(void* object) noexcept;

// A method's use of a live object. While it lives, the object (and the chain
// it belongs to) stays allocated even if the host frees it meanwhile.
class Pin {
public:
    Pin() noexcept = default;
    void* get() const noexcept { return object_; }
    template <class T>
    T* as() const noexcept
    {
        return static_cast<T*>(object_);
    }
    Kind kind() const noexcept { return kind_; }
    Token token() const noexcept { return token_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    friend class TokenTable;
    void* object_ = nullptr;
    Kind kind_ = Kind::session;
    Token token_ = 0;
    std::shared_ptr<void> own_;
    std::shared_ptr<void> chain_;
};

// Registers an object the table does not own (a session handle, or a message
// or entry taken from the chain of token from) and answers its token. An
// object already registered with the same kind keeps its token. Answers 0 for
// a null object, when from is given but no longer alive, or when the table
// cannot grow.
Token mint(Kind kind, void* object, Token from = 0) noexcept;

// Registers a host-owned object: the table releases it with release once the
// host frees it and no pin holds it. A BER element names the entry it walks
// as from. Answers its token, or 0, in which case the object has already been
// released (also when from is no longer alive).
Token mint_owned(Kind kind, void* object, Release release, Token from = 0) noexcept;

// The live, usable object behind token if its kind reads as kind; an empty
// pin otherwise (also for a BER element whose chain is gone).
Pin resolve(Kind kind, Token token) noexcept;

// Frees what the host may free: a result chain (with every token taken from
// it; BER elements of its entries become unusable), a BER element, a control
// list or a single control; also forgets a session token. The object is
// released now, or when the last pin on it ends. False when token is not such
// an object of a kind that reads as kind (a message inside a chain, an entry,
// a dead token).
bool retire(Kind kind, Token token) noexcept;

// Whether token is a result chain head (not a message taken from a chain).
bool is_chain_head(Token token) noexcept;

// Number of live tokens (for diagnostics and tests).
std::size_t live_count() noexcept;

// Writes the text of token into out: prefix and eight digits, or the empty
// text for token 0.
void format(Kind kind, Token token, char (&out)[32]) noexcept;

// Writes the reference of an unowned object to parameter n (0: the return
// value), minting its token; a null object writes the empty text. False when
// the text could not be written or no token could be made.
bool set_param(HostCallInfo* call, int n, Kind kind, void* object, Token from = 0) noexcept;

// Hands a host-owned object to the host: mints it and writes its reference to
// parameter n. When either step fails the object is released, so it never
// leaks. A null object writes the empty text.
bool hand_out(HostCallInfo* call, int n, Kind kind, void* object, Release release,
              Token from = 0) noexcept;

// Reads parameter n as the token of a reference of kind, without looking it
// up: token 0 for the empty text and for the right prefix without digits.
// False (and a log line for a text of another kind) when the parameter is
// absent or unreadable, has another prefix or more than eight digits.
bool read_token(const HostCallInfo* call, int n, bool utf8, Kind kind, Token& out) noexcept;

// Reads parameter n as a reference of the first of kinds whose prefix it
// starts with, setting kind to it, as read_token reads one; the host's
// characters are fetched once. False without logging when no prefix of
// kinds matches (the empty text too).
bool read_token_of(const HostCallInfo* call, int n, bool utf8, std::span<const Kind> kinds, Kind& kind,
                   Token& out) noexcept;

// Reads parameter n as a reference of kind. The empty text reads as an empty
// pin (true); so does a text with the right prefix and no digits. A text of
// another kind logs the mismatch and answers false, as does a token that is
// not a live object of kind, more than eight digits, and an absent or
// unreadable parameter.
bool get_param(const HostCallInfo* call, int n, bool utf8, Kind kind, Pin& out) noexcept;

// Parameter n as a reference of kind, pinned: what get_param reads, and an
// empty pin wherever get_param answers an empty pin or false.
Pin pin_param(const HostCallInfo* call, int n, bool utf8, Kind kind) noexcept;

}  // namespace kandrel::refs

#endif
