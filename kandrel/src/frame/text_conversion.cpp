#include "text_conversion.h"

#include <array>
#include <cstdint>

namespace kandrel::text {
namespace {

constexpr HostChar kReplacement = 0xFFFD;
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

// Trailing bytes announced by a UTF-8 lead byte.
constexpr unsigned trailing_bytes(unsigned char lead)
{
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    return 5;
}

constexpr std::uint32_t kOffsetsFromUtf8[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                               0x03C82080u, 0xFA082080u, 0x82082080u};

// The legality rules of a UTF-8 sequence of length bytes.
bool legal_utf8(const unsigned char* source, unsigned length)
{
    unsigned char a;
    const unsigned char* src = source + length;
    switch (length) {
    default:
        return false;
    case 4:
        if ((a = *--src) < 0x80 || a > 0xBF) return false;
        [[fallthrough]];
    case 3:
        if ((a = *--src) < 0x80 || a > 0xBF) return false;
        [[fallthrough]];
    case 2:
        if ((a = *--src) < 0x80 || a > 0xBF) return false;
        switch (*source) {
        case 0xE0: if (a < 0xA0) return false; break;
        case 0xED: if (a > 0x9F) return false; break;
        case 0xF0: if (a < 0x90) return false; break;
        case 0xF4: if (a > 0x8F) return false; break;
        default: if (a < 0x80) return false;
        }
        [[fallthrough]];
    case 1:
        if (*source >= 0x80 && *source < 0xC2) return false;
    }
    return *source <= 0xF4;
}

}  // namespace

unsigned char code_page_byte(HostChar character) noexcept
{
    // Bytes 0x00 to 0x7F and 0xA0 to 0xFF are the characters of the same
    // value, and 0x80 to 0x9F are none: only the 27 characters above U+00FF
    // need the table.
    if (character < 0x100) {
        return character >= 0x80 && character < 0xA0 ? 0x20 : static_cast<unsigned char>(character);
    }
    int low = 0;
    int high = static_cast<int>(kFromHost.size()) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const HostChar c = kFromHost[static_cast<std::size_t>(middle)].character;
        if (c == character) {
            return kFromHost[static_cast<std::size_t>(middle)].byte;
        }
        if (c < character) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return 0x20;
}

HostChar code_page_character(unsigned char byte) noexcept { return kToHost[byte]; }

bool utf8_into(char* area, const HostChar* characters, std::size_t count, std::size_t* length) noexcept
{
    *length = 0;
    unsigned char* const out = reinterpret_cast<unsigned char*>(area);
    unsigned char* target = out;
    std::size_t i = 0;
    // Runs of ASCII, the bulk of directory text, take one byte each.
    while (i < count && characters[i] < 0x80) {
        *target++ = static_cast<unsigned char>(characters[i++]);
    }
    bool ok = true;
    for (; i < count; ++i) {
        HostChar c = characters[i];
        if (c < 0x80) {
            *target++ = static_cast<unsigned char>(c);
            continue;
        }
        if (is_surrogate(c)) {
            return false;
        }
        unsigned bytes;
        if (c < 0x800) {
            bytes = 2;
        } else if (c < 0x10000) {
            bytes = 3;
        } else if (c <= kMaxCodePoint) {
            bytes = 4;
        } else {
            bytes = 3;
            c = kReplacement;
            ok = false;
        }
        static constexpr unsigned char kFirstByteMark[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
        target += bytes;
        switch (bytes) {
        case 4: *--target = static_cast<unsigned char>((c | 0x80) & 0xBF); c >>= 6; [[fallthrough]];
        case 3: *--target = static_cast<unsigned char>((c | 0x80) & 0xBF); c >>= 6; [[fallthrough]];
        case 2: *--target = static_cast<unsigned char>((c | 0x80) & 0xBF); c >>= 6; [[fallthrough]];
        default: *--target = static_cast<unsigned char>(c | kFirstByteMark[bytes]);
        }
        target += bytes;
    }
    if (!ok) {
        return false;
    }
    *target = 0;
    *length = static_cast<std::size_t>(target - out);
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
    char* out = buffer.data();
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<char>(code_page_byte(characters[i]));
    }
    out[count] = '\0';
    *length = count;
    return out;
}

bool host_from_utf8_into(HostChar* out, const char* text, std::size_t length, std::size_t* count) noexcept
{
    *count = 0;
    const unsigned char* source = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = source + length;
    std::size_t written = 0;
    bool ok = true;
    while (source < end) {
        if (*source < 0x80) {
            out[written++] = *source++;
            continue;
        }
        const unsigned extra = trailing_bytes(*source);
        if (extra >= static_cast<std::size_t>(end - source)) {
            return false;
        }
        if (!legal_utf8(source, extra + 1)) {
            return false;
        }
        std::uint32_t value = 0;
        for (unsigned i = 0; i <= extra; ++i) {
            value += *source++;
            if (i < extra) {
                value <<= 6;
            }
        }
        value -= kOffsetsFromUtf8[extra];
        if (value > kMaxCodePoint) {
            out[written++] = kReplacement;
            ok = false;
        } else if (is_surrogate(value)) {
            return false;
        } else {
            out[written++] = value;
        }
    }
    if (!ok) {
        return false;
    }
    out[written] = 0;
    *count = written;
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
    for (std::size_t i = 0; i < length; ++i) {
        out[i] = kToHost[static_cast<unsigned char>(text[i])];
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
