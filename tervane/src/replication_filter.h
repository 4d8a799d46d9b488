// Encoding and decoding of replication filters, apart from the exchange so
// that the decoder can be driven by tests and fuzzing over plain bytes.
#ifndef TERVANE_REPLICATION_FILTER_H
#define TERVANE_REPLICATION_FILTER_H

#include "exop_frame.h"

namespace tervane {

// Appends the request value for filter text to ber. 89 for malformed text,
// 83 when encoding fails.
int encode_replication_filter(BerElement* ber, const char* server_dn, const char* filter);

// Decodes a response value into filter text stored in *filter (Tervane's
// allocator). Once the buffer is stored it holds the text of the class
// entries decoded so far, also on failure. 84 for a value that does not
// decode or that holds a name the text cannot carry (empty, or holding '$'),
// 90 when memory is short.
int decode_replication_filter(const berval& value, char** filter);

}  // namespace tervane

#endif
