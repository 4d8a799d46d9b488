#include "session.h"

#include <cstring>
#include <new>

#include "library_binding.h"

namespace kandrel {

SessionRef::SessionRef(const SessionRef& other) noexcept : share_(other.share_)
{
    if (share_ != nullptr) {
        share_->holders.fetch_add(1, std::memory_order_relaxed);
    }
}

SessionRef& SessionRef::operator=(const SessionRef& other) noexcept
{
    if (this != &other) {
        SessionRef copy(other);
        *this = std::move(copy);
    }
    return *this;
}

SessionRef& SessionRef::operator=(SessionRef&& other) noexcept
{
    if (this != &other) {
        reset();
        share_ = other.share_;
        other.share_ = nullptr;
    }
    return *this;
}

namespace {

// A host that holds "://" is an LDAP URL (ldap://, ldaps://, ldapi://).
bool is_url(const char* host) noexcept { return host != nullptr && std::strstr(host, "://") != nullptr; }

}  // namespace

SessionRef SessionRef::open(const char* host, int port, bool& out_of_memory) noexcept
{
    out_of_memory = false;
    LDAP* handle = nullptr;
    if (!is_url(host)) {
        handle = library::call<library::Entry::ldap_init>(host, port);
    } else if (library::call<library::Entry::ldap_initialize>(&handle, host) != 0) {
        handle = nullptr;
    }
    if (handle == nullptr) {
        return SessionRef();
    }
    const int version = LDAP_VERSION3;
    library::call<library::Entry::ldap_set_option>(handle, LDAP_OPT_PROTOCOL_VERSION, &version);
    Share* share = new (std::nothrow) Share{handle, 1, 0};
    if (share == nullptr) {
        library::call<library::Entry::ldap_unbind_s>(handle);
        out_of_memory = true;
        return SessionRef();
    }
    SessionRef session(share);
    // A session without its reference could not be handed to the host.
    share->token = refs::mint(refs::Kind::session, handle);
    if (share->token == 0) {
        out_of_memory = true;
        return SessionRef();
    }
    return session;
}

LDAP* SessionRef::handle() const noexcept { return share_ != nullptr ? share_->handle : nullptr; }

refs::Token SessionRef::token() const noexcept { return share_ != nullptr ? share_->token : 0; }

int SessionRef::reset() noexcept
{
    Share* share = share_;
    share_ = nullptr;
    if (share == nullptr || share->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) {
        return 0;
    }
    LDAP* handle = share->handle;
    refs::retire(refs::Kind::session, share->token);
    delete share;
    return library::call<library::Entry::ldap_unbind_s>(handle);
}

int SessionRef::holders() const noexcept
{
    return share_ != nullptr ? share_->holders.load(std::memory_order_relaxed) : 0;
}

}  // namespace kandrel
