// Host text to and from UTF-8 and Windows-1252, and resource UTF-16 to host
// text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_conversion.h"

namespace {

const HostChar* chars(const std::u32string& text) { return reinterpret_cast<const HostChar*>(text.data()); }

using kandrel::text::EightBitBuffer;
using kandrel::text::HostTextBuffer;

std::string to_utf8(const std::u32string& host, bool* ok = nullptr)
{
    EightBitBuffer buffer;
    std::size_t length = 99;
    const char* out = kandrel::text::utf8_from_host(buffer, chars(host), host.size(), &length);
    if (ok != nullptr) {
        *ok = out != nullptr;
    }
    if (out == nullptr) {
        EXPECT_EQ(length, 0u);
        return {};
    }
    EXPECT_EQ(out[length], '\0');
    return std::string(out, length);
}

std::string to_code_page(const std::u32string& host)
{
    EightBitBuffer buffer;
    std::size_t length = 0;
    const char* out = kandrel::text::code_page_from_host(buffer, chars(host), host.size(), &length);
    return std::string(out, length);
}

std::u32string from_utf8(const std::string& bytes, bool* ok = nullptr)
{
    HostTextBuffer buffer;
    std::size_t count = 99;
    const HostChar* out = kandrel::text::host_from_utf8(buffer, bytes.data(), bytes.size(), &count);
    if (ok != nullptr) {
        *ok = out != nullptr;
    }
    if (out == nullptr) {
        EXPECT_EQ(count, 0u);
        return {};
    }
    EXPECT_EQ(out[count], 0u);
    return std::u32string(out, out + count);
}

TEST(HostToUtf8, AsciiAndMultiByteCharactersEncodeAsTheStandardSays)
{
    EXPECT_EQ(to_utf8(U"abc"), "abc");
    EXPECT_EQ(to_utf8(U"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(to_utf8(U"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(to_utf8(U"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(to_utf8(U""), "");
}

TEST(HostToUtf8, SurrogatesAndCodePointsBeyondUnicodeFail)
{
    bool ok = true;
    to_utf8(std::u32string(U"a") + char32_t{0xD800}, &ok);
    EXPECT_FALSE(ok);
    to_utf8(std::u32string(1, char32_t{0xDFFF}), &ok);
    EXPECT_FALSE(ok);
    to_utf8(std::u32string(U"x") + char32_t{0x110000} + U"y", &ok);
    EXPECT_FALSE(ok);
}

TEST(Utf8ToHost, WellFormedSequencesDecode)
{
    EXPECT_EQ(from_utf8("abc"), U"abc");
    EXPECT_EQ(from_utf8("\xE2\x82\xAC"), U"\u20AC");
    EXPECT_EQ(from_utf8("\xF0\x9F\x98\x80"), U"\U0001F600");
    EXPECT_EQ(from_utf8(std::string("a\0b", 3)), std::u32string(U"a\0b", 3));
}

TEST(Utf8ToHost, MalformedSequencesFailWhole)
{
    const std::vector<std::string> malformed = {
        "\xC0\x80",          // overlong NUL
        "\xC1\xBF",          // overlong
        "\xE0\x80\x80",      // overlong three-byte form
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF0\x80\x80\x80",  // overlong four-byte form
        "\xF0\x8F\xBF\xBF",  // overlong four-byte form of U+FFFF
        "\xF5\x80\x80\x80",  // lead byte above F4
        "\xF8\x88\x80\x80\x80",
        "\x80",              // lone continuation byte
        "ok\xE2\x82",        // truncated at the end
        "\xC3\x28",          // continuation byte missing
    };
    for (const std::string& bytes : malformed) {
        bool ok = true;
        from_utf8(bytes, &ok);
        EXPECT_FALSE(ok) << "accepted a malformed sequence of " << bytes.size() << " bytes";
    }
}

TEST(CodePage, HostToCodePageUsesWindows1252AndSpacesForTheRest)
{
    EXPECT_EQ(to_code_page(U"abc"), "abc");
    EXPECT_EQ(to_code_page(U"\u20AC"), "\x80");
    EXPECT_EQ(to_code_page(U"\u0178\u2122\u00FF\u00A0"), "\x9F\x99\xFF\xA0");
    EXPECT_EQ(to_code_page(U"\u0080"), " ");
    EXPECT_EQ(to_code_page(U"\u0100\U0001F600"), "  ");
    EXPECT_EQ(to_code_page(std::u32string(1, char32_t{0})), std::string(1, '\0'));
}

TEST(CodePage, EveryDefinedByteRoundTrips)
{
    for (unsigned byte = 0; byte < 256; ++byte) {
        const HostChar c = kandrel::text::code_page_character(static_cast<unsigned char>(byte));
        const bool undefined = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (undefined) {
            EXPECT_EQ(c, 0x20u) << byte;
        } else {
            EXPECT_EQ(kandrel::text::code_page_byte(c), byte) << byte;
        }
    }
    EXPECT_EQ(kandrel::text::code_page_character(0x9F), 0x178u);
}

TEST(CodePage, BytesToHostConvertEveryByteIncludingZero)
{
    HostTextBuffer buffer;
    std::size_t count = 0;
    const char bytes[] = {'a', '\0', '\x80', '\x81'};
    const HostChar* out = kandrel::text::host_from_code_page(buffer, bytes, 4, &count);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::u32string(out, out + count), std::u32string(U"a\0\u20AC ", 4));
    EXPECT_EQ(out[4], 0u);
}

TEST(WideToHost, SurrogatePairsCombineAndBrokenOnesEndTheText)
{
    HostChar out[8] = {};
    const char16_t pair[] = {u'a', 0xD83D, 0xDE00, u'b'};
    EXPECT_EQ(kandrel::text::host_from_wide(pair, 4, out, 8), 3u);
    EXPECT_EQ(out[1], 0x1F600u);
    const char16_t broken[] = {u'a', 0xD83D, 0x0041, u'b'};
    EXPECT_EQ(kandrel::text::host_from_wide(broken, 4, out, 8), 1u);
    const char16_t lone_low[] = {0xDC00, u'a'};
    EXPECT_EQ(kandrel::text::host_from_wide(lone_low, 2, out, 8), 0u);
    const char16_t high_at_end[] = {u'a', 0xD800};
    EXPECT_EQ(kandrel::text::host_from_wide(high_at_end, 2, out, 8), 1u);
    // The highest low half still pairs.
    const char16_t top[] = {0xD800, 0xDFFF, 0xDBFF, 0xDFFF};
    EXPECT_EQ(kandrel::text::host_from_wide(top, 4, out, 8), 2u);
    EXPECT_EQ(out[0], 0x103FFu);
    EXPECT_EQ(out[1], 0x10FFFFu);
    const char16_t plain[] = {u'a', u'b', u'c'};
    EXPECT_EQ(kandrel::text::host_from_wide(plain, 3, out, 2), 2u);
}

TEST(ConversionBuffer, StartsAt1024ElementsAndGrowsOnlyWhenNeeded)
{
    EightBitBuffer buffer;
    std::size_t length = 0;
    const std::u32string ten(10, U'x');
    kandrel::text::code_page_from_host(buffer, chars(ten), ten.size(), &length);
    EXPECT_EQ(buffer.capacity(), 1024u);
    const std::u32string more(2000, U'y');
    const char* out = kandrel::text::code_page_from_host(buffer, chars(more), more.size(), &length);
    EXPECT_EQ(buffer.capacity(), 2001u);
    EXPECT_EQ(std::string(out, length), std::string(2000, 'y'));
}

}  // namespace
