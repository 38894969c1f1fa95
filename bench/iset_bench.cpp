// Set operations on large sets: each of insert, erase, contains and
// intersect-with-a-range on a set of n random values should cost O(log n),
// so the time per operation grows only slowly from 10^3 to 10^5 values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "impl/sets/big_iset.h"

using iset = qarn::big_model::iset;
using range = std::pair<int, int>;

namespace {

std::vector<int> random_values(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<int> v(n);
    for (int& x : v)
        x = static_cast<int>(gen());
    return v;
}

iset set_of(const std::vector<int>& values) {
    iset s;
    for (int v : values)
        s.insert(range(v, v));
    return s;
}

void BM_InsertErase(benchmark::State& state) {
    auto base = random_values(static_cast<std::size_t>(state.range(0)), 1);
    auto probes = random_values(1024, 2);
    iset s = set_of(base);
    std::size_t i = 0;
    for (auto _ : state) {
        int v = probes[i++ & 1023];
        s.insert(range(v, v));
        s.erase(range(v, v));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_InsertErase)->Range(1000, 100000)->Complexity(benchmark::oLogN);

void BM_Contains(benchmark::State& state) {
    auto base = random_values(static_cast<std::size_t>(state.range(0)), 3);
    auto probes = random_values(1024, 4);
    iset s = set_of(base);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.contains(probes[i++ & 1023]));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Contains)->Range(1000, 100000)->Complexity(benchmark::oLogN);

// Intersecting with a range that cuts off the least and the greatest value,
// then putting both back: each step touches O(1) ranges of the tree.
void BM_IntersectRange(benchmark::State& state) {
    auto base = random_values(static_cast<std::size_t>(state.range(0)), 5);
    iset s = set_of(base);
    std::sort(base.begin(), base.end());
    int lo = base.front(), hi = base.back();
    for (auto _ : state) {
        s.intersect(range(lo + 1, hi - 1));
        s.insert(range(lo, lo));
        s.insert(range(hi, hi));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_IntersectRange)->Range(1000, 100000)->Complexity(benchmark::oLogN);

void BM_BuildProgression(benchmark::State& state) {
    for (auto _ : state) {
        iset s;
        for (int v = 0; v < state.range(0) * 6; v += 6)
            s.insert(range(v, v));
        benchmark::DoNotOptimize(s.stride());
    }
}
BENCHMARK(BM_BuildProgression)->Range(1000, 100000);

} // namespace

BENCHMARK_MAIN();
