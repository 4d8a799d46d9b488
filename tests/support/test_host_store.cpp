#include "test_host_store.h"

namespace testhost::detail {

Store& store()
{
    static Store instance;
    return instance;
}

ServiceHooks hooks;

namespace {

// The object of a handle in one of the store's maps; a handle that names
// none counts as bad.
template <class Map>
typename Map::mapped_type::pointer find_locked(Map& objects, typename Map::key_type handle)
{
    const auto found = objects.find(handle);
    if (found == objects.end()) {
        ++store().bad_handles;
        return nullptr;
    }
    return found->second.get();
}

// A new object under the store's next handle.
template <class Map>
typename Map::key_type add_locked(Map& objects)
{
    const typename Map::key_type handle = store().next++;
    objects.emplace(handle, std::make_unique<typename Map::mapped_type::element_type>());
    return handle;
}

}  // namespace

ValueObject* value_locked(HostValueHandle handle) { return find_locked(store().values, handle); }

ListObject* list_locked(HostListHandle handle) { return find_locked(store().lists, handle); }

HostValueHandle new_value_locked() { return add_locked(store().values); }

HostListHandle new_list_locked() { return add_locked(store().lists); }

void free_value_locked(HostValueHandle handle)
{
    Store& s = store();
    const auto found = s.values.find(handle);
    if (found == s.values.end()) {
        ++s.bad_handles;
        return;
    }
    const HostListHandle list = found->second->list;
    s.values.erase(found);
    if (list != 0) {
        free_list_locked(list);
    }
}

void free_list_locked(HostListHandle handle)
{
    Store& s = store();
    const auto found = s.lists.find(handle);
    if (found == s.lists.end()) {
        ++s.bad_handles;
        return;
    }
    std::unique_ptr<ListObject> list = std::move(found->second);
    s.lists.erase(found);
    for (const auto& row : list->rows) {
        for (const HostValueHandle cell : row) {
            free_value_locked(cell);
        }
    }
}

void clear_value(ValueObject& value)
{
    if (value.list != 0) {
        free_list_locked(value.list);
    }
    value = ValueObject{};
}

HostValueHandle copy_value_locked(HostValueHandle source)
{
    const HostValueHandle copy = new_value_locked();
    const ValueObject* from = value_locked(source);
    ValueObject* to = store().values[copy].get();
    if (from != nullptr) {
        to->type = from->type;
        to->text = from->text;
        to->integer = from->integer;
        to->binary = from->binary;
        to->list = from->list != 0 ? copy_list_locked(from->list) : 0;
    }
    return copy;
}

HostListHandle copy_list_locked(HostListHandle source)
{
    const ListObject* from = list_locked(source);
    const HostListHandle copy = new_list_locked();
    if (from != nullptr) {
        const auto rows = from->rows;  // stable while cells are copied
        for (const auto& row : rows) {
            std::vector<HostValueHandle> cells;
            for (const HostValueHandle cell : row) {
                cells.push_back(copy_value_locked(cell));
            }
            store().lists[copy]->rows.push_back(std::move(cells));
        }
    }
    return copy;
}

Snapshot snapshot_locked(HostValueHandle handle)
{
    Snapshot shot;
    const ValueObject* value = value_locked(handle);
    if (value == nullptr) {
        return shot;
    }
    shot.type = value->type;
    shot.text = value->text;
    shot.integer = value->integer;
    shot.binary = value->binary;
    if (value->list != 0) {
        if (const ListObject* list = list_locked(value->list)) {
            for (const auto& row : list->rows) {
                std::vector<Snapshot> cells;
                for (const HostValueHandle cell : row) {
                    cells.push_back(snapshot_locked(cell));
                }
                shot.rows.push_back(std::move(cells));
            }
        }
    }
    return shot;
}

std::u32string decimal_text(std::int32_t value)
{
    const std::string digits = std::to_string(value);
    return std::u32string(digits.begin(), digits.end());
}

}  // namespace testhost::detail
