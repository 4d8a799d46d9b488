// The open-addressed slots under the registry and the token table, driven by
// keys whose hashes collide and wrap around the end of the array, where a
// backward shift that moves an entry past its home would lose it.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>

#include "open_slots.h"

namespace {

struct Entry {
    std::uint32_t key = 0;  // 0: free
    std::uint32_t value = 0;
};

// Hashes chosen per case: the table sees only what hash() answers.
std::uint64_t (*hash_of)(std::uint32_t key) = nullptr;

struct Policy {
    static bool occupied(const Entry& entry) noexcept { return entry.key != 0; }
    static std::uint64_t hash(const Entry& entry) noexcept { return hash_of(entry.key); }
};

// The same keys placed as a counter's: in order, every other slot.
struct CountedPolicy : Policy {
    static constexpr bool kInOrder = true;
};

template <class Slots>
Entry* find(Slots& slots, std::uint32_t key)
{
    return slots.find(hash_of(key), [key](const Entry& entry) { return entry.key == key; });
}

struct HashCase {
    const char* name;
    std::uint64_t (*hash)(std::uint32_t key);
};

void PrintTo(const HashCase& shape, std::ostream* out) { *out << shape.name; }

class OpenSlotsHashes : public testing::TestWithParam<HashCase> {};

template <class Slots>
void random_places_and_vacates_agree_with_a_map()
{
    Slots slots;
    std::map<std::uint32_t, std::uint32_t> expected;
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        const std::uint32_t key = 1 + random() % 300;
        Entry* entry = find(slots, key);
        ASSERT_EQ(entry != nullptr, expected.count(key) == 1) << "step " << step << ", key " << key;
        if (entry == nullptr) {
            slots.reserve_one();
            slots.place(Entry{key, key * 3});
            expected[key] = key * 3;
        } else {
            ASSERT_EQ(entry->value, expected[key]);
            if (random() % 2 == 0) {
                slots.vacate(entry);
                expected.erase(key);
            }
        }
        ASSERT_EQ(slots.size(), expected.size());
    }
    std::size_t visited = 0;
    slots.for_each([&](const Entry& entry) {
        ++visited;
        EXPECT_EQ(expected.at(entry.key), entry.value);
    });
    EXPECT_EQ(visited, expected.size());
}

TEST_P(OpenSlotsHashes, RandomPlacesAndVacatesAgreeWithAMap)
{
    hash_of = GetParam().hash;
    random_places_and_vacates_agree_with_a_map<kandrel::OpenSlots<Entry, Policy>>();
}

TEST_P(OpenSlotsHashes, CountedPlacesAndVacatesAgreeWithAMap)
{
    hash_of = GetParam().hash;
    random_places_and_vacates_agree_with_a_map<kandrel::OpenSlots<Entry, CountedPolicy>>();
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, OpenSlotsHashes,
    testing::Values(HashCase{"distinct", [](std::uint32_t key) -> std::uint64_t { return key; }},
                    // Eight keys share each hash: long runs of entries away from home.
                    HashCase{"clustered", [](std::uint32_t key) -> std::uint64_t { return key / 8; }},
                    // Every key has the same home: one run holds every entry.
                    HashCase{"one_home", [](std::uint32_t) -> std::uint64_t { return 0x5A5A; }}),
    [](const testing::TestParamInfo<HashCase>& info) { return std::string(info.param.name); });

}  // namespace
