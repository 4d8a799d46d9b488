#include "exop_frame.h"

#include <algorithm>
#include <cstring>

#include "memory.h"

namespace tervane {

namespace {

// Creates the encoder, encodes and flattens the request value.
Encoded prepare_request(const ExopSpec& operation, Encode encode, BervalPtr& request)
{
    BerPtr ber(ber_alloc_t(operation.encoder_options));
    if (!ber)
        return Encoded::refused(kNoMemory);
    Encoded encoded = encode(ber.get());
    if (encoded.code != kSuccess)
        return encoded;
    if (ber_flatten(ber.get(), out(request)) == -1)
        return kNoMemory;
    return kSuccess;
}

int finish(LDAP* ld, const ExopSpec& operation, const Encoded& outcome)
{
    if (operation.record_on_handle && outcome.stage == Stage::encoding)
        return record_result(ld, outcome.code);
    return outcome.code;
}

int check_response(const ExopSpec& operation, int call_result, const char* name)
{
    bool name_matches = name != nullptr && (operation.response_name == nullptr || same_name(name, operation.response_name));
    if (operation.name_before_result) {
        if (!name_matches)
            return kNotSupported;
        return call_result;
    }
    if (call_result != kSuccess)
        return call_result;
    return name_matches ? kSuccess : kNotSupported;
}

}  // namespace

bool same_name(const char* received, const char* expected) { return std::strcmp(received, expected) == 0; }

int record_result(LDAP* ld, int result)
{
    ldap_set_option(ld, LDAP_OPT_RESULT_CODE, &result);
    return result;
}

int call_exop(LDAP* ld, const ExopSpec& operation, Encode encode, Decode decode)
{
    if (ld == nullptr)
        return kParamError;
    BervalPtr request;
    if (encode) {
        Encoded prepared = prepare_request(operation, encode, request);
        if (prepared.code != kSuccess)
            return finish(ld, operation, prepared);
    }

    LdapString name;
    BervalPtr value;
    int result = ldap_extended_operation_s(ld, operation.request_name, request.get(), nullptr, nullptr, out(name),
                                           out(value));
    result = check_response(operation, result, name.get());
    if (result == kSuccess && decode)
        result = value ? decode(*value) : kOperationsError;
    return finish(ld, operation, result);
}

int send_exop(LDAP* ld, const ExopSpec& operation, Encode encode, int* msgid)
{
    if (ld == nullptr || msgid == nullptr)
        return kParamError;
    BervalPtr request;
    Encoded outcome = prepare_request(operation, encode, request);
    if (outcome.code == kSuccess)
        outcome.code = ldap_extended_operation(ld, operation.request_name, request.get(), nullptr, nullptr, msgid);
    return finish(ld, operation, outcome);
}

ValueDecoder::ValueDecoder(const berval& value, int decode_error, int init_error) : status_(kSuccess)
{
    if (value.bv_len == 0 || value.bv_val == nullptr) {
        status_ = decode_error;
        return;
    }
    ber_.reset(ber_init(const_cast<berval*>(&value)));
    if (!ber_)
        status_ = init_error;
}

ber_tag_t ValueDecoder::peek(ber_len_t* length)
{
    ber_len_t ignored = 0;
    return ber_peek_tag(ber_.get(), length != nullptr ? length : &ignored);
}

ber_len_t ValueDecoder::remaining() const
{
    ber_len_t left = 0;
    ber_get_option(ber_.get(), LBER_OPT_REMAINING_BYTES, &left);
    return left;
}

int copy_out_string(const berval& value, std::size_t limit, char** out_string)
{
    std::size_t length = value.bv_len;
    auto* copy = static_cast<char*>(allocate(length + 1));
    *out_string = copy;
    if (copy == nullptr)
        return kNoMemory;
    std::size_t kept = std::min(length, limit);
    if (kept != 0)
        std::memcpy(copy, value.bv_val, kept);
    copy[kept] = '\0';
    return kSuccess;
}

}  // namespace tervane
