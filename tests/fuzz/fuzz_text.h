// Host text from fuzz input: one character per byte, or four bytes per
// character (which reaches surrogates and values beyond Unicode).
#ifndef TESTS_FUZZ_FUZZ_TEXT_H
#define TESTS_FUZZ_FUZZ_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

inline std::u32string characters_of(const std::uint8_t* data, std::size_t size, bool wide)
{
    std::u32string text;
    if (wide) {
        for (std::size_t i = 0; i + 4 <= size; i += 4) {
            char32_t c;
            std::memcpy(&c, data + i, sizeof c);
            text += c;
        }
    } else {
        for (std::size_t i = 0; i < size; ++i) {
            text += static_cast<char32_t>(data[i]);
        }
    }
    return text;
}

#endif
