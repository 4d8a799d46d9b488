#include "references.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "debug_log.h"
#include "open_slots.h"
#include "parameters.h"
#include "platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kandrel::refs {
namespace {

// Releases a host-owned object when the last holder (the table or a pin)
// lets go; a disarmed one releases nothing.
struct Releaser {
    Release release;
    bool armed = true;
    void operator()(void* object) const noexcept
    {
        if (armed) {
            release(object);
        }
    }
};

}  // namespace

class TokenTable {
public:
    TokenTable() = default;
    TokenTable(const TokenTable&) = delete;
    TokenTable& operator=(const TokenTable&) = delete;

    // Objects still registered when the component is unloaded are left as
    // they are: their release functions may belong to a library that is
    // already gone, and host programs may still hold their references.
    ~TokenTable()
    {
        records_.for_each([](RecordSlot& slot) {
            if (slot.record.owner) {
                new (std::nothrow) std::shared_ptr<void>(std::move(slot.record.owner));
            }
        });
    }

    Token mint(Kind kind, void* object, Token from, std::shared_ptr<void> owner)
    {
        std::lock_guard guard(lock_);
        if (const ObjectSlot* known = find_object(kind, object); known != nullptr) {
            if (owner) {
                // Already the table's: the second owner must not release it.
                std::get_deleter<Releaser>(owner)->armed = false;
            }
            return known->token;
        }
        Token chain = 0;
        if (from != 0) {
            const RecordSlot* parent = find_record(from);
            if (parent == nullptr) {
                // The chain was freed while the object was being taken from it.
                return 0;
            }
            chain = parent->record.chain != 0 ? parent->record.chain : from;
        }
        const Token token = next_free_token();
        // Everything that can fail comes first, so a failure changes nothing
        // (and the owner, dropped by the caller, releases the object).
        records_.reserve_one();
        by_object_.reserve_one();
        if (chain != 0) {
            // Looked up after the tables grew: growing moves the slots.
            RecordSlot* head = find_record(chain);
            if (head == nullptr) {
                return 0;
            }
            head->record.members.push_back(token);
        }
        records_.place(RecordSlot{token, Record{object, std::move(owner), {}, chain, kind, false}});
        by_object_.place(ObjectSlot{object, token, kind});
        return token;
    }

    // Pins the object into pin, which is empty; false when it is not a live,
    // usable object of a kind that reads as kind.
    bool resolve(Kind kind, Token token, Pin& pin)
    {
        std::lock_guard guard(lock_);
        const RecordSlot* found = find_record(token);
        if (found == nullptr || !readable_as(found->record.kind, kind) || found->record.orphaned) {
            return false;
        }
        const Record& record = found->record;
        if (record.chain != 0) {
            const RecordSlot* chain = find_record(record.chain);
            if (chain == nullptr) {
                return false;
            }
            pin.chain_ = chain->record.owner;
        }
        pin.own_ = record.owner;
        pin.object_ = record.object;
        pin.kind_ = record.kind;
        pin.token_ = token;
        return true;
    }

    bool retire(Kind kind, Token token)
    {
        // The owner leaves the table under the lock and is dropped after it,
        // so a release into the library never runs under the lock. Members
        // that are dropped with the chain are owned by it, never by
        // themselves, so the owner of the token is the only one.
        std::shared_ptr<void> owner;
        {
            std::lock_guard guard(lock_);
            RecordSlot* found = find_record(token);
            if (found == nullptr || !readable_as(found->record.kind, kind) || !releasable(found->record)) {
                return false;
            }
            const std::vector<Token> members = std::move(found->record.members);
            for (const Token member : members) {
                RecordSlot* dependent = find_record(member);
                if (dependent == nullptr || dependent->record.chain != token) {
                    continue;  // freed on its own earlier
                }
                if (dependent->record.owner) {
                    // A BER element: still the host's to free, never usable again.
                    dependent->record.orphaned = true;
                    dependent->record.chain = 0;
                } else {
                    erase(dependent);
                }
            }
            owner = erase(find_record(token));
        }
        return true;
    }

    bool is_chain_head(Token token)
    {
        std::lock_guard guard(lock_);
        const RecordSlot* found = find_record(token);
        return found != nullptr && found->record.kind == Kind::message && found->record.chain == 0;
    }

    std::size_t size()
    {
        std::lock_guard guard(lock_);
        return records_.size();
    }

private:
    // The members are ordered so that a slot fills one cache line, and the
    // object index's slots four to a line.
    struct Record {
        void* object = nullptr;
        std::shared_ptr<void> owner;  // set for host-owned objects
        // For a chain head, the tokens taken from it. Tokens freed on their
        // own stay listed until the chain goes; their records tell them apart.
        std::vector<Token> members;
        Token chain = 0;  // the chain head it was taken from; 0 for heads
        Kind kind = Kind::session;
        bool orphaned = false;  // a BER element whose chain is gone
    };
    struct alignas(64) RecordSlot {
        Token token = 0;  // 0: free
        Record record;
    };
    static_assert(sizeof(RecordSlot) == 64);
    struct RecordPolicy {
        static constexpr bool kInOrder = true;  // tokens of a counter
        static bool occupied(const RecordSlot& slot) noexcept { return slot.token != 0; }
        static std::uint64_t hash(const RecordSlot& slot) noexcept { return slot.token; }
    };
    // Which token an object already has, so that one object keeps one token.
    struct ObjectSlot {
        void* object = nullptr;
        Token token = 0;  // 0: free
        Kind kind = Kind::session;
    };
    static_assert(sizeof(ObjectSlot) <= 16);
    struct ObjectPolicy {
        // The library allocates the objects of a result one after another,
        // close together: the hash keeps an address's cache line within its
        // 64 KiB region in order and scatters the regions, so that the index
        // entries of neighbouring objects are neighbours too.
        static constexpr bool kInOrder = true;
        static std::uint64_t hash(Kind kind, const void* object) noexcept
        {
            const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(object));
            return (((address >> 16) * 0x9E3779B97F4A7C15u) >> 20) + ((address >> 6) & 0x3FF) +
                   static_cast<std::uint64_t>(kind);
        }
        static bool occupied(const ObjectSlot& slot) noexcept { return slot.token != 0; }
        static std::uint64_t hash(const ObjectSlot& slot) noexcept { return hash(slot.kind, slot.object); }
    };

    RecordSlot* find_record(Token token) noexcept
    {
        return records_.find(token, [token](const RecordSlot& slot) { return slot.token == token; });
    }
    const ObjectSlot* find_object(Kind kind, const void* object) const noexcept
    {
        return by_object_.find(ObjectPolicy::hash(kind, object), [kind, object](const ObjectSlot& slot) {
            return slot.object == object && slot.kind == kind;
        });
    }

    // What the host may free: what it owns, and the session tokens.
    static bool releasable(const Record& record)
    {
        return record.owner != nullptr || record.kind == Kind::session;
    }

    // Tokens count up and are not reused until the counter wraps around, so
    // a released reference stays dead for a long time.
    Token next_free_token() noexcept
    {
        for (;;) {
            const Token candidate = next_++;
            if (candidate != 0 && find_record(candidate) == nullptr) {
                return candidate;
            }
        }
    }

    // Forgets the record at slot; answers its owner for the caller to drop
    // outside the lock.
    std::shared_ptr<void> erase(RecordSlot* slot) noexcept
    {
        std::shared_ptr<void> owner = std::move(slot->record.owner);
        if (const ObjectSlot* known = find_object(slot->record.kind, slot->record.object); known != nullptr) {
            by_object_.vacate(known);
        }
        records_.vacate(slot);
        return owner;
    }

    platform::Lock lock_;
    Token next_ = 1;
    OpenSlots<RecordSlot, RecordPolicy> records_;
    OpenSlots<ObjectSlot, ObjectPolicy> by_object_;
};

namespace {

TokenTable& table()
{
    static TokenTable instance;
    return instance;
}

}  // namespace

Token mint(Kind kind, void* object, Token from) noexcept
{
    if (object == nullptr) {
        return 0;
    }
    try {
        return table().mint(kind, object, from, nullptr);
    } catch (...) {
        return 0;
    }
}

Token mint_owned(Kind kind, void* object, Release release, Token from) noexcept
{
    if (object == nullptr) {
        return 0;
    }
    try {
        // On failure the owner releases the object: when making the owner
        // fails, when the table cannot take it, or when its chain is gone.
        return table().mint(kind, object, from, std::shared_ptr<void>(object, Releaser{release}));
    } catch (...) {
        return 0;
    }
}

Pin resolve(Kind kind, Token token) noexcept
{
    Pin pin;
    if (token != 0) {
        table().resolve(kind, token, pin);
    }
    return pin;
}

bool retire(Kind kind, Token token) noexcept
{
    try {
        return token != 0 && table().retire(kind, token);
    } catch (...) {
        return false;
    }
}

bool is_chain_head(Token token) noexcept { return token != 0 && table().is_chain_head(token); }

std::size_t live_count() noexcept { return table().size(); }

void format(Kind kind, Token token, char (&out)[32]) noexcept
{
    if (token == 0) {
        out[0] = '\0';
        return;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::memcpy(out, prefix(kind), kPrefixLength);
    for (std::size_t i = 0; i < 8; ++i) {
        out[kPrefixLength + i] = kDigits[(token >> (28 - 4 * i)) & 0xF];
    }
    out[kTextLength] = '\0';
}

bool set_param(HostCallInfo* call, int n, Kind kind, void* object, Token from) noexcept
{
    const Token token = mint(kind, object, from);
    if (object != nullptr && token == 0) {
        return false;
    }
    char text[32];
    format(kind, token, text);
    return params::set_string(call, n, false, text);
}

bool hand_out(HostCallInfo* call, int n, Kind kind, void* object, Release release,
              Token from) noexcept
{
    const Token token = mint_owned(kind, object, release, from);
    if (object != nullptr && token == 0) {
        params::set_string(call, n, false, nullptr);
        return false;
    }
    char text[32];
    format(kind, token, text);
    if (!params::set_string(call, n, false, text)) {
        retire(kind, token);
        return false;
    }
    return true;
}

namespace {

// The value of each ASCII character as a hexadecimal digit; 16 for the others.
constexpr std::array<std::uint8_t, 128> kHexDigits = [] {
    std::array<std::uint8_t, 128> digits{};
    for (unsigned c = 0; c < digits.size(); ++c) {
        digits[c] = c >= '0' && c <= '9'   ? static_cast<std::uint8_t>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<std::uint8_t>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<std::uint8_t>(c - 'A' + 10)
                                           : 16;
    }
    return digits;
}();

unsigned hex_digit(HostChar c) noexcept { return c < kHexDigits.size() ? kHexDigits[c] : 16; }

// Each kind's prefix in host characters, compared with the host's in one go.
using HostPrefix = std::array<HostChar, kPrefixLength>;
constexpr std::array<HostPrefix, kKindCount> kHostPrefixes = [] {
    std::array<HostPrefix, kKindCount> wide{};
    for (std::size_t kind = 0; kind < kKindCount; ++kind) {
        for (std::size_t i = 0; i < kPrefixLength; ++i) {
            wide[kind][i] = static_cast<unsigned char>(kPrefixes[kind][i]);
        }
    }
    return wide;
}();

// References are ASCII, which both encodings keep as it is: the host's
// characters are read directly, without converting the text.
bool starts_with_prefix(const HostChar* characters, std::size_t count, Kind kind) noexcept
{
    return count >= kPrefixLength &&
           std::memcmp(characters, kHostPrefixes[static_cast<std::size_t>(kind)].data(), sizeof(HostPrefix)) == 0;
}

// The eight characters from c as bytes, the first in the lowest; a
// character outside ASCII gives a byte that is 0 or has its high bit set, so
// it is never read as a digit.
std::uint64_t eight_bytes(const HostChar* c) noexcept
{
#if defined(__SSE2__)
    // Signed saturation to 16 bits, then unsigned to 8: what is above 0x7F
    // becomes 0xFF (or 0 for what reads as negative), the rest stays as it is.
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 4));
    const __m128i words = _mm_packs_epi32(first, second);
    std::uint64_t bytes = 0;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&bytes), _mm_packus_epi16(words, words));
    return bytes;
#else
    std::uint64_t bytes = 0;
    for (unsigned i = 0; i < 8; ++i) {
        bytes |= static_cast<std::uint64_t>(c[i] < 0x80 ? c[i] : 0xFF) << (8 * i);
    }
    return bytes;
#endif
}

// The token of a reference written as format() writes it, eight digits after
// the prefix (either case), all eight tested and read at once in one 64-bit
// word; false for any other text.
bool read_whole_token(const HostChar* characters, std::size_t count, Token& out) noexcept
{
    if (count != kTextLength) {
        return false;
    }
    constexpr std::uint64_t kEach = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x80 * kEach;
    const std::uint64_t bytes = eight_bytes(characters + kPrefixLength);
    if ((bytes & kHigh) != 0) {
        return false;
    }
    // Per byte, below 0x80: adding 0x80 - n sets the high bit exactly when
    // the byte is at least n, and never carries into the next byte.
    const auto at_least = [](std::uint64_t word, unsigned n) { return (word + (0x80 - n) * kEach) & kHigh; };
    const std::uint64_t lower = bytes | (0x20 * kEach);
    const std::uint64_t digit = at_least(bytes, '0') & ~at_least(bytes, '9' + 1);
    const std::uint64_t letter = at_least(lower, 'a') & ~at_least(lower, 'f' + 1);
    if ((digit | letter) != kHigh) {
        return false;
    }
    // '0'-'9' keep their value in the low four bits, 'a'-'f' and 'A'-'F'
    // keep 1 to 6: nine more.
    std::uint64_t v = (bytes & (0x0F * kEach)) + (letter >> 7) * 9;
    // Two digits to a byte, then the four bytes together, first digits first.
    v = ((v & 0x000F000F000F000Fu) << 4) | ((v & 0x0F000F000F000F00u) >> 8);
    v = (v & 0x000000FF000000FFu) | ((v & 0x00FF000000FF0000u) >> 8);
    const auto first_digits_low = static_cast<std::uint32_t>((v & 0xFFFFu) | ((v >> 16) & 0xFFFF0000u));
#if defined(__GNUC__)
    out = __builtin_bswap32(first_digits_low);
#else
    out = (first_digits_low << 24) | ((first_digits_low & 0xFF00) << 8) | ((first_digits_low >> 8) & 0xFF00) |
          (first_digits_low >> 24);
#endif
    return true;
}

// The token of the characters after a prefix already checked, when they are
// not the eight digits read_whole_token reads: digits up to the first other
// character, at most eight of them. False for more digits, and, when utf8,
// for a text UTF-8 cannot carry (it reads as absent, as every such text does).
bool read_other_digits(const HostChar* characters, std::size_t count, bool utf8, Token& out) noexcept
{
    Token value = 0;
    std::size_t i = kPrefixLength;
    for (; i < count; ++i) {
        const unsigned digit = hex_digit(characters[i]);
        if (digit >= 16) {
            break;
        }
        if (i - kPrefixLength == 8) {
            return false;
        }
        value = (value << 4) | digit;
    }
    for (; utf8 && i < count; ++i) {
        if ((characters[i] >= 0xD800 && characters[i] <= 0xDFFF) || characters[i] > 0x10FFFF) {
            return false;
        }
    }
    out = value;
    return true;
}

}  // namespace

bool read_token(const HostCallInfo* call, int n, bool utf8, Kind kind, Token& out) noexcept
{
    out = 0;
    std::size_t count = 0;
    const HostChar* characters = params::item_characters(params::find_item(call, n), count);
    if (characters == nullptr) {
        return false;
    }
    if (count == 0 || characters[0] == 0) {
        return true;
    }
    if (!starts_with_prefix(characters, count, kind)) {
        // The log line shows the text as it was passed.
        params::Text text;
        if (params::get_string(call, n, utf8, text, true) && text.get()[0] != '\0') {
            log::write(log::kBadReference, prefix(kind), text.get());
        }
        return false;
    }
    return read_whole_token(characters, count, out) || read_other_digits(characters, count, utf8, out);
}

bool read_token_of(const HostCallInfo* call, int n, bool utf8, std::span<const Kind> kinds, Kind& kind,
                   Token& out) noexcept
{
    out = 0;
    std::size_t count = 0;
    const HostChar* characters = params::item_characters(params::find_item(call, n), count);
    if (characters == nullptr) {
        return false;
    }
    for (const Kind candidate : kinds) {
        if (starts_with_prefix(characters, count, candidate)) {
            kind = candidate;
            return read_whole_token(characters, count, out) || read_other_digits(characters, count, utf8, out);
        }
    }
    return false;
}

bool get_param(const HostCallInfo* call, int n, bool utf8, Kind kind, Pin& out) noexcept
{
    if (out) {
        out = Pin();
    }
    Token token = 0;
    if (!read_token(call, n, utf8, kind, token)) {
        return false;
    }
    return token == 0 || table().resolve(kind, token, out);
}

Pin pin_param(const HostCallInfo* call, int n, bool utf8, Kind kind) noexcept
{
    Pin pin;
    get_param(call, n, utf8, kind, pin);
    return pin;
}

}  // namespace kandrel::refs
