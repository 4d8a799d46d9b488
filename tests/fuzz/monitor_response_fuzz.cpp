// Fuzzes the decoder of the server's answer to a monitor request.
#include <cstdint>

#include "extended_result.h"
#include "tervane.h"
#include "library_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LibraryValue input(data, size);
    const berval& value = input.get();
    int count = -1;
    event_spec* specs = nullptr;
    if (tervane::decode_monitor_response(value, &count, &specs) != 0 && (specs != nullptr || count != 0))
        __builtin_trap();  // a failed decode must hand nothing out
    for (int i = 0; i < count; ++i)
        (void)specs[i].event_type;  // every counted element is readable
    tervane_memfree(specs);
    return 0;
}
