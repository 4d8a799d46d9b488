#include "ldif.h"

#include <cstdint>
#include <unordered_map>

namespace adminext {

namespace {

constexpr std::size_t kLineLength = 76;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(std::string_view bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += kBase64[(group >> 18) & 0x3F];
        out += kBase64[(group >> 12) & 0x3F];
        out += i + 1 < bytes.size() ? kBase64[(group >> 6) & 0x3F] : '=';
        out += i + 2 < bytes.size() ? kBase64[group & 0x3F] : '=';
    }
    return out;
}

std::optional<std::string> unbase64(std::string_view text)
{
    std::string out;
    std::uint32_t group = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        const char* found = c == '\0' ? nullptr : std::char_traits<char>::find(kBase64, 64, c);
        if (found == nullptr || padding != 0)
            return std::nullopt;
        group = (group << 6) | static_cast<std::uint32_t>(found - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    if (padding > 2 || (text.size() % 4) != 0)
        return std::nullopt;
    return out;
}

// LDIF's SAFE-STRING: no NUL, CR or LF, ASCII only, not starting with a
// space, colon or '<', not ending with a space.
bool is_safe(std::string_view value)
{
    if (value.empty())
        return true;
    if (value.front() == ' ' || value.front() == ':' || value.front() == '<' || value.back() == ' ')
        return false;
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || c == '\r' || c == '\n' || byte >= 0x80)
            return false;
    }
    return true;
}

void append_line(std::string& out, std::string_view line)
{
    out.append(line.substr(0, kLineLength));
    for (std::size_t at = kLineLength; at < line.size(); at += kLineLength - 1) {
        out += "\n ";
        out.append(line.substr(at, kLineLength - 1));
    }
    out += '\n';
}

void append_value(std::string& out, std::string_view type, std::string_view value)
{
    std::string line(type);
    if (is_safe(value)) {
        line += ": ";
        line += value;
    } else {
        line += ":: ";
        line += base64(value);
    }
    append_line(out, line);
}

// The logical lines of an LDIF text, continuations joined.
bool unfold(std::string_view text, std::vector<std::string>& lines)
{
    bool ended = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty()) {
            ended = !lines.empty();
            continue;
        }
        if (ended)
            return false;  // a second record
        if (line.front() == '#')
            continue;
        if (line.front() == ' ') {
            if (lines.empty())
                return false;
            lines.back().append(line.substr(1));
            continue;
        }
        lines.emplace_back(line);
    }
    return !lines.empty();
}

}  // namespace

std::string write_ldif(const LdifEntry& entry)
{
    std::string out;
    append_value(out, "dn", entry.dn);
    for (const Attribute& attribute : entry.attributes)
        for (const std::string& value : attribute.values)
            append_value(out, attribute.type, value);
    return out;
}

std::optional<LdifEntry> read_ldif(std::string_view text)
{
    std::vector<std::string> lines;
    if (!unfold(text, lines))
        return std::nullopt;
    LdifEntry entry;
    std::unordered_map<std::string, std::size_t> positions;  // type -> index in attributes
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos)
            return std::nullopt;
        std::string_view type = line.substr(0, colon);
        std::string_view rest = line.substr(colon + 1);
        bool encoded = !rest.empty() && rest.front() == ':';
        if (encoded)
            rest.remove_prefix(1);
        else if (!rest.empty() && rest.front() == '<')
            return std::nullopt;  // values from URLs are not read
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        std::string value(rest);
        if (encoded) {
            auto decoded = unbase64(rest);
            if (!decoded)
                return std::nullopt;
            value = std::move(*decoded);
        }
        if (i == 0) {
            if (type != "dn")
                return std::nullopt;
            entry.dn = std::move(value);
            continue;
        }
        if (type == "dn" || type == "changetype")
            return std::nullopt;
        auto [position, added] = positions.try_emplace(std::string(type), entry.attributes.size());
        if (added)
            entry.attributes.push_back(Attribute{std::string(type), {}});
        entry.attributes[position->second].values.push_back(std::move(value));
    }
    return entry;
}

}  // namespace adminext
