// Fuzzes the four collection methods ($add_att, $set_att, $get_att and
// $get_att_array_item) through LDAPWndProc, as a host program calls them, on
// a session object in UTF-8 and one in the code page.
//
// Input: byte 0 chooses the method, the object and whether the texts are
// made of one character per byte or of four bytes per character (which
// reaches surrogates and values beyond Unicode); bytes 1 and 2 are the
// lengths of Name and Value (or Index, a signed byte), the rest is the
// Collection. Every call must answer as its method may, release every value
// it made, leave a refused Collection as it was, and a name and value set on
// an empty collection must read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_interface.h"
#include "fuzz_text.h"
#include "test_host.h"

extern "C" HostAnswer HOST_CALL LDAPWndProc(HostWindow window, std::uint32_t message, HostWParam wparam,
                                           HostLParam lparam, HostCallInfo* call);

namespace {

using testhost::Arg;

constexpr std::int32_t kAddAtt = 2031;
constexpr std::int32_t kSetAtt = 2032;
constexpr std::int32_t kGetAtt = 2033;
constexpr std::int32_t kGetAttArrayItem = 2034;
constexpr std::int32_t kUtf8Property = 2101;
constexpr HostAnswer kRefused = -102;
constexpr HostLParam kUtf8Object = 1;
constexpr HostLParam kCodePageObject = 2;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The two objects live for the whole run and are deleted at exit: the
// component abandons objects still registered when it is unloaded.
class Objects {
public:
    Objects() : host_(component_)
    {
        host_.create(kUtf8Object);
        host_.create(kCodePageObject);
        host_.set_property(kCodePageObject, kUtf8Property, Arg::boolean(false));
    }
    ~Objects()
    {
        host_.destroy(kUtf8Object);
        host_.destroy(kCodePageObject);
    }
    testhost::TestHost& host() { return host_; }

private:
    testhost::Component component_{&LDAPWndProc};
    testhost::TestHost host_;
};

testhost::TestHost& host()
{
    static Objects objects;
    return objects.host();
}

// Whether the text form carries the item (name, value) unchanged: a name
// without colons, line breaks or leading blanks, a value without line breaks
// or leading blanks, both short of the line limit and, for the code page,
// within it.
bool survives_text_form(const std::u32string& name, const std::u32string& value, bool utf8)
{
    const auto clean = [utf8](const std::u32string& text, bool is_name) {
        if (text.empty() || text.size() > 1000 || (text[0] >= 1 && text[0] <= 32)) {
            return false;
        }
        for (char32_t c : text) {
            const bool outside = utf8 ? (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF : c > 0xFF || (c >= 0x80 && c < 0xA0);
            if (c == 0 || c == '\r' || c == '\n' || (is_name && c == ':') || outside) {
                return false;
            }
        }
        return true;
    };
    return clean(name, true) && clean(value, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) {
        return 0;
    }
    testhost::TestHost& session = host();
    const std::size_t values_before = testhost::live_values();

    static constexpr std::int32_t kMethods[] = {kAddAtt, kSetAtt, kGetAtt, kGetAttArrayItem};
    const std::int32_t method = kMethods[data[0] % 4];
    const bool utf8 = (data[0] & 0x10) == 0;
    const bool wide = (data[0] & 0x20) != 0;
    const HostLParam object = utf8 ? kUtf8Object : kCodePageObject;
    const std::size_t rest = size - 3;
    const std::size_t name_bytes = data[1] < rest ? data[1] : rest;
    const std::size_t value_bytes = data[2] < rest - name_bytes ? data[2] : rest - name_bytes;
    const std::uint8_t* name_data = data + 3;
    const std::uint8_t* value_data = name_data + name_bytes;
    const std::u32string name = characters_of(name_data, name_bytes, wide);
    const std::u32string value = characters_of(value_data, value_bytes, wide);
    const std::u32string collection =
        characters_of(value_data + value_bytes, rest - name_bytes - value_bytes, wide);

    std::vector<Arg> params = {Arg::text(collection), Arg::text(name)};
    if (method == kGetAttArrayItem) {
        params.push_back(Arg::integer(static_cast<std::int8_t>(data[2])));
    } else if (method != kGetAtt) {
        params.push_back(Arg::text(value));
    }
    const testhost::Reply reply = session.call(object, method, params);
    check(reply.left_after_release == 0);
    if (method == kAddAtt || method == kSetAtt) {
        check(reply.answer == 0 || reply.answer == kRefused);
        if (reply.answer == kRefused) {
            check(!reply.changed.at(1) && reply.params.at(1).text == collection);
        }
        if (reply.answer == 0 && collection.empty() && survives_text_form(name, value, utf8)) {
            check(reply.result.has_value());
            const testhost::Reply read = session.call(object, kGetAtt, {Arg::text(reply.result->text), Arg::text(name)});
            check(read.answer == 1 && read.result.has_value() && read.result->text == value);
        }
    } else {
        check(reply.answer == 1 || reply.answer == kRefused);
    }
    check(testhost::live_values() == values_before);
    check(testhost::bad_handles() == 0);
    return 0;
}
