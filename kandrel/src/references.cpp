#include "references.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "debug_log.h"
#include "parameters.h"
#include "platform.h"

namespace kandrel::refs {
namespace {

struct Record {
    Kind kind;
    void* object;
    Token parent;  // 0 for an object that heads its own chain
};

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

class TokenTable {
public:
    Token mint(Kind kind, void* object, Token parent)
    {
        if (object == nullptr) {
            return 0;
        }
        std::lock_guard guard(lock_);
        if (const auto known = by_object_.find({kind, object}); known != by_object_.end()) {
            return known->second;
        }
        // Children always hang from the head of their chain.
        const auto parent_record = records_.find(parent);
        Token root = 0;
        if (parent_record != records_.end()) {
            root = parent_record->second.parent != 0 ? parent_record->second.parent : parent;
        }
        const Token token = next_free_token();
        records_.emplace(token, Record{kind, object, root});
        try {
            by_object_.emplace(ObjectKey{kind, object}, token);
            if (root != 0) {
                children_[root].insert(token);
            }
        } catch (...) {
            erase_one(token);
            throw;
        }
        return token;
    }

    void* resolve(Kind kind, Token token)
    {
        std::lock_guard guard(lock_);
        const auto found = records_.find(token);
        return (found != records_.end() && found->second.kind == kind) ? found->second.object
                                                                       : nullptr;
    }

    void* retire(Kind kind, Token token)
    {
        std::lock_guard guard(lock_);
        const auto found = records_.find(token);
        if (found == records_.end() || found->second.kind != kind) {
            return nullptr;
        }
        void* object = found->second.object;
        if (const auto family = children_.find(token); family != children_.end()) {
            // Take the set out first: erasing a child also edits its parent's set.
            const std::unordered_set<Token> children = std::move(family->second);
            children_.erase(family);
            for (const Token child : children) {
                erase_one(child);
            }
        }
        erase_one(token);
        return object;
    }

    std::size_t size()
    {
        std::lock_guard guard(lock_);
        return records_.size();
    }

private:
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

    void erase_one(Token token)
    {
        const auto found = records_.find(token);
        if (found == records_.end()) {
            return;
        }
        by_object_.erase({found->second.kind, found->second.object});
        if (found->second.parent != 0) {
            if (const auto family = children_.find(found->second.parent); family != children_.end()) {
                family->second.erase(token);
                if (family->second.empty()) {
                    children_.erase(family);
                }
            }
        }
        records_.erase(found);
    }

    platform::Lock lock_;
    Token next_ = 1;
    std::unordered_map<Token, Record> records_;
    std::unordered_map<ObjectKey, Token, ObjectKeyHash> by_object_;
    std::unordered_map<Token, std::unordered_set<Token>> children_;
};

TokenTable& table()
{
    static TokenTable instance;
    return instance;
}

}  // namespace

Token mint(Kind kind, void* object, Token parent) noexcept
{
    try {
        return table().mint(kind, object, parent);
    } catch (...) {
        return 0;
    }
}

void* resolve(Kind kind, Token token) noexcept
{
    return token != 0 ? table().resolve(kind, token) : nullptr;
}

void* retire(Kind kind, Token token) noexcept
{
    return token != 0 ? table().retire(kind, token) : nullptr;
}

std::size_t live_count() noexcept { return table().size(); }

void format(Kind kind, Token token, char (&out)[32]) noexcept
{
    if (token == 0) {
        out[0] = '\0';
        return;
    }
    std::snprintf(out, sizeof out, "%s%08lx", prefix(kind), static_cast<unsigned long>(token));
}

bool set_param(HostCallInfo* call, int n, Kind kind, void* object, Token parent) noexcept
{
    const Token token = mint(kind, object, parent);
    if (object != nullptr && token == 0) {
        return false;
    }
    char text[32];
    format(kind, token, text);
    return params::set_string(call, n, false, text);
}

bool get_param(const HostCallInfo* call, int n, bool utf8, Kind kind, void*& out, Token* token) noexcept
{
    out = nullptr;
    if (token != nullptr) {
        *token = 0;
    }
    params::Text text;
    if (!params::get_string(call, n, utf8, text, true)) {
        return false;
    }
    const char* passed = text.get();
    if (passed[0] == '\0') {
        return true;
    }
    if (std::strncmp(passed, prefix(kind), kPrefixLength) != 0) {
        log::write(log::kBadReference, prefix(kind), passed);
        return false;
    }
    // Hexadecimal digits up to the first other character; more than eight
    // cannot be a token.
    std::uint64_t value = 0;
    for (const char* p = passed + kPrefixLength;; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') {
            digit = *p - '0';
        } else if (*p >= 'a' && *p <= 'f') {
            digit = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'F') {
            digit = *p - 'A' + 10;
        } else {
            break;
        }
        value = (value << 4) | static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) {
            return false;
        }
    }
    const Token read = static_cast<Token>(value);
    if (token != nullptr) {
        *token = read;
    }
    if (read == 0) {
        return true;
    }
    out = resolve(kind, read);
    return out != nullptr;
}

}  // namespace kandrel::refs
