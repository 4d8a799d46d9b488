// A fuzz input as the client library hands a value to the decoders: its
// bytes followed by a NUL. liblber reads the byte after an element that ends
// its buffer (ber_skip_tag looks at the first content byte, even of an empty
// element), and every value libldap makes (ber_dupbv, ber_get_next) carries
// that terminator; the decoders read such values in place.
#ifndef TESTS_FUZZ_LIBRARY_VALUE_H
#define TESTS_FUZZ_LIBRARY_VALUE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ldap_client.h"

class LibraryValue {
public:
    LibraryValue(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size)
    {
        bytes_.push_back(0);
        value_.bv_len = static_cast<ber_len_t>(size);
        value_.bv_val = bytes_.data();
    }
    const berval& get() const { return value_; }
    berval* pointer() { return &value_; }

private:
    std::vector<char> bytes_;
    berval value_{};
};

#endif
