// Fuzz target for the slapd plug-in's readers of client request values: the
// first byte picks the reader, the rest is the value. Whatever the bytes,
// the readers answer or refuse without reading outside them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bulk_values.h"
#include "event_values.h"
#include "ldif.h"
#include "names.h"
#include "values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string_view value(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 10) {
    case 0: (void)adminext::read_batch(value); break;
    case 1: (void)adminext::read_monitor_request(value, false); break;
    case 2: (void)adminext::read_monitor_request(value, true); break;
    case 3: (void)adminext::read_restore_request(value); break;
    case 4: (void)adminext::read_set_filter_request(value); break;
    case 5: (void)adminext::read_privileges_list_request(value); break;
    case 6: (void)adminext::read_run(value, "siis"); break;
    case 7: (void)adminext::read_ldif(value); break;
    case 8: (void)adminext::utf16be_to_utf8(value); break;
    default: (void)adminext::dns_to_dn(value); break;
    }
    return 0;
}
