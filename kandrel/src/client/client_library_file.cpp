// The file name of the LDAP client library that the component loads on
// connect. Set at build time: the library's soname on Linux, PELLIS.DLL on
// Windows. Test builds of the component compile this file with other names.
#include "library_binding.h"

#ifndef KANDREL_CLIENT_LIBRARY
#error "KANDREL_CLIENT_LIBRARY must name the client library file"
#endif

namespace kandrel::library {
const platform::LibraryName kClientLibraryFile = KANDREL_CLIENT_LIBRARY;
}
