// The client library's own failures and the numbers callers know them by.
// OpenLDAP reports client-side failures with negative codes (-1 server down,
// ... -17 referral limit exceeded); the classic C API, host programs, the
// command's exit statuses and Tervane's own results number them 81 to 97. A
// library code -n (n from 1 to 17) is 80 + n in the classic numbering.
#ifndef INTERFACES_CLASSIC_CODES_H
#define INTERFACES_CLASSIC_CODES_H

namespace classic_codes {

inline constexpr int kFirstLibraryCode = -1;
inline constexpr int kLastLibraryCode = -17;

// A library code in the classic numbering; any other code as it is.
constexpr int from_library(int code) noexcept
{
    return (code <= kFirstLibraryCode && code >= kLastLibraryCode) ? 80 - code : code;
}
// The library's own code for a classic one; any other code as it is.
constexpr int to_library(int code) noexcept
{
    return (code >= 80 - kFirstLibraryCode && code <= 80 - kLastLibraryCode) ? 80 - code : code;
}

static_assert(from_library(-1) == 81 && from_library(-17) == 97 && from_library(0) == 0 && from_library(-18) == -18);
static_assert(to_library(81) == -1 && to_library(97) == -17 && to_library(80) == 80 && to_library(98) == 98);

}  // namespace classic_codes

#endif
