// Event records as JSON: every layout's fields by their names in tervane.h.
#ifndef CLI_EVENT_FIELDS_H
#define CLI_EVENT_FIELDS_H

#include "output.h"
#include "tervane.h"

namespace cli {

// The fields of the record of data type data_type (1 to 29), or null when
// that data type carries no record.
Json event_record_json(int data_type, const event_record& record);

// Whether data_type has a record layout.
bool has_record_layout(int data_type);

}  // namespace cli

#endif
