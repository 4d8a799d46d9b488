#include "names.h"

#include <cstdint>

namespace adminext {

namespace {

void append_utf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool is_label_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

std::optional<std::string> utf16be_to_utf8(std::string_view bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return std::nullopt;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[2 * i]) << 8 |
                                          static_cast<std::uint8_t>(bytes[2 * i + 1]));
    };
    const std::size_t units = bytes.size() / 2 - 1;
    if (unit(units) != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t code = unit(i);
        if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF))
            return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= units || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF)
                return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        }
        append_utf8(out, code);
    }
    return out;
}

std::optional<std::string> dns_to_dn(std::string_view name)
{
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > 253)
        return std::nullopt;
    std::string dn;
    while (true) {
        std::size_t dot = name.find('.');
        std::string_view label = name.substr(0, dot);
        if (label.empty() || label.size() > 63)
            return std::nullopt;
        for (char c : label)
            if (!is_label_character(c))
                return std::nullopt;
        if (!dn.empty())
            dn += ',';
        dn += "dc=";
        dn += label;
        if (dot == std::string_view::npos)
            return dn;
        name.remove_prefix(dot + 1);
    }
}

std::string_view parent_dn(std::string_view dn)
{
    for (std::size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\')
            ++i;
        else if (dn[i] == ',')
            return dn.substr(i + 1);
    }
    return {};
}

bool dn_within(std::string_view dn, std::string_view base)
{
    if (base.empty())
        return true;
    if (dn.size() == base.size())
        return dn == base;
    return dn.size() > base.size() && dn.substr(dn.size() - base.size()) == base &&
           dn[dn.size() - base.size() - 1] == ',';
}

std::string filter_value(std::string_view value)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '*' || c == '(' || c == ')' || c == '\\' || byte == 0) {
            out += '\\';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace adminext
