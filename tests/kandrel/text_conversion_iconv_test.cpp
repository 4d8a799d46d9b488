// The host text conversions against glibc's iconv, whose UTF-8, UTF-32 and
// Windows-1252 converters are strict in the same way: every code page
// character and byte, and random valid and invalid texts in the two UTF-8
// directions. A text converts exactly when iconv converts all of it, and then
// to the same bytes or characters.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "iconv_converter.h"
#include "text_conversion.h"

namespace {

namespace text = kandrel::text;
using HostText = std::vector<HostChar>;

std::string hex(const void* data, std::size_t bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned byte = static_cast<const unsigned char*>(data)[i];
        out += digits[byte >> 4];
        out += digits[byte & 15];
        out += ' ';
    }
    return out;
}

// Host texts of up to 40 characters, long enough to cross the converters'
// groups of eight: mostly ASCII, letters of every UTF-8 length, and now and
// then a surrogate or a value beyond Unicode.
HostText random_host_text(std::mt19937& random)
{
    static constexpr HostChar kEdges[] = {0x7F,   0x80,   0x7FF,   0x800,    0xD7FF,   0xD800,
                                          0xDBFF, 0xDC00, 0xDFFF,  0xE000,   0xFFFF,   0x10000,
                                          0x10FFFF, 0x110000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    HostText out(random() % 41);
    for (HostChar& c : out) {
        switch (random() % 17) {
        case 16: c = random() % 8 == 0 ? kEdges[random() % std::size(kEdges)] : 0x41; break;
        case 0: c = 0x80 + random() % 0x780; break;
        case 1: c = 0x800 + random() % 0xF800; break;
        case 2: c = 0x10000 + random() % 0x100000; break;
        case 3: c = random() % 64 == 0 ? 0xD800 + random() % 0x800 : 0x20AC; break;
        case 4: c = random() % 64 == 0 ? 0x110000 + random() % 0x1000 : 0x00E9; break;
        case 5: c = random() % 256 == 0 ? random() : 0x2122; break;
        default: c = random() % 0x80;
        }
    }
    return out;
}

// UTF-8 texts: valid text with a few bytes changed, inserted or cut off, and
// plain random bytes.
std::string random_utf8_text(std::mt19937& random)
{
    text::EightBitBuffer buffer;
    const char* valid = nullptr;
    std::size_t length = 0;
    while (valid == nullptr) {
        const HostText host = random_host_text(random);
        valid = text::utf8_from_host(buffer, host.data(), host.size(), &length);
    }
    std::string bytes(valid, length);
    switch (random() % 4) {
    case 0:
        return bytes;
    case 1:
        for (unsigned n = 1 + random() % 3; n > 0 && !bytes.empty(); --n) {
            bytes[random() % bytes.size()] = static_cast<char>(random());
        }
        return bytes;
    case 2:
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(random() % (bytes.size() + 1)),
                     static_cast<char>(0x80 + random() % 0x80));
        return bytes.substr(0, bytes.size() - random() % 3 * (bytes.size() > 2));
    default:
        std::string noise(random() % 24, '\0');
        for (char& byte : noise) {
            byte = static_cast<char>(random() % 3 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        }
        return noise;
    }
}

constexpr int kRandomTexts = 20000;

TEST(TextConversionAgainstIconv, EveryCharacterMapsToTheCodePageAsIconvMapsItOrToASpace)
{
    IconvConverter to_code_page("WINDOWS-1252", kHostCharset);
    ASSERT_TRUE(to_code_page.open());
    for (HostChar c = 0; c <= 0x110000; ++c) {
        // iconv drops the tag characters U+E0000 to U+E007F without a byte.
        const auto expected = to_code_page(&c, sizeof c);
        const unsigned char want = expected && expected->size() == 1 ? static_cast<unsigned char>((*expected)[0]) : 0x20;
        ASSERT_EQ(text::code_page_byte(c), want) << "character " << std::hex << c;
    }
    EXPECT_EQ(text::code_page_byte(0xFFFFFFFFu), 0x20);
}

TEST(TextConversionAgainstIconv, EveryCodePageByteReadsAsIconvReadsItOrAsASpace)
{
    IconvConverter from_code_page(kHostCharset, "WINDOWS-1252");
    ASSERT_TRUE(from_code_page.open());
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char b = static_cast<char>(byte);
        const auto expected = from_code_page(&b, 1);
        HostChar want = 0x20;
        if (expected) {
            std::memcpy(&want, expected->data(), sizeof want);
        }
        EXPECT_EQ(text::code_page_character(static_cast<unsigned char>(byte)), want) << "byte " << byte;
        all += b;
    }
    // The whole table at once, through the groups of eight.
    text::HostTextBuffer buffer;
    std::size_t count = 0;
    const HostChar* converted = text::host_from_code_page(buffer, all.data(), all.size(), &count);
    ASSERT_EQ(count, 256u);
    for (unsigned byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(converted[byte], text::code_page_character(static_cast<unsigned char>(byte)));
    }
}

TEST(TextConversionAgainstIconv, RandomHostTextsConvertToTheCodePageCharacterByCharacter)
{
    std::mt19937 random(20240611);
    text::EightBitBuffer buffer;
    for (int n = 0; n < kRandomTexts; ++n) {
        const HostText host = random_host_text(random);
        std::size_t length = 99;
        const char* converted = text::code_page_from_host(buffer, host.data(), host.size(), &length);
        ASSERT_NE(converted, nullptr);
        ASSERT_EQ(length, host.size());
        for (std::size_t i = 0; i < host.size(); ++i) {
            ASSERT_EQ(static_cast<unsigned char>(converted[i]), text::code_page_byte(host[i]))
                << "text " << n << " character " << i;
        }
        ASSERT_EQ(converted[length], '\0');
    }
}

TEST(TextConversionAgainstIconv, RandomHostTextsConvertToUtf8ExactlyWhenIconvDoes)
{
    IconvConverter to_utf8("UTF-8", kHostCharset);
    ASSERT_TRUE(to_utf8.open());
    std::mt19937 random(7);
    text::EightBitBuffer buffer;
    int failures = 0;
    for (int n = 0; n < kRandomTexts; ++n) {
        const HostText host = random_host_text(random);
        const auto expected = to_utf8(host.data(), host.size() * sizeof(HostChar));
        std::size_t length = 99;
        const char* converted = text::utf8_from_host(buffer, host.data(), host.size(), &length);
        ASSERT_EQ(converted != nullptr, expected.has_value()) << hex(host.data(), host.size() * sizeof(HostChar));
        if (converted == nullptr) {
            ASSERT_EQ(length, 0u);
            ++failures;
            continue;
        }
        ASSERT_EQ(std::string(converted, length), *expected) << hex(host.data(), host.size() * sizeof(HostChar));
        ASSERT_EQ(converted[length], '\0');
    }
    // Both outcomes were tried often.
    EXPECT_GT(failures, kRandomTexts / 50);
    EXPECT_LT(failures, kRandomTexts / 2);
}

TEST(TextConversionAgainstIconv, RandomUtf8TextsConvertToHostTextExactlyWhenIconvDoes)
{
    IconvConverter from_utf8(kHostCharset, "UTF-8");
    ASSERT_TRUE(from_utf8.open());
    std::mt19937 random(11);
    text::HostTextBuffer buffer;
    int failures = 0;
    for (int n = 0; n < 4 * kRandomTexts; ++n) {
        const std::string bytes = random_utf8_text(random);
        const auto expected = from_utf8(bytes.data(), bytes.size());
        std::size_t count = 99;
        const HostChar* converted = text::host_from_utf8(buffer, bytes.data(), bytes.size(), &count);
        ASSERT_EQ(converted != nullptr, expected.has_value()) << hex(bytes.data(), bytes.size());
        if (converted == nullptr) {
            ASSERT_EQ(count, 0u);
            ++failures;
            continue;
        }
        ASSERT_EQ(count * sizeof(HostChar), expected->size()) << hex(bytes.data(), bytes.size());
        ASSERT_EQ(std::memcmp(converted, expected->data(), expected->size()), 0) << hex(bytes.data(), bytes.size());
        ASSERT_EQ(converted[count], 0u);
    }
    EXPECT_GT(failures, kRandomTexts / 5);
    EXPECT_LT(failures, 3 * kRandomTexts);
}

}  // namespace
