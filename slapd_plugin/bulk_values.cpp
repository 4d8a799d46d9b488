#include "bulk_values.h"

#include "ber.h"

namespace adminext {

namespace {

constexpr std::uint8_t kControlsTag = 0xA0;
constexpr std::uint8_t kNewSuperiorTag = 0x80;
constexpr int kLastModificationOperation = 3;  // increment (RFC 4525)

// SEQUENCE { OCTET STRING type, SET OF OCTET STRING values }
bool read_attribute(BerReader& reader, Modification& modification)
{
    BerReader attribute;
    BerReader values;
    if (!reader.enter(attribute) || !attribute.octets(modification.type) || !attribute.enter(values, tag::kSet) ||
        !attribute.at_end() || modification.type.empty())
        return false;
    while (!values.at_end())
        if (!values.octets(modification.values.emplace_back()))
            return false;
    return true;
}

// add:    { OCTET STRING dn, SEQUENCE { attribute ... } }
// modify: { OCTET STRING dn, SEQUENCE { SEQUENCE { ENUMERATED operation,
//           attribute } ... } }
bool read_changes(BerReader& operation, Change& change)
{
    BerReader list;
    if (!operation.octets(change.dn) || !operation.enter(list) || !operation.at_end())
        return false;
    while (!list.at_end()) {
        Modification& modification = change.modifications.emplace_back();
        if (change.type == ChangeType::add) {
            if (!read_attribute(list, modification))
                return false;
            continue;
        }
        BerReader item;
        std::int32_t code = 0;
        if (!list.enter(item) || !item.enumerated(code) || code < 0 || code > kLastModificationOperation ||
            !read_attribute(item, modification) || !item.at_end())
            return false;
        modification.operation = code;
    }
    return true;
}

// { OCTET STRING dn, OCTET STRING new RDN, BOOLEAN delete old RDN, [0] new
// superior OPTIONAL }
bool read_rename(BerReader& operation, Change& change)
{
    if (!operation.octets(change.dn) || !operation.octets(change.new_rdn) ||
        !operation.boolean(change.delete_old_rdn) || change.new_rdn.empty())
        return false;
    if (operation.peek() == kNewSuperiorTag && !operation.octets(change.new_superior.emplace(), kNewSuperiorTag))
        return false;
    return operation.at_end();
}

// [0] { SEQUENCE { OCTET STRING oid, BOOLEAN critical OPTIONAL, OCTET STRING
// value OPTIONAL } ... }
bool read_controls(BerReader& element, Change& change)
{
    BerReader controls;
    if (!element.enter(controls, kControlsTag))
        return false;
    while (!controls.at_end()) {
        BerReader control;
        std::string oid;
        bool critical = false;
        std::string value;
        if (!controls.enter(control) || !control.octets(oid))
            return false;
        if (control.peek() == tag::kBoolean && !control.boolean(critical))
            return false;
        if (control.peek() == tag::kOctetString && !control.octets(value))
            return false;
        if (!control.at_end())
            return false;
        change.critical_control = change.critical_control || critical;
    }
    return true;
}

// SEQUENCE { protocol operation, [0] controls OPTIONAL }
void read_change(BerReader& element, Change& change)
{
    std::uint8_t operation_tag = 0;
    std::string_view contents;
    if (!element.element(operation_tag, contents)) {
        change.malformed = "the operation cannot be read";
        return;
    }
    change.type = static_cast<ChangeType>(operation_tag);
    BerReader operation(contents);
    bool read = false;
    switch (change.type) {
    case ChangeType::add:
    case ChangeType::modify:
        read = read_changes(operation, change);
        break;
    case ChangeType::remove:
        change.dn.assign(contents);
        read = true;
        break;
    case ChangeType::rename:
        read = read_rename(operation, change);
        break;
    default:
        change.malformed = "only add, delete, modify and rename operations can be part of a batch";
        return;
    }
    if (read && !element.at_end())
        read = read_controls(element, change) && element.at_end();
    if (!read)
        change.malformed = "the operation cannot be read";
}

}  // namespace

std::optional<std::string> read_start_request(std::string_view value)
{
    BerReader reader(value);
    BerReader sequence;
    std::string style;
    if (!reader.enter(sequence) || !reader.at_end() || !sequence.octets(style) || !sequence.at_end())
        return std::nullopt;
    return style;
}

std::string write_start_response(std::int32_t start_value)
{
    BerWriter writer;
    writer.open();
    writer.integer(start_value);
    writer.close();
    return writer.bytes();
}

std::optional<std::int32_t> read_end_request(std::string_view value)
{
    BerReader reader(value);
    BerReader sequence;
    std::int32_t number = 0;
    if (!reader.enter(sequence) || !reader.at_end() || !sequence.integer(number) || !sequence.at_end())
        return std::nullopt;
    return number;
}

std::optional<Batch> read_batch(std::string_view value)
{
    BerReader reader(value);
    BerReader batch_reader;
    Batch batch;
    if (!reader.enter(batch_reader) || !reader.at_end() || !batch_reader.integer(batch.sequence))
        return std::nullopt;
    while (!batch_reader.at_end()) {
        BerReader element;
        if (!batch_reader.enter(element))
            return std::nullopt;
        read_change(element, batch.changes.emplace_back());
    }
    return batch;
}

std::string write_results(const std::vector<ChangeResult>& results)
{
    BerWriter writer;
    std::int64_t number = 0;
    for (const ChangeResult& result : results) {
        writer.open();
        writer.integer(++number);
        writer.open();
        writer.integer(result.code);
        writer.octets("");
        writer.octets(result.message);
        writer.close();
        writer.close();
    }
    return writer.bytes();
}

ModList::ModList(const std::vector<Modification>& modifications)
{
    mods_.resize(modifications.size());
    values_.resize(modifications.size());
    value_pointers_.resize(modifications.size());
    for (std::size_t i = 0; i < modifications.size(); ++i) {
        const Modification& modification = modifications[i];
        for (const std::string& value : modification.values)
            values_[i].push_back(berval{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())});
        for (berval& value : values_[i])
            value_pointers_[i].push_back(&value);
        value_pointers_[i].push_back(nullptr);
        mods_[i].mod_op = modification.operation | LDAP_MOD_BVALUES;
        mods_[i].mod_type = const_cast<char*>(modification.type.c_str());
        mods_[i].mod_bvalues = value_pointers_[i].data();
        pointers_.push_back(&mods_[i]);
    }
    pointers_.push_back(nullptr);
}

}  // namespace adminext
