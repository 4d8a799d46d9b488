// The client library's process-wide certificate check, set directly for the
// tests of encrypted sessions (the component loads the same library).
#ifndef TESTS_KANDREL_TLS_TRUST_H
#define TESTS_KANDREL_TLS_TRUST_H

#include <string>

namespace kandrel_test {

// Demands a certificate signed by the authority in the PEM file (empty: by
// none but the system's), on a new TLS context for the sessions to come.
void trust_certificates(const std::string& authority_file);

}  // namespace kandrel_test

#endif
