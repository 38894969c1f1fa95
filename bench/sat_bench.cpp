// Hard random 3-SAT through the solver API: uniform 3-clauses over distinct
// variables at the satisfiability threshold (ratio 4.26), several instances
// per size, each solved from scratch. Every SAT answer is checked against
// the clauses; a wrong one aborts the run.
//
// Usage: qarn_sat_bench [-n instances-per-size] [-s seed] [-r ratio] [size ...]
// Defaults: 5 instances of each of 150, 175 and 200 variables, seed 1.
// Instance i of size n is generated from the seed sequence (seed, n, i), so
// it does not depend on which other sizes or counts are run.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/clause_propagator.h"
#include "impl/support/timer.h"

namespace {

struct literal {
    unsigned var;
    int value; // the clause holds when var takes this value
};
typedef std::vector<literal> clause;

std::vector<clause> random_3sat(unsigned vars, unsigned clauses, std::mt19937& gen) {
    std::vector<clause> out(clauses);
    for (clause& c : out) {
        while (c.size() < 3) {
            unsigned v = static_cast<unsigned>(gen() % vars);
            bool seen = false;
            for (const literal& l : c)
                seen = seen || l.var == v;
            if (!seen)
                c.push_back({v, static_cast<int>(gen() % 2)});
        }
    }
    return out;
}

void build(qarn::solver& s, unsigned vars, const std::vector<clause>& clauses) {
    for (unsigned v = 0; v < vars; ++v)
        s.add_var(qarn::iset(std::pair<int, int>(0, 1)), nullptr, false);
    for (const clause& c : clauses) {
        auto p = std::make_unique<qarn::clause_propagator>();
        for (const literal& l : c)
            p->update_literals().emplace_back(l.value);
        qarn::constraint_connectivity_info& record = s.add_constraint(std::move(p));
        for (const literal& l : c)
            record << l.var;
    }
}

// The solver's assignment, which must be total and satisfy every clause.
void verify(const qarn::solver& s, const std::vector<clause>& clauses, const std::string& name) {
    for (unsigned v = 0; v < s.var_count(); ++v) {
        if (s.domain(v).size() != 1) {
            std::cerr << name << ": SAT with variable " << v << " not assigned\n";
            std::abort();
        }
    }
    for (std::size_t i = 0; i < clauses.size(); ++i) {
        bool holds = false;
        for (const literal& l : clauses[i])
            holds = holds || s.domain(l.var).min() == l.value;
        if (!holds) {
            std::cerr << name << ": SAT assignment breaks clause " << i << "\n";
            std::abort();
        }
    }
}

[[noreturn]] void usage(const char* program) {
    std::cerr << "usage: " << program
              << " [-n instances-per-size] [-s seed] [-r ratio] [size ...]\n";
    std::exit(2);
}

unsigned parse_unsigned(const char* text, const char* program) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || v > 0xFFFFFFFFul)
        usage(program);
    return static_cast<unsigned>(v);
}

} // namespace

int main(int argc, char** argv) {
    unsigned count = 5;
    unsigned seed = 1;
    double ratio = 4.26;
    std::vector<unsigned> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "-n" || arg == "-s" || arg == "-r") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "-n")
                count = parse_unsigned(value, argv[0]);
            else if (arg == "-s")
                seed = parse_unsigned(value, argv[0]);
            else {
                char* end = nullptr;
                ratio = std::strtod(value, &end);
                if (end == value || *end != '\0' || !(ratio > 0))
                    usage(argv[0]);
            }
        } else if (!arg.empty() && arg[0] != '-') {
            unsigned n = parse_unsigned(arg.c_str(), argv[0]);
            if (n < 3)
                usage(argv[0]);
            sizes.push_back(n);
        } else {
            usage(argv[0]);
        }
    }
    if (sizes.empty())
        sizes = {150, 175, 200};

    std::cout << "random 3-SAT, ratio " << ratio << ", seed " << seed << ", " << count
              << " instance(s) per size\n";
    std::cout << std::left << std::setw(12) << "instance" << std::right << std::setw(6) << "vars"
              << std::setw(8) << "clauses" << std::setw(8) << "result" << std::setw(11)
              << "decisions" << std::setw(11) << "conflicts" << std::setw(10) << "restarts"
              << std::setw(12) << "cpu time" << "\n";

    unsigned sat = 0, unsat = 0, other = 0;
    std::uint64_t total_decisions = 0, total_conflicts = 0, total_restarts = 0;
    const qarn::timer all_start;
    for (unsigned n : sizes) {
        const unsigned m = static_cast<unsigned>(std::lround(ratio * n));
        for (unsigned i = 0; i < count; ++i) {
            std::seed_seq sequence{seed, n, i};
            std::mt19937 gen(sequence);
            const std::vector<clause> clauses = random_3sat(n, m, gen);
            const std::string name = "n" + std::to_string(n) + "-" + std::to_string(i);

            qarn::solver s;
            build(s, n, clauses);
            std::ostringstream out;
            const qarn::timer start;
            const qarn::solver::result_type r = s.solve(&out);
            const qarn::timer stop;
            if (r == qarn::solver::SAT) {
                verify(s, clauses, name);
                ++sat;
            } else if (r == qarn::solver::UNSAT) {
                ++unsat;
            } else {
                ++other;
            }
            std::ostringstream result;
            result << r;
            std::cout << std::left << std::setw(12) << name << std::right << std::setw(6) << n
                      << std::setw(8) << m << std::setw(8) << result.str() << std::setw(11)
                      << s.m_decisions << std::setw(11) << s.m_backtracks_solve << std::setw(10)
                      << s.m_restarts << std::setw(12) << stop.cpu_diff_str(start) << "\n"
                      << std::flush;
            total_decisions += s.m_decisions;
            total_conflicts += s.m_backtracks_solve;
            total_restarts += s.m_restarts;
        }
    }
    const qarn::timer all_stop;
    std::cout << "total: " << sat + unsat + other << " instances (" << sat << " SAT, " << unsat
              << " UNSAT, " << other << " other), " << total_decisions << " decisions, "
              << total_conflicts << " conflicts, " << total_restarts << " restarts, cpu time "
              << all_stop.cpu_diff_str(all_start) << "\n";
    return other == 0 ? 0 : 1;
}
