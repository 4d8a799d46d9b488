// A server's replication filter: object classes, each with its attribute
// names. Callers see it as text ("C1$A1$A2$$C2$$$", "$" for none); on the wire
// it is SEQUENCE OF SEQUENCE { class OCTET STRING, attributes SEQUENCE OF
// OCTET STRING }, in the same order both ways.
#include "replication_filter.h"

#include <cstring>

#include "memory.h"
#include "operations.h"
#include "tervane.h"

namespace tervane {

namespace {

constexpr char kSeparator = '$';

// The next name of the filter text starting at `text`: its bytes up to the
// next separator. False when no separator follows.
bool next_name(const char*& text, const char*& name, ber_len_t& length)
{
    const char* end = std::strchr(text, kSeparator);
    if (end == nullptr)
        return false;
    name = text;
    length = static_cast<ber_len_t>(end - text);
    text = end + 1;
    return true;
}

// Appends to the output text, never past its capacity.
class TextBuilder {
public:
    TextBuilder(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) { buffer_[0] = '\0'; }

    bool append(const char* text, std::size_t length)
    {
        if (length >= capacity_ - used_)
            return false;
        std::memcpy(buffer_ + used_, text, length);
        used_ += length;
        buffer_[used_] = '\0';
        return true;
    }
    bool append_name(const char* name) { return append(name, std::strlen(name)) && append_separator(); }
    bool append_separator() { return append(&kSeparator, 1); }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

// A name that the text form can carry: not empty and without the separator,
// which would split it into two names on the way back.
bool text_can_carry(const char* name) { return name[0] != '\0' && std::strchr(name, kSeparator) == nullptr; }

// One ClassEntry: SEQUENCE { class OCTET STRING, attributes SEQUENCE OF
// OCTET STRING }, appended as "class$attribute$...$" once every name of it
// has been read and found fit, so that the text ends with a whole entry
// whatever fails.
int append_class_entry(ValueDecoder& decoder, TextBuilder& text)
{
    LdapString class_name;
    LdapValues attributes;
    if (!decoder.scan("{") || !decoder.scan_string(class_name))
        return kDecodingError;
    if (int rc = decoder.scan_strings(attributes, kDecodingError); rc != kSuccess)
        return rc;
    if (!text_can_carry(class_name.get()))
        return kDecodingError;
    for (char** attribute = attributes.get(); attribute != nullptr && *attribute != nullptr; ++attribute)
        if (!text_can_carry(*attribute))
            return kDecodingError;
    if (!text.append_name(class_name.get()))
        return kDecodingError;
    for (char** attribute = attributes.get(); attribute != nullptr && *attribute != nullptr; ++attribute)
        if (!text.append_name(*attribute))
            return kDecodingError;
    return text.append_separator() ? kSuccess : kDecodingError;
}

}  // namespace

int encode_replication_filter(BerElement* ber, const char* server_dn, const char* filter)
{
    // OCTET STRING server_dn, then SEQUENCE OF ClassEntry; the names are sent
    // straight from the caller's text, which stays unchanged.
    if (int rc = put(ber, "s{", server_dn); rc != kSuccess)
        return rc;
    const char* position = filter;
    while (*position != kSeparator) {
        const char* name = nullptr;
        ber_len_t length = 0;
        if (!next_name(position, name, length))
            return kParamError;
        if (int rc = put(ber, "{o{", name, length); rc != kSuccess)
            return rc;
        while (*position != kSeparator) {
            if (!next_name(position, name, length))
                return kParamError;
            if (int rc = put(ber, "o", name, length); rc != kSuccess)
                return rc;
        }
        if (int rc = put(ber, "}}"); rc != kSuccess)
            return rc;
        ++position;
    }
    return put(ber, "}");
}

int decode_replication_filter(const berval& value, char** filter)
{
    ValueDecoder decoder(value, kDecodingError, kDecodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    // Every character of the text stands for at least one byte of the value;
    // the closing separator and the NUL take the two bytes more.
    std::size_t capacity = static_cast<std::size_t>(value.bv_len) + 2;
    auto* buffer = static_cast<char*>(allocate(capacity));
    *filter = buffer;
    if (buffer == nullptr)
        return kNoMemory;
    TextBuilder text(buffer, capacity);
    if (decoder.peek() != kSequence || !decoder.scan("{"))
        return kDecodingError;
    for (;;) {
        ber_tag_t tag = decoder.peek();
        // The list ends with the value; bytes that form no element are a cut
        // entry, not the end of the list.
        if (tag == LBER_DEFAULT)
            return !decoder.cut() && text.append_separator() ? kSuccess : kDecodingError;
        if (tag != kSequence)
            return kDecodingError;
        if (int rc = append_class_entry(decoder, text); rc != kSuccess)
            return rc;
    }
}

}  // namespace tervane

using namespace tervane;

TERVANE_API int TERVANE_CALL ldap_set_replication_filter(LDAP* ld, char* server_dn, char* filter)
{
    if (any_null(server_dn, filter))
        return kParamError;
    return call_exop(
        ld, ops::set_replication_filter,
        [&](BerElement* ber) { return encode_replication_filter(ber, server_dn, filter); }, nullptr);
}

// Request value: OCTET STRING server_dn. Any response name is accepted.
TERVANE_API int TERVANE_CALL ldap_get_replication_filter(LDAP* ld, char* server_dn, char** filter)
{
    if (any_null(server_dn, filter))
        return kParamError;
    return call_exop(
        ld, ops::get_replication_filter, [&](BerElement* ber) { return put(ber, "s", server_dn); },
        [&](const berval& value) { return decode_replication_filter(value, filter); });
}
