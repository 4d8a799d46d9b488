// Fuzzes the decoder of replication-filter responses.
#include <cstdint>

#include "replication_filter.h"
#include "tervane.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    berval value{static_cast<ber_len_t>(size), reinterpret_cast<char*>(const_cast<std::uint8_t*>(data))};
    char* filter = nullptr;
    tervane::decode_replication_filter(value, &filter);
    tervane_memfree(filter);
    return 0;
}
