// Fuzz target: an event notification value decoded into its record, which is
// then released. The first byte chooses whether a record is asked for (bit 0
// set: only the two numbers); the rest is the value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "event_records.h"
#include "library_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    bool with_record = (data[0] & 1) == 0;
    const LibraryValue input(data + 1, size - 1);
    const berval& value = input.get();
    int type = 0, result = 0;
    event_record* record = nullptr;
    int rc = tervane::decode_event_notification(value, &type, &result, with_record ? &record : nullptr);
    // A failed decoding must hand out nothing.
    if (rc != 0 && record != nullptr)
        std::abort();
    ldap_event_free(record);
    return 0;
}
