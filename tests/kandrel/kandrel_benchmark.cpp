// The object registry and the component's dispatch as the number of live
// objects grows, each against the same work with few objects; and collection
// parsing.
#include <benchmark/benchmark.h>

#include <string>

#include "attribute_collection.h"
#include "benchmark_pairs.h"
#include "host_object.h"
#include "registry.h"

extern "C" HostAnswer HOST_CALL LDAPWndProc(HostWindow window, std::uint32_t message, HostWParam wparam,
                                           HostLParam lparam, HostCallInfo* call);

namespace {

class Idle final : public kandrel::HostObject {
public:
    explicit Idle(kandrel::Instance instance) : HostObject(instance, 1) {}
    kandrel::ObjectPtr clone(kandrel::Instance) const override { return nullptr; }
    void assign(const HostObject&) override {}
    HostAnswer call(HostCallInfo*) override { return 0; }
    HostAnswer property(std::uint32_t, HostCallInfo*, bool) override { return 0; }
};

constexpr kandrel::Instance kStride = 7919;  // a prime: visits every object in a scattered order

// Two lookups of one instance, by its group and by key 0 (any group), over
// every live object in turn.
benchpair::Body registry_lookups(kandrel::Instance objects)
{
    return [objects](benchmark::State& state) {
        kandrel::Registry registry;
        for (kandrel::Instance i = 0; i < objects; ++i) {
            registry.add(static_cast<std::uint32_t>(1 + i % 16), i, std::make_shared<Idle>(i));
        }
        kandrel::Instance next = 0;
        for (auto _ : state) {
            benchmark::DoNotOptimize(registry.find(0, next));
            benchmark::DoNotOptimize(registry.find(static_cast<std::uint32_t>(1 + next % 16), next));
            next = (next + kStride) % objects;
        }
    };
}

// A trivial object message through LDAPWndProc (may $utf8 be assigned?)
// with the given number of session objects alive, visiting each in turn.
benchpair::Body dispatch(HostLParam objects)
{
    return [objects](benchmark::State& state) {
        constexpr std::int32_t kSessionClass = 1001;
        constexpr std::int32_t kUtf8Property = 2101;
        HostItem header{};
        header.id = kUtf8Property;
        HostCallInfo call{};
        call.class_id = kSessionClass;
        call.group_key = 7;
        call.items = &header;
        for (HostLParam i = 1; i <= objects; ++i) {
            LDAPWndProc(nullptr, HOSTMSG_OBJECT_CREATE, 0, i, &call);
        }
        HostLParam next = 0;
        HostAnswer answers = 0;
        for (auto _ : state) {
            answers += LDAPWndProc(nullptr, HOSTMSG_PROPERTY_CAN_ASSIGN, 0, next + 1, &call);
            next = (next + kStride) % objects;
        }
        if (answers != static_cast<HostAnswer>(state.iterations())) {
            state.SkipWithError("an object did not answer");
        }
        for (HostLParam i = 1; i <= objects; ++i) {
            LDAPWndProc(nullptr, HOSTMSG_OBJECT_DELETE, 0, i, &call);
        }
    };
}

const bool registered = [] {
    benchpair::Options lookups;
    lookups.counting_factor = 100000;
    for (kandrel::Instance objects : {10000, 100000}) {
        benchpair::pair("registry_lookup_pair", std::to_string(objects) + "_objects_vs_100",
                        registry_lookups(objects), registry_lookups(100), lookups);
    }
    for (HostLParam objects : {100, 10000, 100000}) {
        benchpair::pair("dispatch", std::to_string(objects) + "_objects_vs_1", dispatch(objects), dispatch(1),
                        lookups);
    }
    return true;
}();

void CollectionParse(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < state.range(0); ++i) {
        text += "attribute" + std::to_string(i) + ": value number " + std::to_string(i) + "\r\n";
    }
    for (auto _ : state) {
        kandrel::AttributeCollection collection;
        collection.parse(text);
        benchmark::DoNotOptimize(collection.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(CollectionParse)->Arg(10)->Arg(1000);

}  // namespace
