#include "ber.h"

#include <limits>

namespace adminext {

namespace {

constexpr std::uint8_t kConstructed = 0x20;
constexpr std::uint8_t kMultiByteTag = 0x1F;

// Splits the first element off `bytes`: its tag and contents, and what
// follows it. False when the element is not complete.
bool split(std::string_view bytes, std::uint8_t& tag, std::string_view& contents, std::string_view& rest)
{
    if (bytes.size() < 2)
        return false;
    tag = static_cast<std::uint8_t>(bytes[0]);
    if ((tag & kMultiByteTag) == kMultiByteTag)
        return false;
    std::size_t length = static_cast<std::uint8_t>(bytes[1]);
    std::size_t offset = 2;
    if (length & 0x80) {
        std::size_t digits = length & 0x7F;
        // Indefinite lengths (0x80) and lengths beyond 4 bytes are refused.
        if (digits == 0 || digits > 4 || bytes.size() < offset + digits)
            return false;
        length = 0;
        for (std::size_t i = 0; i < digits; ++i)
            length = (length << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
        offset += digits;
    }
    if (length > bytes.size() - offset)
        return false;
    contents = bytes.substr(offset, length);
    rest = bytes.substr(offset + length);
    return true;
}

}  // namespace

int BerReader::peek() const
{
    std::uint8_t tag = 0;
    std::string_view contents, rest;
    return split(rest_, tag, contents, rest) ? tag : -1;
}

bool BerReader::element(std::uint8_t& tag, std::string_view& contents)
{
    std::string_view rest;
    if (!split(rest_, tag, contents, rest))
        return false;
    rest_ = rest;
    return true;
}

bool BerReader::contents(std::uint8_t expected, std::string_view& out)
{
    std::uint8_t tag = 0;
    std::string_view contents, rest;
    if (!split(rest_, tag, contents, rest) || tag != expected)
        return false;
    out = contents;
    rest_ = rest;
    return true;
}

bool BerReader::integer(std::int32_t& value, std::uint8_t expected)
{
    BerReader copy = *this;
    std::string_view bytes;
    if (!copy.contents(expected, bytes) || bytes.empty() || bytes.size() > 4)
        return false;
    std::int64_t number = static_cast<std::int8_t>(bytes[0]);
    for (std::size_t i = 1; i < bytes.size(); ++i)
        number = number * 256 + static_cast<std::uint8_t>(bytes[i]);
    value = static_cast<std::int32_t>(number);
    *this = copy;
    return true;
}

bool BerReader::boolean(bool& value)
{
    BerReader copy = *this;
    std::string_view bytes;
    if (!copy.contents(tag::kBoolean, bytes) || bytes.size() != 1)
        return false;
    value = bytes[0] != 0;
    *this = copy;
    return true;
}

bool BerReader::octets(std::string& value, std::uint8_t expected)
{
    std::string_view bytes;
    if (!contents(expected, bytes))
        return false;
    value.assign(bytes);
    return true;
}

bool BerReader::enter(BerReader& inner, std::uint8_t expected)
{
    std::string_view bytes;
    if ((expected & kConstructed) == 0 || !contents(expected, bytes))
        return false;
    inner = BerReader(bytes);
    return true;
}

void BerWriter::header(std::uint8_t tag, std::size_t length)
{
    out_.push_back(static_cast<char>(tag));
    if (length < 0x80) {
        out_.push_back(static_cast<char>(length));
        return;
    }
    char digits[sizeof(std::size_t)];
    int count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8)
        digits[count++] = static_cast<char>(rest & 0xFF);
    out_.push_back(static_cast<char>(0x80 | count));
    while (count > 0)
        out_.push_back(digits[--count]);
}

void BerWriter::integer(std::int64_t value, std::uint8_t tag)
{
    char bytes[8];
    int count = 0;
    // Fewest two's-complement bytes: drop leading bytes that only repeat the
    // sign of the next one.
    for (int shift = 56; shift >= 0; shift -= 8) {
        char byte = static_cast<char>((value >> shift) & 0xFF);
        if (count == 0 && shift > 0) {
            char next = static_cast<char>((value >> (shift - 8)) & 0xFF);
            bool redundant = (byte == 0 && (next & 0x80) == 0) || (byte == '\xff' && (next & 0x80) != 0);
            if (redundant)
                continue;
        }
        bytes[count++] = byte;
    }
    header(tag, static_cast<std::size_t>(count));
    out_.append(bytes, static_cast<std::size_t>(count));
}

void BerWriter::boolean(bool value)
{
    header(tag::kBoolean, 1);
    out_.push_back(value ? '\xff' : '\0');
}

void BerWriter::octets(std::string_view value, std::uint8_t tag)
{
    header(tag, value.size());
    out_.append(value);
}

void BerWriter::open(std::uint8_t tag)
{
    out_.push_back(static_cast<char>(tag));
    open_.push_back(out_.size());
}

void BerWriter::close()
{
    std::size_t start = open_.back();
    open_.pop_back();
    std::string contents = out_.substr(start);
    std::uint8_t tag = static_cast<std::uint8_t>(out_[start - 1]);
    out_.resize(start - 1);
    header(tag, contents.size());
    out_ += contents;
}

}  // namespace adminext
