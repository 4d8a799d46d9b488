#include "ber_text.h"

#include <cstdio>

namespace bertext {

namespace {

struct Reader {
    std::string_view data;
    std::size_t position = 0;
};

bool read_header(Reader& reader, unsigned& tag, std::size_t& length)
{
    if (reader.position + 2 > reader.data.size())
        return false;
    tag = static_cast<unsigned char>(reader.data[reader.position++]);
    unsigned first = static_cast<unsigned char>(reader.data[reader.position++]);
    if (first < 0x80) {
        length = first;
    } else {
        unsigned count = first & 0x7F;
        if (count == 0 || count > 8 || reader.position + count > reader.data.size())
            return false;
        length = 0;
        for (unsigned i = 0; i < count; ++i)
            length = (length << 8) | static_cast<unsigned char>(reader.data[reader.position++]);
    }
    return length <= reader.data.size() - reader.position;
}

std::string quoted(std::string_view bytes)
{
    std::string text = "'";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text + "'";
}

long long signed_value(std::string_view content)
{
    long long value = content.empty() ? 0 : (static_cast<signed char>(content[0]) < 0 ? -1 : 0);
    for (unsigned char c : content)
        value = static_cast<long long>((static_cast<unsigned long long>(value) << 8) | c);
    return value;
}

std::string render_all(std::string_view bytes)
{
    Reader reader{bytes};
    std::string text;
    while (reader.position < bytes.size()) {
        std::size_t start = reader.position;
        unsigned tag = 0;
        std::size_t length = 0;
        if (!text.empty())
            text += ", ";
        if (!read_header(reader, tag, length)) {
            text += "<bad: " + hex(bytes.substr(start)) + ">";
            break;
        }
        std::string_view content = bytes.substr(reader.position, length);
        reader.position += length;
        char tag_text[8];
        std::snprintf(tag_text, sizeof tag_text, "[%02x]", tag);
        if (tag & 0x20) {
            std::string inner = render_all(content);
            if (tag == 0x30)
                text += "{" + inner + "}";
            else if (tag == 0x31)
                text += "set{" + inner + "}";
            else
                text += std::string(tag_text) + "{" + inner + "}";
        } else if (tag == 0x02) {
            text += "int " + std::to_string(signed_value(content));
        } else if (tag == 0x0A) {
            text += "enum " + std::to_string(signed_value(content));
        } else if (tag == 0x01 && content.size() == 1) {
            text += content[0] ? "true" : "false";
        } else if (tag == 0x04) {
            text += quoted(content);
        } else {
            text += std::string(tag_text) + quoted(content);
        }
    }
    return text;
}

}  // namespace

std::string render(std::string_view bytes) { return render_all(bytes); }

std::string hex(std::string_view bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", c);
        if (!text.empty())
            text += ' ';
        text += digits;
    }
    return text;
}

}  // namespace bertext

namespace der {

std::string element(std::uint8_t tag, std::string_view content)
{
    std::string bytes(1, static_cast<char>(tag));
    std::size_t length = content.size();
    if (length < 0x80) {
        bytes += static_cast<char>(length);
    } else {
        std::string digits;
        for (std::size_t rest = length; rest != 0; rest >>= 8)
            digits.insert(digits.begin(), static_cast<char>(rest & 0xFF));
        bytes += static_cast<char>(0x80 | digits.size());
        bytes += digits;
    }
    bytes.append(content);
    return bytes;
}

std::string integer(long long value, std::uint8_t tag)
{
    std::string content;
    for (;;) {
        content.insert(content.begin(), static_cast<char>(value & 0xFF));
        long long rest = value >> 8;
        bool sign = (value & 0x80) != 0;
        if ((rest == 0 && !sign) || (rest == -1 && sign))
            break;
        value = rest;
    }
    return element(tag, content);
}

std::string enumerated(long long value) { return integer(value, 0x0A); }

std::string boolean(bool value) { return element(0x01, std::string(1, value ? '\xff' : '\0')); }

std::string octets(std::string_view bytes, std::uint8_t tag) { return element(tag, bytes); }

std::string concat(std::initializer_list<std::string> parts)
{
    std::string bytes;
    for (const std::string& part : parts)
        bytes += part;
    return bytes;
}

std::string sequence(std::initializer_list<std::string> parts, std::uint8_t tag) { return element(tag, concat(parts)); }

std::string set(std::initializer_list<std::string> parts) { return element(0x31, concat(parts)); }

}  // namespace der
