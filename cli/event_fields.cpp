#include "event_fields.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <vector>

namespace cli {
namespace {

// How a field is stored in its record.
enum class Kind {
    integer,          // int
    text,             // char *, NUL-terminated or NULL
    bytes,            // char * with its length in the int at `extra`
    inline_bytes,     // bytes stored in the record, length in the int at `extra`
    chars,            // char[extra], NUL-terminated
    prefix,           // event_prefix *
    list,             // event_string_list
    integers4,        // int[4]
    texts4,           // char *[4]
    counted_values,   // event_counted_value *, count in the int at `extra`
    typed_values,     // event_typed_value *, count in the int at `extra`
    record13_value,   // the value union of event_record_13, chosen by its kind
    time,             // int: seconds since 1970, shown as ISO 8601 UTC
};

struct Field {
    const char* name;
    Kind kind;
    std::size_t offset;
    std::size_t extra = 0;
};

struct Layout {
    int data_type;
    std::vector<Field> fields;
};

#define INT(r, f) Field{#f, Kind::integer, offsetof(event_record_##r, f)}
#define TEXT(r, f) Field{#f, Kind::text, offsetof(event_record_##r, f)}
#define PREFIX(r) Field{"prefix", Kind::prefix, offsetof(event_record_##r, prefix)}
#define LIST(r, f) Field{#f, Kind::list, offsetof(event_record_##r, f)}
#define BYTES(r, f, length) Field{#f, Kind::bytes, offsetof(event_record_##r, f), offsetof(event_record_##r, length)}
// A record's time stamp: when (triple1), its sequence number (triple2) and
// a third number.
#define TRIPLE(r)                                                                              \
    Field{"time", Kind::time, offsetof(event_record_##r, triple1)},                            \
        Field{"sequence", Kind::integer, offsetof(event_record_##r, triple2)}, INT(r, triple3)

const std::vector<Layout>& layouts()
{
    static const std::vector<Layout> all = {
        {1, {TEXT(1, text1), TEXT(1, text2), TEXT(1, text3), INT(1, number1), INT(1, number2), TRIPLE(1),
             TEXT(1, data)}},
        {2, {INT(2, number1), TEXT(2, text1), TEXT(2, text2), TEXT(2, text3), TEXT(2, text4), TEXT(2, text5),
             TRIPLE(2), INT(2, length), BYTES(2, data, length)}},
        {3, {INT(3, number1), INT(3, number2), INT(3, number3), INT(3, number4), TEXT(3, text),
             Field{"values", Kind::integers4, offsetof(event_record_3, values)},
             Field{"strings", Kind::texts4, offsetof(event_record_3, strings)}}},
        {5, {TEXT(5, text1), INT(5, number1), INT(5, number2), INT(5, number3), TEXT(5, text2)}},
        {6, {TEXT(6, text1), INT(6, number1), TEXT(6, text2), INT(6, count),
             Field{"values", Kind::counted_values, offsetof(event_record_6, values), offsetof(event_record_6, count)}}},
        {7, {TEXT(7, text1), INT(7, number1), TEXT(7, text2),
             Field{"short_text", Kind::chars, offsetof(event_record_7, short_text), 32},
             Field{"long_text", Kind::chars, offsetof(event_record_7, long_text), 128}}},
        {8, {INT(8, value), INT(8, length),
             Field{"data", Kind::inline_bytes, offsetof(event_record_8, data), offsetof(event_record_8, length)}}},
        {9, {TEXT(9, text1), INT(9, number1), INT(9, number2), TEXT(9, text2)}},
        {12, {INT(12, number1), INT(12, number2), INT(12, number3), INT(12, length), BYTES(12, data, length),
              TEXT(12, text1), TEXT(12, text2)}},
        {13, {INT(13, kind), TEXT(13, text), Field{"value", Kind::record13_value, offsetof(event_record_13, value)}}},
        {15, {INT(15, number1), TEXT(15, text1), TEXT(15, text2), TEXT(15, text3), TEXT(15, text4), TEXT(15, text5),
              TEXT(15, text6)}},
        {16, {INT(16, number1), INT(16, number2), TEXT(16, text1), TEXT(16, text2), INT(16, number3), INT(16, count),
              Field{"values", Kind::typed_values, offsetof(event_record_16, values), offsetof(event_record_16, count)}}},
        {17, {PREFIX(17), INT(17, number1), INT(17, number2), TEXT(17, text1), INT(17, number3), TEXT(17, text2),
              LIST(17, list), INT(17, number4)}},
        {18, {INT(18, number1), INT(18, number2), TEXT(18, text1)}},
        {19, {PREFIX(19), INT(19, number1), INT(19, number2), TEXT(19, text1), TEXT(19, text2), INT(19, number3),
              TEXT(19, text3), LIST(19, list1), LIST(19, list2), INT(19, number4)}},
        {20, {PREFIX(20), INT(20, number1), INT(20, number2), TEXT(20, text1), TEXT(20, text2), LIST(20, list),
              INT(20, number3)}},
        {21, {PREFIX(21), INT(21, number1), INT(21, number2), INT(21, number3), TEXT(21, text1), TEXT(21, text2),
              TEXT(21, text3), LIST(21, list), INT(21, number4)}},
        {22, {PREFIX(22), INT(22, number1), INT(22, number2), TEXT(22, text1), TEXT(22, text2), TEXT(22, text3),
              TEXT(22, text4), TEXT(22, text5), INT(22, number3)}},
        {23, {PREFIX(23), INT(23, number1), INT(23, number2), TEXT(23, text1), TEXT(23, text2), TEXT(23, text3),
              TEXT(23, text4), LIST(23, list), INT(23, number3)}},
        {24, {PREFIX(24), INT(24, number1), INT(24, number2), INT(24, number3), TEXT(24, text1), INT(24, number4)}},
        {25, {PREFIX(25), INT(25, number1), INT(25, number2), INT(25, number3), TEXT(25, text1), TEXT(25, text2),
              INT(25, number4)}},
        {26, {PREFIX(26), INT(26, number1), INT(26, number2), INT(26, number3), TEXT(26, text1), TEXT(26, text2),
              TEXT(26, text3), TEXT(26, text4), TEXT(26, text5), TEXT(26, text6), INT(26, number4)}},
        {27, {PREFIX(27), INT(27, number1), INT(27, number2), INT(27, number3), INT(27, number4), TEXT(27, text1),
              LIST(27, list)}},
        {28, {PREFIX(28), INT(28, number1), INT(28, number2), TEXT(28, text1), TEXT(28, text2), INT(28, number3),
              INT(28, number4)}},
        {29, {INT(29, number1), TEXT(29, text1)}},
    };
    return all;
}

#undef INT
#undef TEXT
#undef PREFIX
#undef LIST
#undef BYTES
#undef TRIPLE

template <typename T>
T read(const std::byte* base, std::size_t offset)
{
    T value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

Json counted(const char* data, int length)
{
    if (data == nullptr || length <= 0)
        return Json();
    return bytes_value(data, static_cast<std::size_t>(length));
}

Json list_json(event_string_list list)
{
    if (list == nullptr)
        return Json();
    Json values = Json::array();
    for (char** item = list; *item != nullptr; ++item)
        values.push_back(text_value(*item));
    return values;
}

// event_typed_value: the slots its kind fills, by name.
Json typed_value_json(const event_typed_value& value)
{
    Json entry{{"kind", value.kind}};
    switch (value.kind) {
    case 1:
    case 4: entry["value1"] = value.value1.number; break;
    case 2: entry["value1"] = text_value(value.value1.text); break;
    case 3:
        entry["length"] = value.value1.number;
        entry["data"] = counted(value.value2.text, value.value1.number);
        break;
    case 5:
        entry["value1"] = value.value1.number;
        entry["length"] = value.value2.number;
        entry["data"] = counted(value.value3.text, value.value2.number);
        break;
    case 6:
        entry["value1"] = value.value1.number;
        entry["value2"] = value.value2.number;
        entry["value3"] = value.value3.number;
        break;
    case 7: {
        Json triples = Json::array();
        for (int i = 0; value.value2.triples != nullptr && i < value.value1.number; ++i) {
            const event_triple& t = value.value2.triples[i];
            triples.push_back(Json::array({t.triple1, t.triple2, t.triple3}));
        }
        entry["count"] = value.value1.number;
        entry["triples"] = triples;
        break;
    }
    default: break;
    }
    return entry;
}

Json field_json(const Field& field, const std::byte* base)
{
    switch (field.kind) {
    case Kind::integer: return read<int>(base, field.offset);
    case Kind::time: {
        auto seconds = static_cast<std::time_t>(read<int>(base, field.offset));
        std::tm utc{};
        char text[32];
        if (gmtime_r(&seconds, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
            return read<int>(base, field.offset);
        return text;
    }
    case Kind::text: return text_value(read<char*>(base, field.offset));
    case Kind::bytes: return counted(read<char*>(base, field.offset), read<int>(base, field.extra));
    case Kind::inline_bytes:
        return bytes_value(reinterpret_cast<const char*>(base + field.offset),
                           static_cast<std::size_t>(std::max(0, read<int>(base, field.extra))));
    case Kind::chars: {
        auto chars = reinterpret_cast<const char*>(base + field.offset);
        return bytes_value(chars, strnlen(chars, field.extra));
    }
    case Kind::prefix: {
        auto prefix = read<event_prefix*>(base, field.offset);
        if (prefix == nullptr)
            return Json();
        return Json{{"number1", prefix->number1}, {"number2", prefix->number2}, {"text", text_value(prefix->text)}};
    }
    case Kind::list: return list_json(read<event_string_list>(base, field.offset));
    case Kind::integers4: {
        Json values = Json::array();
        for (std::size_t i = 0; i < 4; ++i)
            values.push_back(read<int>(base, field.offset + i * sizeof(int)));
        return values;
    }
    case Kind::texts4: {
        Json values = Json::array();
        for (std::size_t i = 0; i < 4; ++i)
            values.push_back(text_value(read<char*>(base, field.offset + i * sizeof(char*))));
        return values;
    }
    case Kind::counted_values: {
        auto values = read<event_counted_value*>(base, field.offset);
        int count = read<int>(base, field.extra);
        Json entries = Json::array();
        for (int i = 0; values != nullptr && i < count; ++i)
            entries.push_back(Json{{"type", values[i].type},
                                   {"length", values[i].length},
                                   {"data", counted(values[i].data, values[i].length)}});
        return entries;
    }
    case Kind::typed_values: {
        auto values = read<event_typed_value*>(base, field.offset);
        int count = read<int>(base, field.extra);
        Json entries = Json::array();
        for (int i = 0; values != nullptr && i < count; ++i)
            entries.push_back(typed_value_json(values[i]));
        return entries;
    }
    case Kind::record13_value: {
        auto record = reinterpret_cast<const event_record_13*>(base);
        switch (record->kind) {
        case 2:
        case 5: return Json{{"number", record->value.number}};
        case 1: return Json{{"length", record->value.length}, {"data", counted(record->data, record->value.length)}};
        case 3: return Json{{"text", text_value(record->value.text)}};
        default: return Json();
        }
    }
    }
    return Json();
}

const Layout* find_layout(int data_type)
{
    for (const Layout& layout : layouts())
        if (layout.data_type == data_type)
            return &layout;
    return nullptr;
}

}  // namespace

bool has_record_layout(int data_type) { return find_layout(data_type) != nullptr; }

Json event_record_json(int data_type, const event_record& record)
{
    const Layout* layout = find_layout(data_type);
    if (layout == nullptr)
        return Json();
    auto base = reinterpret_cast<const std::byte*>(&record);
    Json fields = Json::object();
    for (const Field& field : layout->fields)
        fields[field.name] = field_json(field, base);
    return fields;
}

}  // namespace cli
