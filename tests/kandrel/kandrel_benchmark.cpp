// Registry lookups with thousands of live objects, and collection parsing.
#include <benchmark/benchmark.h>

#include "attribute_collection.h"
#include "host_object.h"
#include "registry.h"

namespace {

class Idle final : public kandrel::HostObject {
public:
    explicit Idle(kandrel::Instance instance) : HostObject(instance, 1) {}
    kandrel::ObjectPtr clone(kandrel::Instance) const override { return nullptr; }
    void assign(const HostObject&) override {}
    HostAnswer call(HostCallInfo*) override { return 0; }
    HostAnswer property(std::uint32_t, HostCallInfo*, bool) override { return 0; }
};

void RegistryLookup(benchmark::State& state)
{
    kandrel::Registry registry;
    const auto objects = static_cast<kandrel::Instance>(state.range(0));
    for (kandrel::Instance i = 0; i < objects; ++i) {
        registry.add(static_cast<std::uint32_t>(1 + i % 16), i, std::make_shared<Idle>(i));
    }
    kandrel::Instance next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(registry.find(0, next));
        benchmark::DoNotOptimize(registry.find(static_cast<std::uint32_t>(1 + next % 16), next));
        next = (next + 7919) % objects;
    }
}
BENCHMARK(RegistryLookup)->Arg(100)->Arg(10000)->Arg(100000);

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
