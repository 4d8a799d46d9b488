// Fuzzes the decoder of the server's answer to a bulk-update operation
// request.
#include <cstdint>
#include <cstring>

#include "extended_result.h"
#include "tervane.h"
#include "library_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LibraryValue input(data, size);
    const berval& value = input.get();
    int count = -1;
    lburp_operation_result* results = nullptr;
    int rc = tervane::decode_operation_response(value, &count, &results);
    if (rc != 0 && (results != nullptr || count != 0))
        __builtin_trap();  // a failed decode must hand nothing out
    if (rc == 0) {
        // Every counted message is a string, and the spare entry is there.
        for (int i = 0; i < count; ++i)
            (void)std::strlen(results[i].error_message);
        if (results[count].error_message != nullptr)
            __builtin_trap();
    }
    tervane::release_operation_results(results, count);
    return 0;
}
