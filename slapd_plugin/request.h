// One extended request as the handlers see it, and the answer they give.
// The parameter block is reached only through here: integer parameters by
// address, strings as slapd owns them.
#ifndef SLAPD_PLUGIN_REQUEST_H
#define SLAPD_PLUGIN_REQUEST_H

#include <optional>
#include <string>
#include <string_view>

#include "slapi.h"

namespace adminext {

// Result codes this plug-in answers with.
namespace code {
inline constexpr int kSuccess = 0;
inline constexpr int kOperationsError = 1;
inline constexpr int kProtocolError = 2;
inline constexpr int kAdminLimitExceeded = 11;
inline constexpr int kUnavailableCriticalExtension = 12;
inline constexpr int kNoSuchAttribute = 16;
inline constexpr int kUndefinedAttributeType = 17;
inline constexpr int kConstraintViolation = 19;
inline constexpr int kTypeOrValueExists = 20;
inline constexpr int kInvalidSyntax = 21;
inline constexpr int kNoSuchObject = 32;
inline constexpr int kInvalidDnSyntax = 34;
inline constexpr int kInsufficientAccess = 50;
inline constexpr int kBusy = 51;
inline constexpr int kUnavailable = 52;
inline constexpr int kUnwillingToPerform = 53;
inline constexpr int kNamingViolation = 64;
inline constexpr int kObjectClassViolation = 65;
inline constexpr int kNotAllowedOnNonLeaf = 66;
inline constexpr int kNotAllowedOnRdn = 67;
inline constexpr int kAlreadyExists = 68;
inline constexpr int kCannotModifyObjectClass = 69;
inline constexpr int kOther = 80;
inline constexpr int kCancelled = 118;
}  // namespace code

struct Reply {
    int code = code::kSuccess;
    std::string text;
    std::optional<std::string> value;

    static Reply success(std::string value) { return {code::kSuccess, {}, std::move(value)}; }
    static Reply error(int code, std::string text) { return {code, std::move(text), std::nullopt}; }
    static Reply refused(std::string text) { return error(code::kUnwillingToPerform, std::move(text)); }
    static Reply malformed(std::string text) { return error(code::kProtocolError, std::move(text)); }
};

int get_int(Slapi_PBlock* pb, int parameter);
const char* get_string(Slapi_PBlock* pb, int parameter);
template <class T>
T* get_pointer(Slapi_PBlock* pb, int parameter)
{
    T* value = nullptr;
    slapi_pblock_get(pb, parameter, &value);
    return value;
}

class Request {
public:
    explicit Request(Slapi_PBlock* pb);

    Slapi_PBlock* pblock() const { return pb_; }
    // The request value; empty when there is none.
    std::string_view value() const { return value_; }
    bool has_value() const { return has_value_; }
    // The normalised DN the operation runs as; empty for anonymous.
    const std::string& requestor() const { return requestor_; }
    bool abandoned() const;

private:
    Slapi_PBlock* pb_;
    std::string_view value_;
    bool has_value_ = false;
    std::string requestor_;
};

}  // namespace adminext

#endif
