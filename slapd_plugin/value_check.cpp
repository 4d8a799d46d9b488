#include "value_check.h"

#include <cstring>
#include <memory>
#include <vector>

#include "request.h"
#include "slapd_version.h"

namespace adminext {

namespace {

// slapd 2.5's Modifications record (one element of a modification list).
struct Modifications25 {
    void* description;  // AttributeDescription *, found from type by the check
    berval* values;     // BerVarray
    berval* normalized; // BerVarray, set by the check
    unsigned count;
    short operation;
    short flags;
    berval type;
    Modifications25* next;
};

constexpr std::size_t kTextSize = 256;  // SLAP_TEXT_BUFLEN
using ModsCheck = int (*)(void* operation, Modifications25* list, const char** text, char* textbuf,
                          std::size_t textlen, void* context);

ModsCheck mods_check()
{
    static const ModsCheck found = []() -> ModsCheck {
        if (!known_slapd_layout(running_slapd_version()))
            return nullptr;
        return reinterpret_cast<ModsCheck>(dlsym(RTLD_DEFAULT, "slap_mods_check"));
    }();
    return found;
}

// The check rewrites values (it replaces them by their pretty form, sorts
// them, adds normalised ones) with slapd's allocator, which is liblber's:
// the values are copied into liblber's memory and released with it.
class CheckedList {
public:
    explicit CheckedList(LDAPMod** modifications)
    {
        std::size_t count = 0;
        while (modifications[count] != nullptr)
            ++count;
        records_.list.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            records_.list.emplace_back();
            fill(records_.list.back(), *modifications[i]);
        }
        for (std::size_t i = 0; i + 1 < count; ++i)
            records_.list[i].next = &records_.list[i + 1];
    }
    Modifications25* head() { return records_.list.empty() ? nullptr : records_.list.data(); }

private:
    struct Records {
        Records() = default;
        Records(const Records&) = delete;
        Records& operator=(const Records&) = delete;
        ~Records()
        {
            for (Modifications25& record : list) {
                if (record.normalized != nullptr && record.normalized != record.values)
                    ber_bvarray_free(record.normalized);
                ber_bvarray_free(record.values);
            }
        }
        std::vector<Modifications25> list;
    };

    static void fill(Modifications25& record, const LDAPMod& mod)
    {
        record.operation = static_cast<short>(mod.mod_op & ~LDAP_MOD_BVALUES);
        record.type.bv_val = mod.mod_type;
        record.type.bv_len = std::strlen(mod.mod_type);
        std::size_t count = 0;
        while (mod.mod_bvalues != nullptr && mod.mod_bvalues[count] != nullptr)
            ++count;
        if (count == 0)
            return;
        // Zeroed: a list cut short by a failed copy still ends.
        record.values = static_cast<berval*>(ber_memcalloc(count + 1, sizeof(berval)));
        if (record.values == nullptr)
            throw std::bad_alloc();
        for (std::size_t i = 0; i < count; ++i)
            if (ber_dupbv(&record.values[i], mod.mod_bvalues[i]) == nullptr)
                throw std::bad_alloc();
        record.count = static_cast<unsigned>(count);
    }

    Records records_;
};

// Without slapd's check, at least what would be lost with success: slapd's
// internal operations pass over attribute types the schema does not know
// (an add would store the entry without them), where over the protocol slapd
// refuses the change whole with 17.
std::optional<ChangeResult> check_types(LDAPMod** modifications)
{
    // The name slapd answers is its own, not to be released.
    for (LDAPMod** mod = modifications; *mod != nullptr; ++mod)
        if (slapi_attr_syntax_normalize((*mod)->mod_type) == nullptr)
            return ChangeResult{code::kUndefinedAttributeType,
                                std::string((*mod)->mod_type) + ": attribute type undefined"};
    return std::nullopt;
}

}  // namespace

std::optional<ChangeResult> check_values(Slapi_PBlock* pb, LDAPMod** modifications)
{
    if (modifications == nullptr || *modifications == nullptr)
        return std::nullopt;
    ModsCheck check = mods_check();
    void* operation = get_pointer<void>(pb, SLAPI_OPERATION);
    if (check == nullptr || operation == nullptr)
        return check_types(modifications);
    CheckedList list(modifications);
    const char* text = nullptr;
    char buffer[kTextSize] = {};
    int rc = check(operation, list.head(), &text, buffer, sizeof buffer, nullptr);
    if (rc == 0)
        return std::nullopt;
    return ChangeResult{rc, text != nullptr ? std::string(text) : std::string()};
}

}  // namespace adminext
