// Table constraints of random tuples over 6 variables: building the shared
// decision diagram, and the first propagation from domains that hold every
// value of the value range. Arguments: the number of tuples and the number
// of values per column (few values: long shared prefixes; many: wide first
// levels). The time per tuple should stay flat from 10^4 to 10^5 tuples.
// Tuple compression of the same lists (sorted, as a conflicts relation
// usually comes) is measured too: k sorts and k walks per insertion.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/table_propagator.h"
#include "impl/propagators/tuple_set.h"

namespace {

constexpr unsigned ARITY = 6;

std::vector<std::vector<int>> random_tuples(unsigned count, unsigned values, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::vector<int>> tuples(count, std::vector<int>(ARITY));
    for (std::vector<int>& t : tuples)
        for (int& v : t)
            v = static_cast<int>(gen() % values);
    return tuples;
}

void BM_BuildTable(benchmark::State& state) {
    const unsigned count = static_cast<unsigned>(state.range(0));
    const unsigned values = static_cast<unsigned>(state.range(1));
    const std::vector<std::vector<int>> tuples = random_tuples(count, values, 17);
    qarn::table_propagator_base::memory_manager manager;
    for (auto _ : state) {
        auto table = std::make_unique<qarn::support_table_propagator>(manager, tuples);
        benchmark::DoNotOptimize(table.get());
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
    qarn::support_table_propagator table(manager, tuples);
    state.counters["nodes"] = static_cast<double>(manager.node_count());
    state.counters["time/tuple"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

void BM_FirstPropagation(benchmark::State& state) {
    const unsigned count = static_cast<unsigned>(state.range(0));
    const unsigned values = static_cast<unsigned>(state.range(1));
    const std::vector<std::vector<int>> tuples = random_tuples(count, values, 17);
    qarn::table_propagator_base::memory_manager manager;
    qarn::support_table_propagator table(manager, tuples);
    const qarn::iset range(0, static_cast<int>(values) - 1);
    for (auto _ : state) {
        state.PauseTiming();
        qarn::constraint_explicit_info view(ARITY);
        for (unsigned p = 0; p < ARITY; ++p)
            view.set_domain(p, range);
        state.ResumeTiming();
        benchmark::DoNotOptimize(table.propagate(view));
    }
    state.counters["time/tuple"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

void BM_CompressTuples(benchmark::State& state) {
    const unsigned count = static_cast<unsigned>(state.range(0));
    const unsigned values = static_cast<unsigned>(state.range(1));
    std::vector<std::vector<int>> tuples = random_tuples(count, values, 17);
    std::sort(tuples.begin(), tuples.end());
    std::size_t boxes = 0;
    for (auto _ : state) {
        qarn::tuple_set set;
        set.insert(tuples);
        boxes = set.tuples().size();
        benchmark::DoNotOptimize(boxes);
    }
    state.counters["boxes"] = static_cast<double>(boxes);
    state.counters["time/tuple"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

void table_sizes(benchmark::internal::Benchmark* b) {
    for (int values : {16, 100000})
        for (int count : {10000, 30000, 100000})
            b->Args({count, values});
}

BENCHMARK(BM_BuildTable)->Apply(table_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPropagation)->Apply(table_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressTuples)->Apply(table_sizes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
