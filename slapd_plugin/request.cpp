#include "request.h"

namespace adminext {

int get_int(Slapi_PBlock* pb, int parameter)
{
    int value = 0;
    slapi_pblock_get(pb, parameter, &value);
    return value;
}

const char* get_string(Slapi_PBlock* pb, int parameter) { return get_pointer<const char>(pb, parameter); }

Request::Request(Slapi_PBlock* pb) : pb_(pb)
{
    if (const berval* value = get_pointer<berval>(pb, SLAPI_EXT_OP_REQ_VALUE); value != nullptr) {
        has_value_ = true;
        if (value->bv_val != nullptr)
            value_ = std::string_view(value->bv_val, value->bv_len);
    }
    if (const char* dn = get_string(pb, SLAPI_REQUESTOR_DN); dn != nullptr)
        requestor_ = dn;
}

bool Request::abandoned() const { return slapi_op_abandoned(pb_) != 0; }

}  // namespace adminext
