// The exchange that every Tervane export shares: check, encode the request
// value, send the extended request, check the response name, decode the
// response value, release everything, return one result code.
#ifndef TERVANE_EXOP_FRAME_H
#define TERVANE_EXOP_FRAME_H

#include <cstddef>

#include "function_ref.h"
#include "ldap_client.h"
#include "owners.h"
#include "result_codes.h"

namespace tervane {

// What distinguishes one operation's exchange from another's. Operations
// that differ from the common frame name their flags:
// {.request_name = ..., .response_name = ..., .record_on_handle = true}.
struct ExopSpec {
    const char* request_name;
    // The expected response name; nullptr accepts any name, but one must be
    // present.
    const char* response_name;
    // When a response arrived, look at its name before the call's own
    // result, so that a missing or wrong name gives 92 even when the call
    // itself failed. When none arrived, the client library's code stands.
    bool name_before_result = false;
    // Store the final result as the handle's error number on every path from
    // the encoding of the request on.
    bool record_on_handle = false;
    // ber_alloc_t options: 0 for the default encoding, LBER_USE_DER for
    // minimal lengths.
    int encoder_options = 0;
};

// How far an encoder got before it answered.
enum class Stage {
    // A check of the caller's arguments refused them before anything was
    // encoded: the result is not recorded on the handle.
    checking,
    // The encoding was attempted: the result counts as the exchange's.
    encoding,
};

// What an encoder answers: 0 or a result code, and the stage it reached.
// Encoders that only encode answer put()'s code, which converts.
struct Encoded {
    int code = kSuccess;
    Stage stage = Stage::encoding;

    constexpr Encoded(int result, Stage reached = Stage::encoding) : code(result), stage(reached) {}
    static constexpr Encoded refused(int result) { return {result, Stage::checking}; }
};

// Encodes the request value into a fresh encoder.
using Encode = FunctionRef<Encoded(BerElement*)>;
// Decodes the response value (present, possibly zero bytes long) into the
// caller's outputs; answers 0 or a result code.
using Decode = FunctionRef<int(const berval&)>;

// Synchronous exchange: what ldap_extended_operation_s does, with every
// response looked at before the client library parses it (see
// extended_result.h). Without an encoder the request has no value; without a
// decoder the response value is not read. A NULL handle gives 89.
int call_exop(LDAP* ld, const ExopSpec& operation, Encode encode, Decode decode);

// Asynchronous send: encodes, sends, stores the message id in *msgid.
int send_exop(LDAP* ld, const ExopSpec& operation, Encode encode, int* msgid);

// True when any of the pointers is NULL: the exports refuse such arguments
// with 89 before anything is allocated or sent.
template <class... Pointers>
bool any_null(const Pointers*... pointers)
{
    return ((pointers == nullptr) || ...);
}

// Stores result as the handle's error number and answers it.
int record_result(LDAP* ld, int result);

// Whole-string equality of a response name with the expected one.
bool same_name(const char* received, const char* expected);

// Tags of the universal elements that decoders check before reading.
inline constexpr ber_tag_t kOctetString = 0x04;
inline constexpr ber_tag_t kSequence = 0x30;

// ber_printf answering 0, or 83 when it fails.
template <class... Args>
int put(BerElement* ber, const char* format, Args... args)
{
    return ber_printf(ber, format, args...) == -1 ? kEncodingError : kSuccess;
}

// A decoder over a value that came from a server, reading the value's bytes
// where they lie (the value must outlive the decoder). A value of zero bytes
// holds no element, and liblber must never be handed one (its scanner
// dereferences a null buffer), so it fails like a malformed value.
class ValueDecoder {
public:
    ValueDecoder(const berval& value, int decode_error, int init_error = kNoMemory);

    // 0 when the decoder is ready, else the result to return.
    int status() const { return status_; }
    BerElement* ber() const { return ber_.get(); }

    template <class... Args>
    bool scan(const char* format, Args... args)
    {
        return ber_scanf(ber_.get(), format, args...) != LBER_ERROR;
    }
    // The tag of the next element, LBER_DEFAULT at the end.
    ber_tag_t peek(ber_len_t* length = nullptr);
    // Bytes not read yet.
    ber_len_t remaining() const;
    // True when peek() finds no element although bytes remain: the value is
    // cut or malformed there, where a value that simply ends has no bytes
    // left.
    bool cut() { return peek() == LBER_DEFAULT && remaining() != 0; }
    // An OCTET STRING read with "a" into a string of the client library's;
    // false when the next element is of another kind or cannot be read.
    bool scan_string(LdapString& text);
    // SEQUENCE OF OCTET STRING read into a NULL-terminated array of the
    // client library's (release: ldap_value_free), NULL for an empty
    // SEQUENCE: what liblber's "v" reads, but with the tag of the SEQUENCE
    // and of every string checked. decode_error for a value of another
    // shape, 90 when memory is short.
    int scan_strings(LdapValues& strings, int decode_error);

private:
    BorrowingBerPtr ber_;
    int status_;
};

// Walks the elements of the constructed element that comes next (a SEQUENCE
// OF, a SET OF), telling a list that ends from one that is cut. liblber's
// ber_first_element and ber_next_element end alike at the list's end and at
// an element that announces more bytes than the value holds, which would hand
// out the elements before it as if they were the whole list.
class ElementWalk {
public:
    // Reads the list's header.
    explicit ElementWalk(ValueDecoder& decoder);
    // The tag of the next element, LBER_DEFAULT when there is none: at the
    // list's end, or where the list is cut, when cut() is true.
    ber_tag_t next();
    bool cut() const { return cut_; }

private:
    ValueDecoder& decoder_;
    ber_len_t end_ = 0;  // the value's bytes left when the list is over
    bool cut_ = false;
};

// Decodes a whole value with one ber_scanf; decode_error when it fails.
template <class... Args>
int scan_value(const berval& value, int decode_error, const char* format, Args... args)
{
    ValueDecoder decoder(value, decode_error);
    if (decoder.status() != kSuccess)
        return decoder.status();
    return decoder.scan(format, args...) ? kSuccess : decode_error;
}

// Stores in *out a new string of Tervane's holding the first limit bytes of
// value and a NUL. 90 (and *out NULL) when memory is short.
int copy_out_string(const berval& value, std::size_t limit, char** out);

}  // namespace tervane

#endif
