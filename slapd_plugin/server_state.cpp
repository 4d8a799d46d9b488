#include "server_state.h"

#include <dlfcn.h>

#include <csignal>

namespace adminext {

bool server_stopping()
{
    static const volatile std::sig_atomic_t* const flag =
        static_cast<const volatile std::sig_atomic_t*>(dlsym(RTLD_DEFAULT, "slapd_shutdown"));
    return flag != nullptr && *flag != 0;
}

void allow_pause()
{
    // slapd's worker-thread pool (its exported connection_pool) and
    // libldap's pause check for a thread of the pool.
    using PauseCheck = int (*)(void* pool);
    static void* const pool = dlsym(RTLD_DEFAULT, "connection_pool");
    static const auto check = reinterpret_cast<PauseCheck>(dlsym(RTLD_DEFAULT, "ldap_pvt_thread_pool_pausecheck"));
    if (pool != nullptr && check != nullptr)
        check(pool);
}

}  // namespace adminext
