// Fuzzes the decoder of backup responses.
#include <cstdint>

#include "backup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    berval value{static_cast<ber_len_t>(size), reinterpret_cast<char*>(const_cast<std::uint8_t*>(data))};
    int length = 0;
    tervane::BackupResponse response;
    tervane::decode_backup_response(value, &length, response);
    return 0;
}
