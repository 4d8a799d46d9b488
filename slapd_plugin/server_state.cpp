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

namespace {

// slapd's worker-thread pool (its exported connection_pool) and libldap's
// calls on it.
void* worker_pool()
{
    static void* const pool = dlsym(RTLD_DEFAULT, "connection_pool");
    return pool;
}

template <class Function>
Function pool_call(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// The pool calls that take the pool alone: pausing, resuming, the pause check.
using PoolStep = int (*)(void* pool);
using Submit = int (*)(void* pool, WorkerTask task, void* argument);

}  // namespace

void allow_pause()
{
    static const auto check = pool_call<PoolStep>("ldap_pvt_thread_pool_pausecheck");
    if (worker_pool() != nullptr && check != nullptr)
        check(worker_pool());
}

bool wait_for_running_operations()
{
    static const auto pause = pool_call<PoolStep>("ldap_pvt_thread_pool_pause");
    static const auto resume = pool_call<PoolStep>("ldap_pvt_thread_pool_resume");
    if (worker_pool() == nullptr || pause == nullptr || resume == nullptr || pause(worker_pool()) != 0)
        return false;
    resume(worker_pool());
    return true;
}

void wake_server()
{
    using Wake = void (*)();
    static const auto wake = pool_call<Wake>("slap_wake_listener");
    if (wake != nullptr)
        wake();
}

bool can_run_on_worker_threads()
{
    return worker_pool() != nullptr && pool_call<Submit>("ldap_pvt_thread_pool_submit") != nullptr;
}

bool run_on_a_worker_thread(WorkerTask task, void* argument)
{
    static const auto submit = pool_call<Submit>("ldap_pvt_thread_pool_submit");
    return worker_pool() != nullptr && submit != nullptr && submit(worker_pool(), task, argument) == 0;
}

}  // namespace adminext
