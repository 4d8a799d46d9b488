#include "server_state.h"

#include <dlfcn.h>

#include <atomic>
#include <csignal>

namespace adminext {

namespace {

std::atomic<std::size_t> held{0};

}  // namespace

bool server_stopping()
{
    static const volatile std::sig_atomic_t* const flag =
        static_cast<const volatile std::sig_atomic_t*>(dlsym(RTLD_DEFAULT, "slapd_shutdown"));
    return flag != nullptr && *flag != 0;
}

std::size_t worker_threads()
{
    static const int* const threads = static_cast<const int*>(dlsym(RTLD_DEFAULT, "connection_pool_max"));
    return threads != nullptr && *threads > 0 ? static_cast<std::size_t>(*threads) : 0;
}

std::size_t threads_held() { return held.load(); }

ThreadHold::ThreadHold() { ++held; }

ThreadHold::~ThreadHold() { --held; }

}  // namespace adminext
