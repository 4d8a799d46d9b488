#include "text_conversion.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace kandrel::text {
namespace {

constexpr HostChar kMaxCodePoint = 0x10FFFF;

constexpr bool is_surrogate(HostChar c) { return c >= 0xD800 && c <= 0xDFFF; }

// Windows-1252 bytes 0x80 to 0x9F; the five undefined positions read as a
// space.
constexpr std::array<HostChar, 32> kHighControls = {
    0x20AC, 0x0020, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0020, 0x017D, 0x0020,
    0x0020, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0020, 0x017E, 0x0178,
};

constexpr std::array<HostChar, 256> make_to_host()
{
    std::array<HostChar, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        table[byte] = (byte >= 0x80 && byte <= 0x9F) ? kHighControls[byte - 0x80] : byte;
    }
    return table;
}

constexpr std::array<HostChar, 256> kToHost = make_to_host();

struct CodePair {
    HostChar character;
    unsigned char byte;
};

// The 251 characters the code page holds, sorted by character.
constexpr std::array<CodePair, 251> make_from_host()
{
    std::array<CodePair, 251> pairs{};
    std::size_t n = 0;
    for (unsigned byte = 0; byte < 0x80; ++byte) {
        pairs[n++] = {byte, static_cast<unsigned char>(byte)};
    }
    for (unsigned byte = 0xA0; byte < 0x100; ++byte) {
        pairs[n++] = {byte, static_cast<unsigned char>(byte)};
    }
    // The 27 defined positions 0x80 to 0x9F, inserted in character order.
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
        const HostChar c = kHighControls[byte - 0x80];
        if (c == 0x0020) {
            continue;
        }
        std::size_t at = n;
        while (at > 0 && pairs[at - 1].character > c) {
            pairs[at] = pairs[at - 1];
            --at;
        }
        pairs[at] = {c, static_cast<unsigned char>(byte)};
        ++n;
    }
    return pairs;
}

constexpr std::array<CodePair, 251> kFromHost = make_from_host();

constexpr bool sorted_and_complete()
{
    for (std::size_t i = 1; i < kFromHost.size(); ++i) {
        if (kFromHost[i - 1].character >= kFromHost[i].character) {
            return false;
        }
    }
    return kFromHost[250].character == 0x2122;
}
static_assert(sorted_and_complete(), "the code page table is sorted and holds 251 characters");

// Byte of every character below U+0100: itself, except the C1 controls
// U+0080 to U+009F, which the code page lacks.
constexpr std::array<unsigned char, 256> make_low_bytes()
{
    std::array<unsigned char, 256> bytes{};
    for (unsigned c = 0; c < 256; ++c) {
        bytes[c] = static_cast<unsigned char>(c >= 0x80 && c < 0xA0 ? 0x20 : c);
    }
    return bytes;
}

constexpr std::array<unsigned char, 256> kLowBytes = make_low_bytes();

// The code page's 27 characters above U+00FF lie in U+0100 to U+02FF and
// U+2000 to U+21FF: one byte per character of those two blocks, 0x20 where
// the code page has none, so that every character maps without a search.
constexpr HostChar kLatinBlock = 0x0100;
constexpr HostChar kPunctuationBlock = 0x2000;
constexpr HostChar kBlockSize = 0x200;

constexpr std::array<unsigned char, 2 * kBlockSize> make_high_bytes()
{
    std::array<unsigned char, 2 * kBlockSize> bytes{};
    for (auto& byte : bytes) {
        byte = 0x20;
    }
    for (const CodePair& pair : kFromHost) {
        if (pair.character >= kPunctuationBlock) {
            bytes[kBlockSize + pair.character - kPunctuationBlock] = pair.byte;
        } else if (pair.character >= kLatinBlock) {
            bytes[pair.character - kLatinBlock] = pair.byte;
        }
    }
    return bytes;
}

constexpr std::array<unsigned char, 2 * kBlockSize> kHighBytes = make_high_bytes();

constexpr bool every_pair_maps_directly()
{
    for (const CodePair& pair : kFromHost) {
        const HostChar c = pair.character;
        const bool in_blocks = c < 0x100 || (c - kLatinBlock < kBlockSize) || (c - kPunctuationBlock < kBlockSize);
        if (!in_blocks) {
            return false;
        }
    }
    return true;
}
static_assert(every_pair_maps_directly(), "the code page's characters lie in the two blocks");

// Runs of ASCII, the bulk of directory text, are handled eight units at a
// time: one test of the whole group, then plain copies.
constexpr std::size_t kGroup = 8;

bool ascii_group(const HostChar* c)
{
    return (c[0] | c[1] | c[2] | c[3] | c[4] | c[5] | c[6] | c[7]) < 0x80;
}

bool ascii_group(const unsigned char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

void narrow_group(const HostChar* c, unsigned char* out)
{
    for (std::size_t k = 0; k < kGroup; ++k) {
        out[k] = static_cast<unsigned char>(c[k]);
    }
}

void widen_group(const unsigned char* bytes, HostChar* out)
{
    for (std::size_t k = 0; k < kGroup; ++k) {
        out[k] = bytes[k];
    }
}

constexpr bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

unsigned char code_page_byte(HostChar character) noexcept
{
    if (character < 0x100) {
        return kLowBytes[character];
    }
    if (character - kPunctuationBlock < kBlockSize) {
        return kHighBytes[kBlockSize + character - kPunctuationBlock];
    }
    if (character - kLatinBlock < kBlockSize) {
        return kHighBytes[character - kLatinBlock];
    }
    return 0x20;
}

HostChar code_page_character(unsigned char byte) noexcept { return kToHost[byte]; }

// Strict UTF-32 to UTF-8: a surrogate or a code point above U+10FFFF fails
// the whole text.
bool utf8_into(char* area, const HostChar* characters, std::size_t count, std::size_t* length) noexcept
{
    *length = 0;
    unsigned char* target = reinterpret_cast<unsigned char*>(area);
    std::size_t i = 0;
    while (i < count) {
        if (count - i >= kGroup && ascii_group(characters + i)) {
            narrow_group(characters + i, target);
            target += kGroup;
            i += kGroup;
            continue;
        }
        // A group with something else in it goes one character at a time.
        const std::size_t group_end = count - i >= kGroup ? i + kGroup : count;
        for (; i < group_end; ++i) {
            const HostChar c = characters[i];
            if (c < 0x80) {
                *target++ = static_cast<unsigned char>(c);
            } else if (c < 0x800) {
                target[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
                target[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                target += 2;
            } else if (c < 0x10000) {
                if (is_surrogate(c)) {
                    return false;
                }
                target[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
                target[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                target[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                target += 3;
            } else if (c <= kMaxCodePoint) {
                target[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
                target[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
                target[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                target[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
                target += 4;
            } else {
                return false;
            }
        }
    }
    *target = 0;
    *length = static_cast<std::size_t>(target - reinterpret_cast<unsigned char*>(area));
    return true;
}

char* utf8_from_host(EightBitBuffer& buffer, const HostChar* characters, std::size_t count,
                     std::size_t* length) noexcept
{
    *length = 0;
    if (count > (static_cast<std::size_t>(-1) - 1) / 4 || (count > 0 && characters == nullptr) ||
        !buffer.ensure(4 * count + 1)) {
        return nullptr;
    }
    return utf8_into(buffer.data(), characters, count, length) ? buffer.data() : nullptr;
}

char* code_page_from_host(EightBitBuffer& buffer, const HostChar* characters, std::size_t count,
                          std::size_t* length) noexcept
{
    *length = 0;
    if (count == static_cast<std::size_t>(-1) || (count > 0 && characters == nullptr) ||
        !buffer.ensure(count + 1)) {
        return nullptr;
    }
    unsigned char* out = reinterpret_cast<unsigned char*>(buffer.data());
    std::size_t i = 0;
    for (; count - i >= kGroup; i += kGroup) {
        if (ascii_group(characters + i)) {
            narrow_group(characters + i, out + i);
        } else {
            for (std::size_t k = i; k < i + kGroup; ++k) {
                out[k] = code_page_byte(characters[k]);
            }
        }
    }
    for (; i < count; ++i) {
        out[i] = code_page_byte(characters[i]);
    }
    out[count] = '\0';
    *length = count;
    return buffer.data();
}

// Strict UTF-8 to UTF-32: only the well-formed sequences of the Unicode
// standard decode (no overlong forms, no surrogates, nothing above U+10FFFF,
// no lead bytes above F4, nothing cut off at the end); anything else fails
// the whole text.
bool host_from_utf8_into(HostChar* out, const char* text, std::size_t length, std::size_t* count) noexcept
{
    *count = 0;
    const unsigned char* source = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = source + length;
    HostChar* target = out;
    while (source < end) {
        if (static_cast<std::size_t>(end - source) >= kGroup && ascii_group(source)) {
            widen_group(source, target);
            source += kGroup;
            target += kGroup;
            continue;
        }
        // A group with something else in it goes one sequence at a time.
        const unsigned char* const group_end = static_cast<std::size_t>(end - source) >= kGroup ? source + kGroup : end;
        while (source < group_end) {
            const unsigned char lead = *source;
            const std::size_t left = static_cast<std::size_t>(end - source);
            if (lead < 0x80) {
                *target++ = lead;
                source += 1;
            } else if (lead < 0xE0) {
                if (lead < 0xC2 || left < 2 || !continuation(source[1])) {
                    return false;
                }
                *target++ = (HostChar{lead} & 0x1F) << 6 | (source[1] & 0x3Fu);
                source += 2;
            } else if (lead < 0xF0) {
                if (left < 3) {
                    return false;
                }
                const unsigned char second = source[1];
                const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
                const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
                if (second < low || second > high || !continuation(source[2])) {
                    return false;
                }
                *target++ = (HostChar{lead} & 0x0F) << 12 | (second & 0x3Fu) << 6 | (source[2] & 0x3Fu);
                source += 3;
            } else {
                if (lead > 0xF4 || left < 4) {
                    return false;
                }
                const unsigned char second = source[1];
                const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
                const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
                if (second < low || second > high || !continuation(source[2]) || !continuation(source[3])) {
                    return false;
                }
                *target++ = (HostChar{lead} & 0x07) << 18 | (second & 0x3Fu) << 12 | (source[2] & 0x3Fu) << 6 |
                            (source[3] & 0x3Fu);
                source += 4;
            }
        }
    }
    *target = 0;
    *count = static_cast<std::size_t>(target - out);
    return true;
}

HostChar* host_from_utf8(HostTextBuffer& buffer, const char* text, std::size_t length,
                         std::size_t* count) noexcept
{
    *count = 0;
    if (length == static_cast<std::size_t>(-1) || (length > 0 && text == nullptr) ||
        !buffer.ensure(length + 1)) {
        return nullptr;
    }
    return host_from_utf8_into(buffer.data(), text, length, count) ? buffer.data() : nullptr;
}

void host_from_code_page_into(HostChar* out, const char* text, std::size_t length) noexcept
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    for (; length - i >= kGroup; i += kGroup) {
        if (ascii_group(bytes + i)) {
            widen_group(bytes + i, out + i);
        } else {
            for (std::size_t k = i; k < i + kGroup; ++k) {
                out[k] = kToHost[bytes[k]];
            }
        }
    }
    for (; i < length; ++i) {
        out[i] = kToHost[bytes[i]];
    }
    out[length] = 0;
}

HostChar* host_from_code_page(HostTextBuffer& buffer, const char* text, std::size_t length,
                              std::size_t* count) noexcept
{
    *count = 0;
    if (length == static_cast<std::size_t>(-1) || (length > 0 && text == nullptr) ||
        !buffer.ensure(length + 1)) {
        return nullptr;
    }
    host_from_code_page_into(buffer.data(), text, length);
    *count = length;
    return buffer.data();
}

std::size_t host_from_wide(const char16_t* units, std::size_t unit_count, HostChar* characters,
                           std::size_t capacity) noexcept
{
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < unit_count && written < capacity) {
        const HostChar unit = units[i];
        if (unit < 0xD800 || unit > 0xDFFF) {
            characters[written++] = unit;
            ++i;
        } else if (unit <= 0xDBFF && i + 1 < unit_count && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            characters[written++] = (((unit & 0x3FF) << 10) | (units[i + 1] & 0x3FFu)) + 0x10000;
            i += 2;
        } else {
            break;
        }
    }
    return written;
}

}  // namespace kandrel::text
