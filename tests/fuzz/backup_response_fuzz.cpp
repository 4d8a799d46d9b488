// Fuzzes the decoder of backup responses.
#include <cstdint>

#include "backup.h"
#include "library_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LibraryValue input(data, size);
    const berval& value = input.get();
    int length = 0;
    tervane::BackupResponse response;
    tervane::decode_backup_response(value, &length, response);
    return 0;
}
