// Benchmarks in pairs: the project's path and the baseline it is measured
// against, run in the same program and run. A pair is registered as
// "<row>/project/<case>" and "<row>/baseline/<case>", which is how
// tools/run-benchmarks.sh finds the two halves of each ratio.
//
// Every benchmark of a pair reports items per second and, as the counter
// "items", the items one iteration handles. With BENCHMARK_ITERATIONS=N in
// the environment every pair runs exactly N times its own iteration factor,
// so that instruction counts under valgrind can be taken as the difference
// of two runs of N and 2N iterations, free of setup and of the time-based
// choice of the iteration count.
#ifndef TESTS_SUPPORT_BENCHMARK_PAIRS_H
#define TESTS_SUPPORT_BENCHMARK_PAIRS_H

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

namespace benchpair {

using Body = std::function<void(benchmark::State&)>;

struct Options {
    double items = 1;                  // items handled by one iteration
    std::int64_t counting_factor = 1;  // iterations per BENCHMARK_ITERATIONS unit
    benchmark::TimeUnit unit = benchmark::kNanosecond;
    double min_time = 0;               // seconds; 0: the library's default
};

inline std::int64_t fixed_iterations()
{
    const char* text = std::getenv("BENCHMARK_ITERATIONS");
    return text != nullptr ? std::strtoll(text, nullptr, 10) : 0;
}

inline void add(const std::string& name, Body body, const Options& options)
{
    auto* benchmark = benchmark::RegisterBenchmark(name.c_str(), [body, options](benchmark::State& state) {
        body(state);
        state.SetItemsProcessed(static_cast<std::int64_t>(static_cast<double>(state.iterations()) * options.items));
        state.counters["items"] = options.items;
    });
    benchmark->Unit(options.unit);
    if (const std::int64_t n = fixed_iterations(); n > 0) {
        benchmark->Iterations(n * options.counting_factor);
    } else if (options.min_time > 0) {
        benchmark->MinTime(options.min_time);
    }
}

// Registers one pair; case_name may be empty.
inline void pair(const std::string& row, const std::string& case_name, Body project, Body baseline,
                 const Options& options = {})
{
    const std::string suffix = case_name.empty() ? "" : "/" + case_name;
    add(row + "/project" + suffix, std::move(project), options);
    add(row + "/baseline" + suffix, std::move(baseline), options);
}

}  // namespace benchpair

#endif
