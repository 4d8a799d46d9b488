// Registry semantics: which object a (group key, instance) lookup finds, one
// entry per (group, instance), groups that come and go, and objects that
// outlive their removal while still in use.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "host_object.h"
#include "kandrel_test_support.h"
#include "registry.h"

namespace {

using kandrel::ObjectPtr;
using kandrel::Registry;

class Probe final : public kandrel::HostObject {
public:
    Probe(kandrel::Instance instance, int tag, bool* destroyed = nullptr)
        : HostObject(instance, 42), tag(tag), destroyed_(destroyed)
    {
    }
    ~Probe() override
    {
        if (destroyed_ != nullptr) {
            *destroyed_ = true;
        }
    }
    ObjectPtr clone(kandrel::Instance) const override { return nullptr; }
    void assign(const HostObject&) override {}
    HostAnswer call(HostCallInfo*) override { return 0; }
    HostAnswer property(std::uint32_t, HostCallInfo*, bool) override { return 0; }
    const int tag;

private:
    bool* destroyed_;
};

std::shared_ptr<Probe> probe(kandrel::Instance instance, int tag, bool* destroyed = nullptr)
{
    return std::make_shared<Probe>(instance, tag, destroyed);
}

int tag_of(const ObjectPtr& object) { return object ? static_cast<const Probe&>(*object).tag : 0; }

TEST(Registry, ExactKeysFindOnlyTheirGroupAndKeyZeroFindsAny)
{
    Registry registry;
    ASSERT_TRUE(registry.add(5, 100, probe(100, 1)));
    EXPECT_EQ(tag_of(registry.find(5, 100)), 1);
    EXPECT_EQ(tag_of(registry.find(0, 100)), 1);
    EXPECT_EQ(registry.find(6, 100), nullptr);
    EXPECT_EQ(registry.find(5, 101), nullptr);
}

TEST(Registry, OneEntryPerGroupAndInstanceTheFirstStays)
{
    Registry registry;
    ASSERT_TRUE(registry.add(5, 100, probe(100, 1)));
    EXPECT_FALSE(registry.add(5, 100, probe(100, 2)));
    EXPECT_EQ(tag_of(registry.find(5, 100)), 1);
    // Key 0 finds the object of group 5, so registering under 0 changes nothing.
    EXPECT_FALSE(registry.add(0, 100, probe(100, 3)));
    EXPECT_EQ(registry.size(), 1u);
}

TEST(Registry, KeyZeroFindsTheInstanceInTheMostRecentlyCreatedGroup)
{
    Registry registry;
    ASSERT_TRUE(registry.add(1, 7, probe(7, 1)));
    ASSERT_TRUE(registry.add(2, 8, probe(8, 99)));  // group 2 is created after group 1
    ASSERT_TRUE(registry.add(2, 7, probe(7, 2)));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 2);
    ASSERT_TRUE(registry.add(3, 7, probe(7, 3)));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 3);
    // Adding to an old group does not move that group to the front.
    ASSERT_TRUE(registry.add(1, 9, probe(9, 4)));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 3);
    EXPECT_EQ(tag_of(registry.find(1, 7)), 1);
}

TEST(Registry, RemovalTakesTheEntryLookupWouldFindAndEmptyGroupsGo)
{
    Registry registry;
    registry.add(1, 7, probe(7, 1));
    registry.add(2, 7, probe(7, 2));
    EXPECT_EQ(registry.group_count(), 2u);
    EXPECT_EQ(tag_of(registry.remove(0, 7)), 2);
    EXPECT_EQ(registry.group_count(), 1u);
    EXPECT_EQ(tag_of(registry.find(0, 7)), 1);
    EXPECT_EQ(registry.remove(2, 7), nullptr);
    // Group 2 comes back as the newest group, ahead of group 1.
    registry.add(2, 7, probe(7, 5));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 5);
    EXPECT_EQ(tag_of(registry.remove(1, 7)), 1);
    EXPECT_EQ(tag_of(registry.remove(2, 7)), 5);
    EXPECT_EQ(registry.size(), 0u);
    EXPECT_EQ(registry.group_count(), 0u);
}

TEST(Registry, GroupKeyZeroIsAlsoAnOrdinaryGroup)
{
    Registry registry;
    ASSERT_TRUE(registry.add(0, 7, probe(7, 1)));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 1);
    EXPECT_EQ(registry.find(4, 7), nullptr);
    ASSERT_TRUE(registry.add(4, 7, probe(7, 2)));
    EXPECT_EQ(tag_of(registry.find(0, 7)), 2);
}

TEST(Registry, ThousandsOfObjectsAreEachFoundUnderTheirOwnKeys)
{
    Registry registry;
    constexpr int kObjects = 5000;
    for (int i = 0; i < kObjects; ++i) {
        ASSERT_TRUE(registry.add(static_cast<std::uint32_t>(1 + i % 10), 1000 + i, probe(1000 + i, i + 1)));
    }
    for (int i = 0; i < kObjects; ++i) {
        ASSERT_EQ(tag_of(registry.find(static_cast<std::uint32_t>(1 + i % 10), 1000 + i)), i + 1);
        ASSERT_EQ(tag_of(registry.find(0, 1000 + i)), i + 1);
        ASSERT_EQ(registry.find(static_cast<std::uint32_t>(1 + (i + 1) % 10), 1000 + i), nullptr);
    }
    for (int i = 0; i < kObjects; i += 2) {
        ASSERT_EQ(tag_of(registry.remove(0, 1000 + i)), i + 1);
    }
    EXPECT_EQ(registry.size(), static_cast<std::size_t>(kObjects / 2));
}

// The registry as a list of groups, newest first, each a list of entries,
// newest first: what every lookup must agree with.
class ListModel {
public:
    int find(std::uint32_t key, kandrel::Instance instance) const
    {
        for (const auto& [group_key, entries] : groups_) {
            if (key != 0 && group_key != key) {
                continue;
            }
            for (const auto& [entry_instance, tag] : entries) {
                if (entry_instance == instance) {
                    return tag;
                }
            }
        }
        return 0;
    }
    bool add(std::uint32_t key, kandrel::Instance instance, int tag)
    {
        if (find(key, instance) != 0) {
            return false;
        }
        auto group = std::find_if(groups_.begin(), groups_.end(), [key](const auto& g) { return g.first == key; });
        if (group == groups_.end()) {
            group = groups_.insert(groups_.begin(), {key, {}});
        }
        group->second.insert(group->second.begin(), {instance, tag});
        return true;
    }
    int remove(std::uint32_t key, kandrel::Instance instance)
    {
        for (auto group = groups_.begin(); group != groups_.end(); ++group) {
            if (key != 0 && group->first != key) {
                continue;
            }
            for (auto entry = group->second.begin(); entry != group->second.end(); ++entry) {
                if (entry->first == instance) {
                    const int tag = entry->second;
                    group->second.erase(entry);
                    if (group->second.empty()) {
                        groups_.erase(group);
                    }
                    return tag;
                }
            }
        }
        return 0;
    }
    std::size_t group_count() const { return groups_.size(); }

private:
    std::vector<std::pair<std::uint32_t, std::vector<std::pair<kandrel::Instance, int>>>> groups_;
};

TEST(Registry, RandomAddsRemovesAndLookupsAgreeWithAListOfGroups)
{
    // Few keys and instances that share hash slots (aligned addresses and
    // small numbers), so that entries collide, runs wrap and removals move
    // entries back, while instances come and go in several groups at once.
    Registry registry;
    ListModel model;
    std::mt19937 random(5);
    int next_tag = 1;
    for (int step = 0; step < 200000; ++step) {
        const std::uint32_t key = random() % 6;
        const auto instance = static_cast<kandrel::Instance>(random() % 2 == 0 ? random() % 700 : 4096 * (random() % 700));
        switch (random() % 4) {
        case 0:
        case 1: {
            const int tag = next_tag++;
            ASSERT_EQ(registry.add(key, instance, probe(instance, tag)), model.add(key, instance, tag)) << step;
            break;
        }
        case 2:
            ASSERT_EQ(tag_of(registry.remove(key, instance)), model.remove(key, instance)) << step;
            break;
        default:
            ASSERT_EQ(tag_of(registry.find(key, instance)), model.find(key, instance)) << step;
        }
    }
    EXPECT_EQ(registry.group_count(), model.group_count());
}

TEST(Registry, ARemovedObjectLivesUntilItsLastUserLetsGo)
{
    Registry registry;
    bool destroyed = false;
    registry.add(1, 7, probe(7, 1, &destroyed));
    ObjectPtr in_use = registry.find(1, 7);  // a method running on another thread
    ObjectPtr removed = registry.remove(1, 7);
    removed.reset();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(registry.find(1, 7), nullptr);
    in_use.reset();
    EXPECT_TRUE(destroyed);
}

}  // namespace
