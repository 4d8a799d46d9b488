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

}  // namespace adminext
