// The result codes that Tervane itself produces, by value. Client libraries
// may define the macros of the same names differently (OpenLDAP makes its
// client-side codes negative), so none of them is used for our own results.
#ifndef TERVANE_RESULT_CODES_H
#define TERVANE_RESULT_CODES_H

namespace tervane {

inline constexpr int kSuccess = 0;
inline constexpr int kOperationsError = 1;
inline constexpr int kEncodingError = 83;
inline constexpr int kDecodingError = 84;
inline constexpr int kParamError = 89;
inline constexpr int kNoMemory = 90;
inline constexpr int kNotSupported = 92;
inline constexpr int kOther = 80;

}  // namespace tervane

#endif
