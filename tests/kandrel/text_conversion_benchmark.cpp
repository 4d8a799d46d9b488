// Host text conversion against glibc's iconv, in the three directions the
// component converts, on mostly-ASCII directory text and on text without any
// ASCII. Both sides convert the same text into an area they keep between
// iterations.
#include <string>
#include <vector>

#include "benchmark_pairs.h"
#include "iconv_converter.h"
#include "text_conversion.h"

namespace {

using HostText = std::vector<HostChar>;
namespace text = kandrel::text;

constexpr std::size_t kCharacters = 4096;

// Directory-like lines with a few accented names and a euro sign: about one
// character in forty is outside ASCII.
HostText mostly_ascii()
{
    const std::u32string lines[] = {
        U"cn=J\u00FCrgen M\u00FCller,ou=Entwicklung,o=Beispiel GmbH,c=DE\r",
        U"mail: jmueller@beispiel.example\r",
        U"description: Kostenstelle 4711, Budget 12.000 \u20AC\r",
        U"cn=Ana Mar\u00EDa Garc\u00EDa,ou=Ventas,o=Ejemplo S.A.,c=ES\r",
        U"telephoneNumber: +34 91 555 01 23\r",
        U"title: Directrice g\u00E9n\u00E9rale adjointe\r",
    };
    HostText out;
    for (std::size_t i = 0; out.size() < kCharacters; ++i) {
        const std::u32string& line = lines[i % std::size(lines)];
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(kCharacters);
    return out;
}

// Characters the code page holds, none of them ASCII: the Latin-1 letters
// and the code page's own characters above U+00FF.
HostText code_page_letters()
{
    const std::u32string specials = U"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152"
                                    U"\u017D\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A"
                                    U"\u0153\u017E\u0178";
    HostText out;
    for (std::size_t i = 0; out.size() < kCharacters; ++i) {
        out.push_back(i % 4 == 3 ? specials[(i / 4) % specials.size()] : static_cast<HostChar>(0xC0 + i % 64));
    }
    return out;
}

// Cyrillic, Greek, CJK and a few characters beyond the basic plane: UTF-8 of
// two, three and four bytes and no ASCII.
HostText no_ascii()
{
    const std::u32string words[] = {U"\u0418\u0432\u0430\u043D\u043E\u0432", U"\u0391\u03B8\u03AE\u03BD\u03B1",
                                    U"\u6771\u4EAC\u90FD", U"\U0001F600\U0001D11E", U"\u00E9\u00FE\u00E9"};
    HostText out;
    for (std::size_t i = 0; out.size() < kCharacters; ++i) {
        const std::u32string& word = words[i % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(kCharacters);
    return out;
}

std::string to_utf8(const HostText& host)
{
    text::EightBitBuffer buffer;
    std::size_t length = 0;
    const char* converted = text::utf8_from_host(buffer, host.data(), host.size(), &length);
    return converted != nullptr ? std::string(converted, length) : std::string();
}

void host_to_eight_bit(const std::string& row, const std::string& case_name, const HostText& input,
                       char* (*convert)(text::EightBitBuffer&, const HostChar*, std::size_t, std::size_t*),
                       const char* charset)
{
    benchpair::Options options;
    options.items = static_cast<double>(input.size());
    options.counting_factor = 4;
    benchpair::pair(
        row, case_name,
        [input, convert](benchmark::State& state) {
            text::EightBitBuffer buffer;
            std::size_t length = 0;
            for (auto _ : state) {
                benchmark::DoNotOptimize(convert(buffer, input.data(), input.size(), &length));
            }
        },
        [input, charset](benchmark::State& state) {
            IconvConverter converter(charset, kHostCharset);
            std::vector<char> out(4 * input.size() + 1);
            std::size_t written = 0;
            for (auto _ : state) {
                if (!converter.convert(input.data(), input.size() * sizeof(HostChar), out.data(), out.size(), &written)) {
                    state.SkipWithError("iconv failed");
                    break;
                }
                benchmark::DoNotOptimize(out.data());
            }
        },
        options);
}

void utf8_to_host(const std::string& case_name, const HostText& host)
{
    const std::string input = to_utf8(host);
    benchpair::Options options;
    options.items = static_cast<double>(host.size());
    options.counting_factor = 4;
    benchpair::pair(
        "host_from_utf8", case_name,
        [input](benchmark::State& state) {
            text::HostTextBuffer buffer;
            std::size_t count = 0;
            for (auto _ : state) {
                benchmark::DoNotOptimize(text::host_from_utf8(buffer, input.data(), input.size(), &count));
            }
        },
        [input](benchmark::State& state) {
            IconvConverter converter(kHostCharset, "UTF-8");
            std::vector<HostChar> out(input.size() + 1);
            std::size_t written = 0;
            for (auto _ : state) {
                if (!converter.convert(input.data(), input.size(), out.data(), out.size() * sizeof(HostChar), &written)) {
                    state.SkipWithError("iconv failed");
                    break;
                }
                benchmark::DoNotOptimize(out.data());
            }
        },
        options);
}

const bool registered = [] {
    host_to_eight_bit("code_page_from_host", "mostly_ascii", mostly_ascii(), text::code_page_from_host,
                      "WINDOWS-1252");
    host_to_eight_bit("code_page_from_host", "no_ascii", code_page_letters(), text::code_page_from_host,
                      "WINDOWS-1252");
    utf8_to_host("mostly_ascii", mostly_ascii());
    utf8_to_host("no_ascii", no_ascii());
    host_to_eight_bit("utf8_from_host", "mostly_ascii", mostly_ascii(), text::utf8_from_host, "UTF-8");
    host_to_eight_bit("utf8_from_host", "no_ascii", no_ascii(), text::utf8_from_host, "UTF-8");
    return true;
}();

}  // namespace
