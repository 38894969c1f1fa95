// Random models of linear combinations, differences and equalities over
// small domains, kept beside the solver as predicates for brute force.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/propagators/difference_propagators.h"
#include "impl/propagators/equal_propagator.h"
#include "impl/propagators/linear_combination.h"

namespace qarn_test {

using namespace qarn;

// Two distinct variables among 0 .. count - 1.
inline std::pair<unsigned, unsigned> two_of(std::mt19937& rng, unsigned count) {
    const unsigned a = rng() % count;
    unsigned b = rng() % (count - 1);
    if (b >= a)
        ++b;
    return {a, b};
}

// A linear model kept beside the solver: constraints as predicates over the
// full assignment, for brute force.
struct linear_model {
    std::vector<int> his; // variable v takes 0 .. his[v]
    std::vector<std::function<bool(const std::vector<int>&)>> checks;
    std::vector<std::function<void(solver&)>> posts;
    int objective = -1;

    void add(std::shared_ptr<constraint_propagator> p, std::vector<unsigned> vars,
             std::function<bool(const std::vector<int>&)> check) {
        checks.push_back(std::move(check));
        posts.push_back([p, vars](solver& s) {
            constraint_connectivity_info& record = s.add_constraint(p->clone());
            for (unsigned v : vars)
                record << v;
        });
    }
    bool satisfied(const std::vector<int>& a) const {
        for (const auto& c : checks)
            if (!c(a))
                return false;
        return true;
    }
    void build(solver& s) const {
        for (unsigned v = 0; v < his.size(); ++v)
            s.add_var(iset(0, his[v]), ("x" + std::to_string(v)).c_str(), false);
        for (const auto& p : posts)
            p(s);
        s.m_objective_var = objective;
    }
    // Every solution, by enumeration.
    template <class F>
    void enumerate(F f) const {
        std::vector<int> a(his.size(), 0);
        for (;;) {
            if (satisfied(a))
                f(a);
            unsigned i = 0;
            while (i < a.size() && ++a[i] > his[i])
                a[i++] = 0;
            if (i == a.size())
                return;
        }
    }
};

inline linear_model random_linear_model(std::mt19937& rng, bool with_objective) {
    linear_model m;
    const unsigned n = 5 + rng() % 2;
    for (unsigned v = 0; v < n; ++v)
        m.his.push_back(4 + static_cast<int>(rng() % 3));
    const unsigned constraints = 4 + rng() % 5;
    for (unsigned k = 0; k < constraints; ++k) {
        const unsigned kind = rng() % 10;
        if (kind < 6) {
            // A linear combination over two to four variables, its bound
            // between a third and three quarters of its range.
            std::vector<unsigned> vars;
            const unsigned size = 2 + rng() % 3;
            while (vars.size() < size) {
                const unsigned v = rng() % n;
                if (std::find(vars.begin(), vars.end(), v) == vars.end())
                    vars.push_back(v);
            }
            std::vector<int> c;
            int lo = 0, hi = 0;
            for (unsigned v : vars) {
                int ci = 0;
                while (ci == 0)
                    ci = static_cast<int>(rng() % 7) - 3;
                c.push_back(ci);
                (ci > 0 ? hi : lo) += ci * m.his[v];
            }
            const int bound = lo + (hi - lo) * static_cast<int>(35 + rng() % 36) / 100;
            m.add(std::make_shared<linear_combination_ge_propagator>(bound, c), vars,
                  [c, vars, bound](const std::vector<int>& a) {
                      long sum = 0;
                      for (std::size_t i = 0; i < c.size(); ++i)
                          sum += static_cast<long>(c[i]) * a[vars[i]];
                      return sum >= bound;
                  });
        } else if (kind < 9) {
            const auto [x, y] = two_of(rng, n);
            const int d = static_cast<int>(rng() % 5) - 2;
            m.add(std::make_shared<difference_ge_propagator>(d), {x, y},
                  [x = x, y = y, d](const std::vector<int>& a) { return a[x] - a[y] >= d; });
        } else {
            const auto [x, y] = two_of(rng, n);
            m.add(std::make_shared<equal_propagator>(), {x, y},
                  [x = x, y = y](const std::vector<int>& a) { return a[x] == a[y]; });
        }
    }
    if (with_objective)
        m.objective = static_cast<int>(rng() % n);
    return m;
}

} // namespace qarn_test
