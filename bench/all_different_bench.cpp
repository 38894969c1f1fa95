// One all-different propagation over a permutation problem: n variables over
// the values 0..n-1, a few of them fixed.
//  - Derangement: x_i != i, so every domain has n - 1 values and the whole
//    graph is built (E about n^2 edges); the fixed values leave every other
//    domain. Building the graph and filtering are linear in E, the matching
//    takes O(E sqrt(n)) at worst: from n = 1000 to 4000 the time per
//    propagation should grow 16 times (E), and never beyond 32 times.
//  - Full: every free domain holds all n values, so the free variables are
//    big and only the fixed ones and the proxy enter the graph: about linear
//    in n.
#include <benchmark/benchmark.h>

#include <vector>

#include "impl/engine/runtime_views.h"
#include "impl/propagators/all_different_propagator.h"

namespace {

constexpr unsigned FIXED = 5;

// Variables FIXED apart are fixed to the value of the variable next to them.
std::vector<qarn::iset> permutation_domains(unsigned n, bool derangement) {
    std::vector<qarn::iset> domains(n, qarn::iset(0, static_cast<int>(n) - 1));
    for (unsigned i = 0; i < n; ++i)
        if (derangement)
            domains[i].erase(qarn::iset::range_type(static_cast<int>(i), static_cast<int>(i)));
    for (unsigned k = 0; k < FIXED; ++k) {
        const unsigned i = k * (n / FIXED);
        domains[i] = qarn::iset(static_cast<int>(i + 1));
    }
    return domains;
}

void propagate(benchmark::State& state, bool derangement) {
    const unsigned n = static_cast<unsigned>(state.range(0));
    const std::vector<qarn::iset> domains = permutation_domains(n, derangement);
    qarn::all_different_propagator all_different;
    unsigned long long left = 0;
    for (auto _ : state) {
        state.PauseTiming();
        qarn::constraint_explicit_info ri(n);
        for (unsigned p = 0; p < n; ++p)
            ri.set_domain(p, domains[p]);
        state.ResumeTiming();
        if (all_different.propagate(ri) != qarn::propagation_types::CONSISTENT)
            state.SkipWithError("no solution");
        state.PauseTiming();
        left = 0;
        for (unsigned p = 0; p < n; ++p)
            left += ri.domain(p).size();
        state.ResumeTiming();
    }
    state.counters["values_left"] = static_cast<double>(left);
}

void BM_AllDifferentDerangement(benchmark::State& state) {
    propagate(state, true);
}

void BM_AllDifferentFull(benchmark::State& state) {
    propagate(state, false);
}

} // namespace

BENCHMARK(BM_AllDifferentDerangement)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllDifferentFull)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
