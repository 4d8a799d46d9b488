// Fuzzes the decoder of replication-filter responses.
#include <cstdint>

#include "replication_filter.h"
#include "tervane.h"
#include "library_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LibraryValue input(data, size);
    const berval& value = input.get();
    char* filter = nullptr;
    tervane::decode_replication_filter(value, &filter);
    tervane_memfree(filter);
    return 0;
}
