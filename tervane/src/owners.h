// The client library's owners (BerPtr, MessagePtr, out() and the rest), in
// the library's namespace.
#ifndef TERVANE_OWNERS_H
#define TERVANE_OWNERS_H

#include "ldap_owners.h"

namespace tervane {
using namespace ldapc;
}  // namespace tervane

#endif
