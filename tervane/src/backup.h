// Decoding of backup responses, apart from the exchange so that tests and
// fuzzing can drive it over plain bytes.
#ifndef TERVANE_BACKUP_H
#define TERVANE_BACKUP_H

#include "exop_frame.h"
#include "memory.h"

namespace tervane {

struct BackupResponse {
    int state1 = 0;
    int state2 = 0;
    Owned<char> data;       // *data_length bytes
    Owned<char> size_list;  // "count;size;...;"
};

// Decodes a backup response value. The announced length is stored in
// *data_length as soon as it is read (also when decoding fails later); an
// object data string shorter than announced is refused with 84. 84 for a value
// that does not decode, 90 when memory is short; on failure nothing stays
// allocated in response.
int decode_backup_response(const berval& value, int* data_length, BackupResponse& response);

}  // namespace tervane

#endif
