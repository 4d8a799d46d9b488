/* Compiled as strict C by the Windows build's own compiler: the layout asserts
 * of host_interface.h hold on the host's 32-bit target, and that target is the
 * one whose layout they describe. */
#include "host_interface.h"

HOST_STATIC_ASSERT(HOST_32BIT_LAYOUT, "the Windows build uses the host's 32-bit record layout");
HOST_STATIC_ASSERT(sizeof(void*) == 4, "the Windows build is a 32-bit build");
