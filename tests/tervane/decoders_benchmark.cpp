// Decoding cost of server values as they grow: every decoder must stay linear
// in the size of the value (run with --benchmark_filter=... and compare the
// time per item across sizes).
#include <benchmark/benchmark.h>

#include <string>

#include "backup.h"
#include "ber_text.h"
#include "replication_filter.h"
#include "tervane.h"

namespace d = der;

namespace {

berval as_berval(const std::string& bytes)
{
    return berval{static_cast<ber_len_t>(bytes.size()), const_cast<char*>(bytes.data())};
}

void ReplicationFilterWithManyClasses(benchmark::State& state)
{
    std::string entries;
    for (long i = 0; i < state.range(0); ++i)
        entries += d::sequence({d::octets("class" + std::to_string(i)),
                                d::sequence({d::octets("cn"), d::octets("mail"), d::octets("sn")})});
    std::string value = d::element(0x30, entries);
    berval bytes = as_berval(value);
    for (auto _ : state) {
        char* filter = nullptr;
        benchmark::DoNotOptimize(tervane::decode_replication_filter(bytes, &filter));
        tervane_memfree(filter);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ReplicationFilterWithManyClasses)->RangeMultiplier(10)->Range(10, 100000);

void BackupResponseWithManyChunks(benchmark::State& state)
{
    std::string sizes;
    for (long i = 0; i < state.range(0); ++i)
        sizes += d::sequence({d::integer(1000 + i)});
    std::string value = d::concat({d::integer(4), d::integer(1), d::integer(2), d::octets("data"),
                                   d::sequence({d::integer(state.range(0)), d::element(0x31, sizes)})});
    berval bytes = as_berval(value);
    for (auto _ : state) {
        int length = 0;
        tervane::BackupResponse response;
        benchmark::DoNotOptimize(tervane::decode_backup_response(bytes, &length, response));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BackupResponseWithManyChunks)->RangeMultiplier(10)->Range(10, 100000);

}  // namespace

BENCHMARK_MAIN();
