// Time per backtrack under frequent erasure of learned constraints: a
// pigeonhole clause model (too hard to finish) solved up to backtrack limits
// of growing size, restarting after every backtrack and erasing every 2
// backtracks all that the last 4 did not use. The cost per backtrack should
// not grow with the number of learned constraints ever made, only with the
// live ones.
//
// Usage: qarn_erasure_bench [pigeons] [limit ...]   (defaults: 10, 10^4 10^5 10^6)
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <memory>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/timer.h"

namespace {

void add_clause(qarn::solver& s, const std::vector<std::pair<unsigned, int>>& literals) {
    auto p = std::make_unique<qarn::clause_propagator>();
    for (const auto& l : literals)
        p->update_literals().emplace_back(l.second);
    qarn::constraint_connectivity_info& record = s.add_constraint(std::move(p));
    for (const auto& l : literals)
        record << l.first;
}

// Variable i * holes + h is 1 when pigeon i sits in hole h.
void pigeonhole(qarn::solver& s, unsigned pigeons) {
    const unsigned holes = pigeons - 1;
    for (unsigned v = 0; v < pigeons * holes; ++v)
        s.add_var(qarn::iset(std::pair<int, int>(0, 1)), nullptr, false);
    for (unsigned i = 0; i < pigeons; ++i) {
        std::vector<std::pair<unsigned, int>> somewhere;
        for (unsigned h = 0; h < holes; ++h)
            somewhere.emplace_back(i * holes + h, 1);
        add_clause(s, somewhere);
    }
    for (unsigned h = 0; h < holes; ++h)
        for (unsigned i = 0; i < pigeons; ++i)
            for (unsigned j = i + 1; j < pigeons; ++j)
                add_clause(s, {{i * holes + h, 0}, {j * holes + h, 0}});
}

} // namespace

int main(int argc, char** argv) {
    const unsigned pigeons = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 10;
    std::vector<unsigned> limits;
    for (int i = 2; i < argc; ++i)
        limits.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
    if (limits.empty())
        limits = {10000, 100000, 1000000};
    std::cout << "pigeons " << pigeons << ", restart every backtrack, erase every 2 keeping 4\n";
    for (unsigned limit : limits) {
        qarn::solver s;
        pigeonhole(s, pigeons);
        s.m_initial_restart_interval = 1;
        s.m_erase_period = 2;
        s.m_keep_window = 4;
        s.m_backtrack_limit = limit;
        const std::uint64_t start = qarn::user_time_microseconds();
        const qarn::solver::result_type result = s.solve(nullptr);
        const double seconds = 1e-6 * static_cast<double>(qarn::user_time_microseconds() - start);
        unsigned live = 0;
        for (unsigned c = s.first_learned(); c < s.constraint_count(); ++c)
            live += s.propagator(c) != nullptr;
        std::cout << std::setw(8) << limit << " backtracks: " << std::fixed << std::setprecision(2)
                  << seconds << " s, " << std::setprecision(2) << 1e6 * seconds / s.m_backtracks_solve
                  << " us per backtrack, " << s.constraint_count() - s.first_learned()
                  << " learned slots, " << live << " live"
                  << (result == qarn::solver::BACKTRACK_LIMIT ? "" : " (finished)") << "\n";
    }
    return 0;
}
