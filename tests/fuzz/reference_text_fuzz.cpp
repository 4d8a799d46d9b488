// Fuzzes the reading of reference texts from host parameters. The first
// byte chooses the kind asked for, the encoding and how the rest becomes host
// characters (one per byte, or four bytes each). Every read must agree with
// the reference format: the kind's prefix, then at most eight hexadecimal
// digits up to the first other character; a text UTF-8 cannot carry reads as
// absent in UTF-8. A token resolves only to a live object of a kind that reads
// as the one asked for, and every token read back from its own text is the
// same token. Any difference aborts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host_services.h"
#include "references.h"
#include "fuzz_text.h"
#include "test_host.h"

namespace {

namespace refs = kandrel::refs;
using refs::Kind;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// What the reference format says a text reads as: nothing (false) or a token.
bool model_read(const std::u32string& text, bool utf8, Kind kind, refs::Token& token)
{
    token = 0;
    if (text.empty() || text[0] == 0) {
        return true;
    }
    const char* wanted = refs::prefix(kind);
    if (text.size() < refs::kPrefixLength) {
        return false;
    }
    for (std::size_t i = 0; i < refs::kPrefixLength; ++i) {
        if (text[i] != static_cast<unsigned char>(wanted[i])) {
            return false;
        }
    }
    std::size_t i = refs::kPrefixLength;
    for (; i < text.size(); ++i) {
        const char32_t c = text[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) {
            break;
        }
        if (i - refs::kPrefixLength == 8) {
            return false;
        }
        token = token << 4 | static_cast<refs::Token>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (utf8) {
        for (; i < text.size(); ++i) {
            if ((text[i] >= 0xD800 && text[i] <= 0xDFFF) || text[i] > 0x10FFFF) {
                return false;
            }
        }
    }
    return true;
}

// Objects with tokens: sessions the table does not own, and a control list
// it owns and releases into released.
int session_objects[3];
int control_object;
int released;
void count_release(void*) noexcept { ++released; }

struct Live {
    refs::Token sessions[3];
};

const Live& live()
{
    static const Live objects = [] {
        testhost::Request request(testhost::TestHost::kSessionClass, 7, 0);
        kandrel::host::adopt_services(request.info());
        Live made{};
        for (int i = 0; i < 3; ++i) {
            made.sessions[i] = refs::mint(Kind::session, &session_objects[i]);
            check(made.sessions[i] != 0);
        }
        return made;
    }();
    return objects;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const Live& objects = live();
    const std::size_t tokens_before = refs::live_count();
    const refs::Token control = refs::mint_owned(Kind::controls, &control_object, count_release);
    check(control != 0);

    const Kind kind = static_cast<Kind>(data[0] % refs::kKindCount);
    const bool utf8 = (data[0] & 0x10) != 0;
    const std::u32string text = characters_of(data + 1, size - 1, (data[0] & 0x20) != 0);
    testhost::Request request(testhost::TestHost::kSessionClass, 7, 2000, {testhost::Arg::text(text)});

    refs::Token expected = 0;
    const bool readable = model_read(text, utf8, kind, expected);
    refs::Token token = 0;
    check(refs::read_token(request.info(), 1, utf8, kind, token) == readable);
    check(token == (readable ? expected : 0));

    refs::Pin pin;
    const bool resolved = refs::get_param(request.info(), 1, utf8, kind, pin);
    if (resolved && pin) {
        check(refs::readable_as(pin.kind(), kind) && pin.token() == token);
        bool ours = pin.get() == &control_object && token == control;
        for (int i = 0; i < 3; ++i) {
            ours = ours || (pin.get() == &session_objects[i] && token == objects.sessions[i]);
        }
        check(ours);
    } else if (resolved) {
        check(token == 0);
    }
    pin = refs::Pin();

    // Each live token reads back from its own text.
    for (const refs::Token own : {objects.sessions[data[0] % 3], control}) {
        const Kind own_kind = own == control ? Kind::controls : Kind::session;
        char formatted[32];
        refs::format(own_kind, own, formatted);
        check(std::strlen(formatted) == refs::kTextLength);
        testhost::Request back(testhost::TestHost::kSessionClass, 7, 2000, {testhost::Arg::utf8(formatted)});
        refs::Token read = 0;
        check(refs::read_token(back.info(), 1, utf8, own_kind, read) && read == own);
    }

    // Releasing the control list frees it once and leaves the table as it was.
    const int releases = released;
    check(refs::retire(Kind::controls, control));
    check(released == releases + 1);
    check(!refs::resolve(Kind::controls, control));
    check(refs::live_count() == tokens_before);
    return 0;
}
