// Conversion between host text (32-bit code points) and the 8-bit texts of
// the LDAP client library, in UTF-8 or in the Windows-1252 code page, and of
// the component's UTF-16 resource strings to host text.
#ifndef KANDREL_TEXT_CONVERSION_H
#define KANDREL_TEXT_CONVERSION_H

#include <cstddef>
#include <cstdlib>

#include "host_interface.h"

namespace kandrel::text {

// A growable conversion area of Element, allocated with the C allocator so
// that callers can take the data over and free it with std::free.
template <class Element>
class ConversionBuffer {
public:
    static constexpr std::size_t kMinimumCapacity = 1024;

    ConversionBuffer() = default;
    ~ConversionBuffer() { std::free(data_); }
    ConversionBuffer(const ConversionBuffer&) = delete;
    ConversionBuffer& operator=(const ConversionBuffer&) = delete;

    // Makes room for n elements. When it has to grow it discards the old
    // contents and allocates max(n, 1024) elements. False when out of memory
    // or when n elements cannot be addressed.
    bool ensure(std::size_t n) noexcept
    {
        if (capacity_ >= n && data_ != nullptr) {
            return true;
        }
        std::free(data_);
        data_ = nullptr;
        capacity_ = 0;
        const std::size_t wanted = n < kMinimumCapacity ? kMinimumCapacity : n;
        if (wanted > static_cast<std::size_t>(-1) / sizeof(Element)) {
            return false;
        }
        data_ = static_cast<Element*>(std::malloc(wanted * sizeof(Element)));
        if (data_ == nullptr) {
            return false;
        }
        capacity_ = wanted;
        return true;
    }

    Element* data() const noexcept { return data_; }
    std::size_t capacity() const noexcept { return capacity_; }

    // Hands the data to the caller, who frees it with std::free.
    Element* take() noexcept
    {
        Element* taken = data_;
        data_ = nullptr;
        capacity_ = 0;
        return taken;
    }

private:
    Element* data_ = nullptr;
    std::size_t capacity_ = 0;
};

using EightBitBuffer = ConversionBuffer<char>;
using HostTextBuffer = ConversionBuffer<HostChar>;

// Host text to NUL-terminated UTF-8 in buffer. Answers the text and sets
// length to its bytes; answers null with length 0 when a character is a
// surrogate or above U+10FFFF, or when memory is short.
char* utf8_from_host(EightBitBuffer& buffer, const HostChar* characters, std::size_t count,
                     std::size_t* length) noexcept;

// Host text to NUL-terminated Windows-1252 in buffer; characters the code page
// lacks become spaces. Null only when memory is short.
char* code_page_from_host(EightBitBuffer& buffer, const HostChar* characters, std::size_t count,
                          std::size_t* length) noexcept;

// UTF-8 bytes to zero-terminated host text. Null with count 0 for malformed,
// overlong, surrogate, out-of-range or truncated sequences, or short memory.
HostChar* host_from_utf8(HostTextBuffer& buffer, const char* text, std::size_t length,
                         std::size_t* count) noexcept;

// Windows-1252 bytes (zero bytes included) to zero-terminated host text.
HostChar* host_from_code_page(HostTextBuffer& buffer, const char* text, std::size_t length,
                              std::size_t* count) noexcept;

// UTF-16 units to host characters, at most capacity of them. The walk ends
// at a surrogate that is not part of a valid pair. Answers the count written.
std::size_t host_from_wide(const char16_t* units, std::size_t unit_count, HostChar* characters,
                           std::size_t capacity) noexcept;

// The same conversions into an area the caller provides: 4 * count + 1 bytes
// for UTF-8, length + 1 characters for host text. False where the buffer
// forms answer null.
bool utf8_into(char* area, const HostChar* characters, std::size_t count, std::size_t* length) noexcept;
bool host_from_utf8_into(HostChar* area, const char* text, std::size_t length, std::size_t* count) noexcept;
void host_from_code_page_into(HostChar* area, const char* text, std::size_t length) noexcept;

// The code page's byte for one character: 0x20 when it has none.
unsigned char code_page_byte(HostChar character) noexcept;
// The character of one code-page byte.
HostChar code_page_character(unsigned char byte) noexcept;

}  // namespace kandrel::text

#endif
