// The result codes that Tervane itself produces, by value. Client libraries
// may define the macros of the same names differently (OpenLDAP makes its
// client-side codes negative), so none of them is used for our own results.
#ifndef TERVANE_RESULT_CODES_H
#define TERVANE_RESULT_CODES_H

#include "tervane.h"

namespace tervane {

// The values are the public header's (TERVANE_*), their one home.
inline constexpr int kSuccess = TERVANE_SUCCESS;
inline constexpr int kOperationsError = TERVANE_OPERATIONS_ERROR;
inline constexpr int kEncodingError = TERVANE_ENCODING_ERROR;
inline constexpr int kDecodingError = TERVANE_DECODING_ERROR;
inline constexpr int kParamError = TERVANE_PARAM_ERROR;
inline constexpr int kNoMemory = TERVANE_NO_MEMORY;
inline constexpr int kNotSupported = TERVANE_NOT_SUPPORTED;
// Results of client-library calls that gave no code of their own.
inline constexpr int kOther = 80;

}  // namespace tervane

#endif
