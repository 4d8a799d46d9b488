// The event record layouts of tervane.h, each described once as its fields
// in wire order, for the one set of field readers (event_records.cpp).
#ifndef TERVANE_EVENT_LAYOUTS_H
#define TERVANE_EVENT_LAYOUTS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "exop_frame.h"
#include "tervane.h"

namespace tervane::layouts {

inline constexpr ber_tag_t kInteger = 0x02;

enum class Kind : std::uint8_t {
    integer,        // "i" into at[0]
    integers,       // one "ii", "iii" or "iiii" into at[0] .. at[count-1]
    text,           // string field with `tag`, at[0]
    counted,        // counted string with `tag`: at[0] length, at[1] data
    triple,         // "{iii}" into at[0], at[1], at[2]
    prefix,         // event_prefix pointer at[0]
    list,           // event_string_list at[0]
    data_position,  // layout 1: a non-empty OCTET STRING copied to at[0]; anything else skipped
    value_list,     // layout 6: at[0] count, at[1] event_counted_value array
    fixed_text,     // layout 7: char[count] at at[0], `minimum` to count-1 bytes
    integer_group,  // layout 3: the group's header, then up to `count` INTEGERs into int[] at[0]
    text_group,     // layout 3: the group's header, then up to `count` OCTET STRINGs into char*[] at[0]
    kind_union,     // layout 13: the value and data that its kind selects
    typed_values,   // layout 16: at[0] count, at[1] event_typed_value array
    inline_bytes,   // layout 8: the whole block, sized by the bytes it holds
};

struct Field {
    Kind kind;
    std::array<std::uint16_t, 4> at{};
    std::uint16_t count = 0;
    ber_tag_t tag = kOctetString;
    // Read only when the next tag is this one (0: always read).
    ber_tag_t only_if = 0;
    std::uint16_t minimum = 0;
    // Every failure of this field, an allocation failure included, gives 84.
    bool failure_is_decoding_error = false;
};

struct Layout {
    ber_tag_t tag;  // [APPLICATION n]: 0x60 + n
    std::size_t size;
    std::span<const Field> fields;
};

// The layout of a data tag ([APPLICATION n]: 0x60 + n); NULL for a tag that
// carries no record or none this library knows.
const Layout* find_layout(ber_tag_t tag);

// A member of a record, by offset.
template <class T>
inline T& member(std::byte* record, std::size_t offset)
{
    return *reinterpret_cast<T*>(record + offset);
}

}  // namespace tervane::layouts

#endif
