#include "exop_frame.h"

#include <algorithm>
#include <cstring>

#include "extended_result.h"
#include "memory.h"

namespace tervane {

namespace {

// The answer to one synchronous request.
struct Answer {
    int result = kSuccess;
    // The client library read an extended response to the request. When it
    // did not (the connection was lost, the wait timed out, the server gave
    // notice of disconnection or answered with another kind of response, or
    // the response could not be read), result is the library's reason.
    bool arrived = false;
    ExtendedResponse response;
};

// The handle's error number, where the client library leaves the reason for
// a failure that returned no code of its own.
int handle_result(LDAP* ld)
{
    int result = LDAP_OTHER;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &result);
    return result;
}

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

// What ldap_extended_operation_s does, step by step, so that the response is
// looked at before the client library parses it: send, wait for the whole
// answer, read its name and value, then its result code.
void exchange(LDAP* ld, const char* request_name, berval* request, Answer& answer)
{
    int msgid = 0;
    answer.result = ldap_extended_operation(ld, request_name, request, nullptr, nullptr, &msgid);
    if (answer.result != LDAP_SUCCESS)
        return;
    MessagePtr message;
    int received = ldap_result(ld, msgid, LDAP_MSG_ALL, nullptr, out(message));
    if (received == -1 || !message) {
        answer.result = handle_result(ld);
        return;
    }
    answer.result = parse_extended_response(ld, message.get(), 0, answer.response);
    if (answer.result != LDAP_SUCCESS)
        return;
    answer.arrived = true;
    answer.result = ldap_result2error(ld, message.release(), 1);
}

int check_response(const ExopSpec& operation, const Answer& answer)
{
    const char* name = answer.response.name.get();
    bool name_matches = name != nullptr && (operation.response_name == nullptr || same_name(name, operation.response_name));
    if (operation.name_before_result && answer.arrived)
        return name_matches ? answer.result : kNotSupported;
    if (answer.result != kSuccess)
        return answer.result;
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

    Answer answer;
    exchange(ld, operation.request_name, request.get(), answer);
    int result = check_response(operation, answer);
    const BervalPtr& value = answer.response.value;
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
    // Read in place (ber_init would copy the bytes into a buffer of its own
    // first). liblber reads the byte after an element that ends the buffer;
    // every value the client library hands over has one there, its NUL.
    ber_.reset(ber_alloc_t(0));
    if (!ber_) {
        status_ = init_error;
        return;
    }
    ber_init2(ber_.get(), const_cast<berval*>(&value), 0);
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

ElementWalk::ElementWalk(ValueDecoder& decoder) : decoder_(decoder)
{
    ber_len_t length = 0;
    if (ber_skip_tag(decoder.ber(), &length) == LBER_DEFAULT || length > decoder.remaining()) {
        cut_ = true;
        return;
    }
    end_ = decoder.remaining() - length;
}

ber_tag_t ElementWalk::next()
{
    if (cut_)
        return LBER_DEFAULT;
    ber_len_t left = decoder_.remaining();
    if (left == end_)
        return LBER_DEFAULT;
    // Fewer bytes left than at the list's end: the element before ran past it.
    ber_tag_t tag = left > end_ ? decoder_.peek() : LBER_DEFAULT;
    cut_ = tag == LBER_DEFAULT;
    return tag;
}

bool ValueDecoder::scan_string(LdapString& text) { return peek() == kOctetString && scan("a", out(text).get()); }

int ValueDecoder::scan_strings(LdapValues& strings, int decode_error)
{
    if (peek() != kSequence)
        return decode_error;
    std::size_t count = 0;
    std::size_t capacity = 0;
    ElementWalk walk(*this);
    for (ber_tag_t tag = walk.next(); tag != LBER_DEFAULT; tag = walk.next()) {
        if (tag != kOctetString)
            return decode_error;
        // Room for this string and the terminator; the array doubles.
        if (count + 2 > capacity) {
            std::size_t grown = std::max<std::size_t>(4, capacity * 2);
            auto* block = static_cast<char**>(ber_memrealloc(strings.get(), grown * sizeof(char*)));
            if (block == nullptr)
                return kNoMemory;
            (void)strings.release();
            strings.reset(block);
            block[count] = nullptr;
            capacity = grown;
        }
        char** slot = strings.get() + count;
        if (!scan("a", slot))
            return decode_error;
        slot[1] = nullptr;
        ++count;
    }
    return walk.cut() ? decode_error : kSuccess;
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
