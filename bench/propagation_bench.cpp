// Level-0 propagation of random clause models: a planted assignment makes
// every clause satisfiable, a few unit clauses start chains of implications,
// and the whole model is propagated to its fixed point. The time per clause
// should stay flat from 10^4 to 10^5 clauses.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"

namespace {

void build_model(qarn::solver& s, unsigned clauses, unsigned seed) {
    std::mt19937 gen(seed);
    const unsigned vars = clauses / 2;
    std::vector<int> planted(vars);
    for (unsigned v = 0; v < vars; ++v) {
        planted[v] = static_cast<int>(gen() % 2);
        s.add_var(qarn::iset(std::pair<int, int>(0, 1)), nullptr, false);
    }
    for (unsigned c = 0; c < clauses; ++c) {
        auto clause = std::make_unique<qarn::clause_propagator>();
        std::vector<unsigned> picked;
        std::vector<qarn::iset>& lits = clause->update_literals();
        unsigned width = c % 50 == 0 ? 1 : 2 + gen() % 2;
        unsigned keep = static_cast<unsigned>(gen() % width); // this literal holds under the plant
        for (unsigned k = 0; k < width; ++k) {
            unsigned v = static_cast<unsigned>(gen() % vars);
            int value = k == keep ? planted[v] : static_cast<int>(gen() % 2);
            picked.push_back(v);
            lits.emplace_back(value);
        }
        qarn::constraint_connectivity_info& record = s.add_constraint(std::move(clause));
        for (unsigned v : picked)
            record << v;
    }
}

void BM_PropagateRandomClauses(benchmark::State& state) {
    const unsigned clauses = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<qarn::solver>();
        build_model(*s, clauses, 17);
        s->prepare_for_solve();
        s->m_solving = true;
        state.ResumeTiming();
        benchmark::DoNotOptimize(s->first_time_propagate_constraints());
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_PropagateRandomClauses)
    ->RangeMultiplier(3)
    ->Range(10000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
