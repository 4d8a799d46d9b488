// Fuzzes the component's host text conversions against glibc's iconv: the
// input read as UTF-8, as Windows-1252 and as host characters (four bytes
// each) must convert exactly when iconv converts it, to the same result; a
// code-page character iconv cannot map must become a space; and valid UTF-8
// must come back unchanged from host text. Any difference aborts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "iconv_converter.h"
#include "text_conversion.h"

namespace {

namespace text = kandrel::text;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void utf8_to_host(const char* bytes, std::size_t size)
{
    static IconvConverter to_host(kHostCharset, "UTF-8");
    check(to_host.open());
    text::HostTextBuffer buffer;
    std::size_t count = 0;
    const HostChar* converted = text::host_from_utf8(buffer, bytes, size, &count);
    const auto expected = to_host(bytes, size);
    check((converted != nullptr) == expected.has_value());
    if (converted == nullptr) {
        check(count == 0);
        return;
    }
    check(count * sizeof(HostChar) == expected->size());
    check(std::memcmp(converted, expected->data(), expected->size()) == 0);
    check(converted[count] == 0);

    // Valid UTF-8 survives the way back.
    text::EightBitBuffer back;
    std::size_t length = 0;
    const char* again = text::utf8_from_host(back, converted, count, &length);
    check(again != nullptr && length == size && std::memcmp(again, bytes, size) == 0);
}

void code_page_to_host(const char* bytes, std::size_t size)
{
    static IconvConverter to_host(kHostCharset, "WINDOWS-1252");
    check(to_host.open());
    text::HostTextBuffer buffer;
    std::size_t count = 0;
    const HostChar* converted = text::host_from_code_page(buffer, bytes, size, &count);
    check(converted != nullptr && count == size && converted[count] == 0);
    for (std::size_t i = 0; i < size; ++i) {
        const auto expected = to_host(bytes + i, 1);
        HostChar want = 0x20;  // bytes the code page leaves undefined
        if (expected) {
            std::memcpy(&want, expected->data(), sizeof want);
        }
        check(converted[i] == want);
    }
}

void host_to_eight_bit(const HostChar* characters, std::size_t count)
{
    static IconvConverter to_utf8("UTF-8", kHostCharset);
    static IconvConverter to_code_page("WINDOWS-1252", kHostCharset);
    check(to_utf8.open() && to_code_page.open());

    text::EightBitBuffer buffer;
    std::size_t length = 0;
    const char* converted = text::utf8_from_host(buffer, characters, count, &length);
    const auto expected = to_utf8(characters, count * sizeof(HostChar));
    check((converted != nullptr) == expected.has_value());
    if (converted != nullptr) {
        check(std::string(converted, length) == *expected && converted[length] == '\0');
    } else {
        check(length == 0);
    }

    const char* page = text::code_page_from_host(buffer, characters, count, &length);
    check(page != nullptr && length == count && page[count] == '\0');
    for (std::size_t i = 0; i < count; ++i) {
        // iconv drops the tag characters U+E0000 to U+E007F without a byte.
        const auto byte = to_code_page(characters + i, sizeof(HostChar));
        const char want = byte && byte->size() == 1 ? (*byte)[0] : ' ';
        check(page[i] == want);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    utf8_to_host(bytes, size);
    code_page_to_host(bytes, size);
    std::vector<HostChar> characters(size / sizeof(HostChar));
    if (!characters.empty()) {
        std::memcpy(characters.data(), data, characters.size() * sizeof(HostChar));
    }
    host_to_eight_bit(characters.data(), characters.size());
    return 0;
}
