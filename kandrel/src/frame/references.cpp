#include "references.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "debug_log.h"
#include "parameters.h"
#include "platform.h"

namespace kandrel::refs {
namespace {

struct ObjectKey {
    Kind kind;
    void* object;
    bool operator==(const ObjectKey&) const = default;
};

struct ObjectKeyHash {
    std::size_t operator()(const ObjectKey& key) const noexcept
    {
        return std::hash<void*>()(key.object) ^ (static_cast<std::size_t>(key.kind) << 1);
    }
};

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
        for (auto& [token, record] : records_) {
            if (record.owner) {
                new (std::nothrow) std::shared_ptr<void>(std::move(record.owner));
            }
        }
    }

    Token mint(Kind kind, void* object, Token from, std::shared_ptr<void> owner)
    {
        std::unique_lock guard(lock_);
        if (const auto known = by_object_.find({kind, object}); known != by_object_.end()) {
            if (owner) {
                // Already the table's: the second owner must not release it.
                std::get_deleter<Releaser>(owner)->armed = false;
            }
            return known->second;
        }
        Token chain = 0;
        if (from != 0) {
            const auto parent = records_.find(from);
            if (parent == records_.end()) {
                // The chain was freed while the object was being taken from it.
                guard.unlock();
                return 0;
            }
            chain = parent->second.chain != 0 ? parent->second.chain : from;
        }
        const Token token = next_free_token();
        records_.emplace(token, Record{kind, object, chain, std::move(owner), false});
        try {
            by_object_.emplace(ObjectKey{kind, object}, token);
            if (chain != 0) {
                dependents_[chain].push_back(token);
            }
        } catch (...) {
            std::shared_ptr<void> dropped = erase_one(token);
            guard.unlock();
            throw;
        }
        return token;
    }

    Pin resolve(Kind kind, Token token)
    {
        Pin pin;
        std::lock_guard guard(lock_);
        const auto found = records_.find(token);
        if (found == records_.end() || !readable_as(found->second.kind, kind) ||
            found->second.orphaned) {
            return pin;
        }
        const Record& record = found->second;
        if (record.chain != 0) {
            const auto chain = records_.find(record.chain);
            if (chain == records_.end()) {
                return pin;
            }
            pin.chain_ = chain->second.owner;
        }
        pin.own_ = record.owner;
        pin.object_ = record.object;
        pin.kind_ = record.kind;
        pin.token_ = token;
        return pin;
    }

    bool retire(Kind kind, Token token)
    {
        // Owners leave the table under the lock and are dropped after it, so
        // a release into the library never runs under the lock.
        std::vector<std::shared_ptr<void>> dropped;
        {
            std::lock_guard guard(lock_);
            const auto found = records_.find(token);
            if (found == records_.end() || !readable_as(found->second.kind, kind) ||
                !releasable(found->second)) {
                return false;
            }
            const auto family = dependents_.find(token);
            // Room first, so nothing changes when memory is short.
            dropped.reserve(1 + (family != dependents_.end() ? family->second.size() : 0));
            if (family != dependents_.end()) {
                const std::vector<Token> members = std::move(family->second);
                dependents_.erase(family);
                for (const Token member : members) {
                    const auto dependent = records_.find(member);
                    if (dependent == records_.end() || dependent->second.chain != token) {
                        continue;  // freed on its own earlier
                    }
                    if (dependent->second.owner) {
                        // A BER element: still the host's to free, never usable again.
                        dependent->second.orphaned = true;
                        dependent->second.chain = 0;
                    } else {
                        dropped.push_back(erase_one(member));
                    }
                }
            }
            dropped.push_back(erase_one(token));
        }
        return true;
    }

    bool is_chain_head(Token token)
    {
        std::lock_guard guard(lock_);
        const auto found = records_.find(token);
        return found != records_.end() && found->second.kind == Kind::message &&
               found->second.chain == 0;
    }

    std::size_t size()
    {
        std::lock_guard guard(lock_);
        return records_.size();
    }

private:
    struct Record {
        Kind kind;
        void* object;
        Token chain;                  // the chain head it was taken from; 0 for heads
        std::shared_ptr<void> owner;  // set for host-owned objects
        bool orphaned;                // a BER element whose chain is gone
    };

    // What the host may free: what it owns, and the session tokens.
    static bool releasable(const Record& record)
    {
        return record.owner != nullptr || record.kind == Kind::session;
    }

    // Tokens count up and are not reused until the counter wraps around, so
    // a released reference stays dead for a long time.
    Token next_free_token()
    {
        for (;;) {
            const Token candidate = next_++;
            if (candidate != 0 && records_.find(candidate) == records_.end()) {
                return candidate;
            }
        }
    }

    // Forgets token; answers its owner for the caller to drop outside the lock.
    std::shared_ptr<void> erase_one(Token token)
    {
        const auto found = records_.find(token);
        if (found == records_.end()) {
            return nullptr;
        }
        std::shared_ptr<void> owner = std::move(found->second.owner);
        by_object_.erase({found->second.kind, found->second.object});
        records_.erase(found);
        return owner;
    }

    platform::Lock lock_;
    Token next_ = 1;
    std::unordered_map<Token, Record> records_;
    std::unordered_map<ObjectKey, Token, ObjectKeyHash> by_object_;
    // Per chain head, the tokens taken from it. Tokens freed on their own
    // stay listed until the chain goes; their records tell them apart.
    std::unordered_map<Token, std::vector<Token>> dependents_;
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
    return token != 0 ? table().resolve(kind, token) : Pin();
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

bool read_token(const HostCallInfo* call, int n, bool utf8, Kind kind, Token& out) noexcept
{
    out = 0;
    // References are ASCII, which both encodings keep as it is: the host's
    // characters are read directly, without converting the text.
    std::size_t count = 0;
    const HostChar* characters = params::item_characters(params::find_item(call, n), count);
    if (characters == nullptr) {
        return false;
    }
    if (count == 0 || characters[0] == 0) {
        return true;
    }
    const char* wanted = prefix(kind);
    bool prefixed = count >= kPrefixLength;
    for (std::size_t i = 0; prefixed && i < kPrefixLength; ++i) {
        prefixed = characters[i] == static_cast<unsigned char>(wanted[i]);
    }
    if (!prefixed) {
        // The log line shows the text as it was passed.
        params::Text text;
        if (params::get_string(call, n, utf8, text, true) && text.get()[0] != '\0') {
            log::write(log::kBadReference, wanted, text.get());
        }
        return false;
    }
    // Hexadecimal digits up to the first other character; a token has at
    // most eight of them.
    Token value = 0;
    std::size_t i = kPrefixLength;
    for (; i < count; ++i) {
        const HostChar c = characters[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        if (i - kPrefixLength == 8) {
            return false;
        }
        value = (value << 4) | digit;
    }
    // A text that UTF-8 cannot carry reads as absent, as every text does.
    for (; utf8 && i < count; ++i) {
        if ((characters[i] >= 0xD800 && characters[i] <= 0xDFFF) || characters[i] > 0x10FFFF) {
            return false;
        }
    }
    out = value;
    return true;
}

bool get_param(const HostCallInfo* call, int n, bool utf8, Kind kind, Pin& out) noexcept
{
    out = Pin();
    Token token = 0;
    if (!read_token(call, n, utf8, kind, token)) {
        return false;
    }
    if (token == 0) {
        return true;
    }
    out = resolve(kind, token);
    return static_cast<bool>(out);
}

}  // namespace kandrel::refs
