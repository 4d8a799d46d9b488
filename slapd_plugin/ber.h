// BER of request and response values, read and written without liblber:
// request values come from any client, so every length is checked against
// the bytes that are really there, and nothing is allocated beyond them.
// Only single-byte tags and definite lengths are read; responses are written
// in DER.
#ifndef SLAPD_PLUGIN_BER_H
#define SLAPD_PLUGIN_BER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace adminext {

namespace tag {
inline constexpr std::uint8_t kBoolean = 0x01;
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kEnumerated = 0x0A;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
}  // namespace tag

// Reads the elements of one level, in order. A failed read leaves the reader
// where it was; callers stop at the first failure.
class BerReader {
public:
    explicit BerReader(std::string_view bytes = {}) : rest_(bytes) {}

    bool at_end() const { return rest_.empty(); }
    // The tag of the next element, or -1 when there is none or it cannot be
    // read.
    int peek() const;
    // The next element whatever its tag: its tag and contents.
    bool element(std::uint8_t& tag, std::string_view& contents);
    // The contents of the next element, which must carry `expected`.
    bool contents(std::uint8_t expected, std::string_view& out);
    bool integer(std::int32_t& value, std::uint8_t expected = tag::kInteger);
    bool enumerated(std::int32_t& value) { return integer(value, tag::kEnumerated); }
    bool boolean(bool& value);
    bool octets(std::string& value, std::uint8_t expected = tag::kOctetString);
    // A constructed element with tag `expected`: a reader of its contents.
    bool enter(BerReader& inner, std::uint8_t expected = tag::kSequence);

private:
    std::string_view rest_;
};

// Writes DER. Constructed elements are opened and closed around their
// contents; close() fills in the length.
class BerWriter {
public:
    void integer(std::int64_t value, std::uint8_t tag = tag::kInteger);
    void enumerated(std::int64_t value) { integer(value, tag::kEnumerated); }
    void boolean(bool value);
    void octets(std::string_view value, std::uint8_t tag = tag::kOctetString);
    void open(std::uint8_t tag = tag::kSequence);
    void close();
    // The bytes written so far; every opened element must be closed.
    const std::string& bytes() const { return out_; }

private:
    void header(std::uint8_t tag, std::size_t length);

    std::string out_;
    std::basic_string<std::size_t> open_;  // start offsets of open elements
};

}  // namespace adminext

#endif
