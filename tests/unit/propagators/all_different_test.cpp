// All-different: brute-force rows of the property harness and the strength
// check (exactly the supported values stay), the matching against a
// brute-force maximum matching, the graph's filtering against brute force,
// the proxy of big parameters, Hall-set explanations and their rule, the
// fallback to the plain explanation, a constraint over 10^5 variables (deep
// alternating paths), and models solved by the engine against enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "impl/engine/explanation_generators.h"
#include "impl/engine/solver.h"
#include "impl/propagators/all_different_graph.h"
#include "impl/propagators/all_different_propagator.h"
#include "impl/support/random.h"
#include "test-impl/random_domains.h"
#include "tests/unit/propagator_harness.h"
#include "tests/unit/test_helpers.h"

namespace all_different_test {

using namespace qarn;
using namespace qarn_test;

typedef std::vector<int> tuple;
typedef all_different_propagator::impl graph_impl;

bool pairwise_different(const tuple& t) {
    std::vector<int> sorted(t);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

// ---------------------------------------------------------------------------
// Harness rows

propagator_row row(unsigned arity, int width) {
    return {"all_different" + std::to_string(arity) + "_width" + std::to_string(width), arity,
            standard_windows(width),
            [](const value_window&) {
                return propagator_case{std::make_unique<all_different_propagator>(),
                                       pairwise_different};
            }};
}

// Windows about as wide as the arity, so that domains both fit into Hall
// sets and exceed them (big parameters).
const std::vector<propagator_row>& rows() {
    static const std::vector<propagator_row> table = {
        row(2, 4), row(3, 4), row(3, 6), row(4, 5), row(4, 6),
    };
    return table;
}

class AllDifferentProperty : public ::testing::TestWithParam<propagator_row> {};

TEST_P(AllDifferentProperty, AgreesWithBruteForce) {
    EXPECT_EQ(check_propagator(GetParam()), "");
}

TEST_P(AllDifferentProperty, KeepsExactlyTheSupportedValues) {
    std::vector<unsigned> all;
    for (unsigned p = 0; p < GetParam().arity; ++p)
        all.push_back(p);
    EXPECT_EQ(check_supported(GetParam(), all), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, AllDifferentProperty, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<propagator_row>& info) {
                             return info.param.name;
                         });

// ---------------------------------------------------------------------------
// The graph against brute force

// Random domains over 0..values-1 (some empty, some full).
std::vector<iset> random_domains(std::mt19937& rng, unsigned params, int values) {
    std::vector<iset> domains(params);
    for (iset& d : domains) {
        const unsigned density = rng() % 4;
        for (int v = 0; v < values; ++v)
            if (density == 3 || rng() % 3 < density)
                d.insert(iset::range_type(v, v));
    }
    return domains;
}

// The size of a maximum matching, by trying every value for every parameter.
unsigned brute_force_matching(const std::vector<iset>& domains, unsigned param,
                              std::vector<int>& used) {
    if (param == domains.size())
        return 0;
    unsigned best = brute_force_matching(domains, param + 1, used); // param unmatched
    for (int v : domains[param]) {
        if (std::find(used.begin(), used.end(), v) != used.end())
            continue;
        used.push_back(v);
        best = std::max(best, 1 + brute_force_matching(domains, param + 1, used));
        used.pop_back();
    }
    return best;
}

TEST(AllDifferentGraph, MatchingIsMaximum) {
    std::mt19937 rng(1931);
    for (unsigned k = 0; k < 3000; ++k) {
        const unsigned params = 1 + rng() % 6;
        const std::vector<iset> domains = random_domains(rng, params, 1 + rng() % 7);
        SCOPED_TRACE(text(domains));
        const graph_impl g(domains);
        std::vector<unsigned> matching;
        const int unmatched = g.maximal_matching(matching);
        ASSERT_EQ(matching.size(), g.node_count());
        unsigned size = 0;
        for (unsigned p = 0; p < params; ++p) {
            const unsigned w = matching[p];
            if (w == graph_impl::UNMATCHED)
                continue;
            ++size;
            ASSERT_GE(w, params);
            EXPECT_EQ(matching[w], p);
            EXPECT_TRUE(domains[p].contains(g.node_value(w)));
        }
        for (unsigned w = params; w < g.node_count(); ++w) {
            if (matching[w] != graph_impl::UNMATCHED) {
                EXPECT_EQ(matching[matching[w]], w);
            }
        }
        std::vector<int> used;
        EXPECT_EQ(size, brute_force_matching(domains, 0, used));
        if (size == params) {
            EXPECT_EQ(unmatched, -1);
        } else {
            ASSERT_GE(unmatched, 0);
            EXPECT_EQ(matching[static_cast<unsigned>(unmatched)], graph_impl::UNMATCHED);
        }
    }
}

// The values of each parameter that take part in some solution.
std::vector<iset> supported_values(const std::vector<iset>& domains) {
    std::vector<iset> supported(domains.size());
    harness_detail::for_each_tuple(harness_detail::domain_values(view_of(domains)),
                                   [&](const tuple& t) {
                                       if (pairwise_different(t))
                                           for (unsigned p = 0; p < t.size(); ++p)
                                               supported[p].insert(
                                                   iset::range_type(t[p], t[p]));
                                   });
    return supported;
}

// The graph alone (no big parameters, no laziness) keeps exactly the
// supported values, and fails exactly without a solution.
TEST(AllDifferentGraph, FilteringAgreesWithBruteForce) {
    std::mt19937 rng(1957);
    for (unsigned k = 0; k < 3000; ++k) {
        const unsigned params = 1 + rng() % 6;
        const std::vector<iset> domains = random_domains(rng, params, 1 + rng() % 7);
        SCOPED_TRACE(text(domains));
        const std::vector<iset> supported = supported_values(domains);
        std::vector<iset> next;
        const bool consistent = graph_impl(domains).propagate(next);
        EXPECT_EQ(consistent, !supported[0].empty());
        if (!consistent)
            continue;
        ASSERT_EQ(next.size(), params);
        for (unsigned p = 0; p < params; ++p)
            EXPECT_TRUE(same(next[p], supported[p]))
                << "V" << p << ": {" << next[p] << "}, supported {" << supported[p] << "}";
    }
}

// The propagator, big parameters and their proxy included, keeps exactly
// the supported values too.
TEST(AllDifferentPropagator, KeepsExactlyTheSupportedValues) {
    std::mt19937 rng(1966);
    unsigned with_big = 0, narrowed = 0;
    for (unsigned k = 0; k < 4000; ++k) {
        const unsigned params = 1 + rng() % 6;
        std::vector<iset> domains = random_domains(rng, params, 1 + rng() % 8);
        for (iset& d : domains)
            if (d.empty())
                d = iset(static_cast<int>(rng() % 8));
        SCOPED_TRACE(text(domains));
        const std::vector<iset> supported = supported_values(domains);
        auto ri = view_of(domains);
        std::vector<unsigned char> marks;
        all_different_propagator::find_big_parameters(ri, marks);
        with_big += std::count(marks.begin(), marks.end(), 1) > 0 &&
                    std::count(marks.begin(), marks.end(), 0) > 0;
        const propagation_types::result_type r = all_different_propagator().propagate(ri);
        EXPECT_EQ(r == propagation_types::UNSAT, supported[0].empty());
        if (r == propagation_types::UNSAT)
            continue;
        for (unsigned p = 0; p < params; ++p) {
            narrowed += !same(ri.domain(p), domains[p]);
            EXPECT_TRUE(same(ri.domain(p), supported[p]))
                << "V" << p << ": {" << ri.domain(p) << "}, supported {" << supported[p] << "}";
        }
    }
    EXPECT_GT(with_big, 500u);
    EXPECT_GT(narrowed, 500u);
}

// The explanation of every value the graph removes, and of every conflict,
// is a Hall set: it excludes the domains (the removed value for the
// narrowed parameter) and holds for every assignment of different values.
TEST(AllDifferentGraph, ExplanationsAreHallSets) {
    std::mt19937 rng(1989);
    // The domains' values and their neighbours that a domain can hold.
    std::vector<int> box;
    for (int v = -1; v <= 7; ++v)
        if (v >= MIN_DOMAIN)
            box.push_back(v);
    const all_different_propagator p;
    unsigned conflicts = 0, narrowings = 0;
    for (unsigned k = 0; k < 900; ++k) {
        const unsigned params = 1 + rng() % 4;
        std::vector<iset> domains = random_domains(rng, params, 1 + rng() % 6);
        for (iset& d : domains)
            if (d.empty())
                d = iset(0);
        SCOPED_TRACE(text(domains));
        const std::vector<iset> supported = supported_values(domains);
        const auto check = [&](unsigned param, const iset& new_domain) {
            std::vector<iset> out;
            iset removed(domains[param]);
            removed.erase_all_of(new_domain);
            p.explain_propagation(param, removed, new_domain, view_of(domains), out);
            ASSERT_EQ(out.size(), params);
            for (unsigned i = 0; i < params; ++i) {
                const iset& excluded =
                    !new_domain.empty() && i == param ? removed : domains[i];
                EXPECT_FALSE(out[i].contains_any_of(excluded)) << "set " << i;
            }
            harness_detail::for_each_tuple(
                std::vector<std::vector<int>>(params, box), [&](const tuple& t) {
                    if (!pairwise_different(t))
                        return;
                    bool holds = false;
                    for (unsigned i = 0; i < params && !holds; ++i)
                        holds = out[i].contains(t[i]);
                    EXPECT_TRUE(holds) << "excludes " << harness_detail::text(t);
                });
            // Hall sets come with their rule.
            const std::unique_ptr<explanation_rule> r = p.rule(out);
            ASSERT_TRUE(r);
            std::vector<iset> again;
            r->get_explanation(again);
            ASSERT_EQ(again.size(), out.size());
            for (unsigned i = 0; i < params; ++i)
                EXPECT_TRUE(same(again[i], out[i]));
        };
        if (supported[0].empty()) {
            ++conflicts;
            check(0, iset());
            continue;
        }
        for (unsigned i = 0; i < params; ++i)
            if (!same(supported[i], domains[i])) {
                ++narrowings;
                check(i, supported[i]);
            }
    }
    EXPECT_GT(conflicts, 50u);
    EXPECT_GT(narrowings, 50u);
}

// ---------------------------------------------------------------------------
// Hand cases

TEST(AllDifferentGraph, FirstPhaseTakesTheFirstFreeValues) {
    // Parameter 0 takes 1, parameter 1 takes 2, parameter 2 takes 0.
    const std::vector<iset> domains = {iset(1, 2), iset(1, 2), iset(0, 2)};
    const graph_impl g(domains);
    std::vector<unsigned> matching;
    EXPECT_EQ(g.maximal_matching(matching), -1);
    EXPECT_EQ(g.node_value(matching[0]), 1);
    EXPECT_EQ(g.node_value(matching[1]), 2);
    EXPECT_EQ(g.node_value(matching[2]), 0);
    std::vector<iset> next;
    ASSERT_TRUE(g.propagate(next));
    EXPECT_TRUE(same(next[0], iset(1, 2)));
    EXPECT_TRUE(same(next[1], iset(1, 2)));
    EXPECT_TRUE(same(next[2], iset(0)));

    // The path to 3 found in the same level is stale; 3 stays free and
    // supports every edge.
    const graph_impl chain(std::vector<iset>{iset(1, 2), iset(2, 3)});
    EXPECT_EQ(chain.maximal_matching(matching), -1);
    EXPECT_EQ(chain.node_value(matching[0]), 1);
    EXPECT_EQ(chain.node_value(matching[1]), 2);
    ASSERT_TRUE(chain.propagate(next));
    EXPECT_TRUE(same(next[0], iset(1, 2)));
    EXPECT_TRUE(same(next[1], iset(2, 3)));

    const graph_impl twice(std::vector<iset>{iset(1), iset(1)});
    EXPECT_EQ(twice.maximal_matching(matching), 1);
    EXPECT_FALSE(twice.propagate(next));
    EXPECT_FALSE(graph_impl(std::vector<iset>{iset(1), iset()}).propagate(next));
}

TEST(AllDifferentGraph, ReferenceInfoIsReadOnly) {
    const std::vector<iset> domains = {iset(1, 2), iset(4)};
    all_different_propagator::reference_info ri(domains);
    EXPECT_EQ(ri.arity(), 2u);
    EXPECT_TRUE(same(ri.domain(1), iset(4)));
    EXPECT_FALSE(ri.reduced_between_activations(0));
    EXPECT_EQ(ri.originating_queue(), constraint_runtime_info::VARIABLE_QUEUE);
    EXPECT_EQ(error_of([&] { ri.put_in_queue(constraint_runtime_info::CONSTRAINT_QUEUE); }),
              "Can't put_in_queue for reference_info");
    EXPECT_EQ(error_of([&] { ri.set_domain(0, iset(1)); }),
              "Can't domain_update for reference_info");
    EXPECT_EQ(error_of([&] { ri.allocate_watch(0, watch_types::MODIFICATION_WATCH); }),
              "Can't allocate_watch reference_info");
    EXPECT_EQ(error_of([&] { ri.allocate_value_watch(0, 1); }),
              "Can't allocate_watch reference_info");
    EXPECT_EQ(error_of([&] {
                  ri.deallocate_watch(0, watch_types::MODIFICATION_WATCH, watch_handle_t());
              }),
              "Can't deallocate_watch reference_info");
    EXPECT_EQ(error_of([&] { ri.deallocate_value_watch(0, 1, watch_handle_t()); }),
              "Can't deallocate_watch reference_info");
}

// An explicit view that reports its queue and which parameters were
// narrowed, and counts the calls made on it.
class recording_view : public constraint_explicit_info {
public:
    explicit recording_view(const std::vector<iset>& domains,
                            queue_type queue = CONSTRAINT_QUEUE)
        : constraint_explicit_info(static_cast<unsigned>(domains.size())), m_queue(queue),
          m_reduced(domains.size(), true) {
        for (unsigned p = 0; p < domains.size(); ++p)
            constraint_explicit_info::set_domain(p, domains[p]);
    }
    bool reduced_between_activations(unsigned param) const override {
        return m_reduced.at(param);
    }
    queue_type originating_queue() const override { return m_queue; }
    void put_in_queue(queue_type queue) override { queued.push_back(queue); }
    const iset& domain(unsigned param) const override {
        ++reads;
        return constraint_explicit_info::domain(param);
    }
    void set_domain(unsigned param, iset domain) override {
        ++set_calls;
        constraint_explicit_info::set_domain(param, std::move(domain));
    }
    void reduced_only(std::vector<unsigned> params) {
        m_reduced.assign(m_reduced.size(), false);
        for (unsigned p : params)
            m_reduced[p] = true;
    }

    std::vector<queue_type> queued;
    mutable unsigned reads = 0;
    unsigned set_calls = 0;

private:
    queue_type m_queue;
    std::vector<bool> m_reduced;
};

TEST(AllDifferentPropagator, RunsOnlyFromTheConstraintQueue) {
    all_different_propagator p;
    recording_view ri({iset(1, 2), iset(1, 2), iset(1, 3)},
                      constraint_runtime_info::VARIABLE_QUEUE);
    EXPECT_EQ(p.propagate(ri), propagation_types::POSTPONE);
    EXPECT_EQ(ri.queued,
              std::vector<constraint_runtime_info::queue_type>{
                  constraint_runtime_info::CONSTRAINT_QUEUE});
    EXPECT_EQ(ri.reads, 0u);
    EXPECT_EQ(ri.set_calls, 0u);
}

TEST(AllDifferentPropagator, BigParameterLosesWhatItsProxyLoses) {
    // z is big; its proxy {0, 1, 2} is pruned to {0}, so z loses 1 and 2.
    all_different_propagator p;
    recording_view ri({iset(1, 2), iset(1, 2), iset(1, 3)});
    ri.reduced_only({0});
    std::vector<unsigned char> marks;
    all_different_propagator::find_big_parameters(ri, marks);
    EXPECT_EQ(marks, (std::vector<unsigned char>{0, 0, 1}));
    std::vector<iset> domains;
    bool added = false;
    EXPECT_TRUE(all_different_propagator::get_small_parameters(ri, marks, domains, added));
    EXPECT_TRUE(added);
    ASSERT_EQ(domains.size(), 3u);
    EXPECT_TRUE(same(domains[2], iset(0, 2)));
    EXPECT_EQ(p.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_EQ(ri.set_calls, 3u);
    EXPECT_TRUE(same(ri.domain(0), iset(1, 2)));
    EXPECT_TRUE(same(ri.domain(1), iset(1, 2)));
    EXPECT_TRUE(same(ri.domain(2), iset(3)));
}

TEST(AllDifferentPropagator, ProxyValueOutsideTheSmallValues) {
    // The proxy's extra value lies below the small values, else above them,
    // and always within the values a domain can hold.
    const std::vector<std::vector<iset>> cases = {
        {iset(0, 1), iset(0, 1), iset(0, 5)},
        {iset(MIN_DOMAIN, MIN_DOMAIN + 1), iset(MIN_DOMAIN, MIN_DOMAIN + 1),
         iset(MIN_DOMAIN, MIN_DOMAIN + 5)},
        {iset(MAX_DOMAIN - 1, MAX_DOMAIN), iset(MAX_DOMAIN - 1, MAX_DOMAIN),
         iset(MAX_DOMAIN - 5, MAX_DOMAIN)},
    };
    for (const std::vector<iset>& c : cases) {
        auto ri = view_of(c);
        std::vector<unsigned char> marks;
        all_different_propagator::find_big_parameters(ri, marks);
        ASSERT_EQ(marks, (std::vector<unsigned char>{0, 0, 1}));
        iset small_union(c[0]);
        const iset proxy = all_different_propagator::get_big_domain(ri, marks, small_union);
        EXPECT_EQ(proxy.size(), 3u) << proxy;
        EXPECT_TRUE(proxy.contains_all_of(small_union));
        iset extra(proxy);
        extra.erase_all_of(small_union);
        EXPECT_EQ(extra.size(), 1u) << proxy;
        EXPECT_EQ(all_different_propagator().propagate(ri), propagation_types::CONSISTENT);
        iset left(c[2]);
        left.erase_all_of(small_union);
        EXPECT_TRUE(same(ri.domain(2), left)) << ri.domain(2);
    }
#if !QARN_SMALL_DOMAINS
    // The small values hold both ends: the extra value fills a gap.
    iset ends(MIN_DOMAIN);
    ends.insert(iset::range_type(MAX_DOMAIN, MAX_DOMAIN));
    iset wide(MIN_DOMAIN, MIN_DOMAIN + 10);
    wide.insert(iset::range_type(MAX_DOMAIN, MAX_DOMAIN));
    auto ri = view_of({ends, ends, wide});
    std::vector<unsigned char> marks;
    all_different_propagator::find_big_parameters(ri, marks);
    const iset proxy = all_different_propagator::get_big_domain(ri, marks, ends);
    EXPECT_EQ(proxy.size(), 3u);
    EXPECT_TRUE(proxy.contains(MIN_DOMAIN + 1));
    EXPECT_EQ(all_different_propagator().propagate(ri), propagation_types::CONSISTENT);
    EXPECT_TRUE(same(ri.domain(2), iset(MIN_DOMAIN + 1, MIN_DOMAIN + 10)));
#endif
}

TEST(AllDifferentPropagator, BigParameters) {
    std::vector<unsigned char> marks;
    // Two parameters of ten values: both big (m = 2, limit 1).
    auto two = view_of({iset(0, 9), iset(0, 9)});
    all_different_propagator::find_big_parameters(two, marks);
    EXPECT_EQ(marks, (std::vector<unsigned char>{1, 1}));
    EXPECT_FALSE(all_different_propagator().conflicts(two));
    EXPECT_EQ(all_different_propagator().propagate(two), propagation_types::CONSISTENT);
    // Singletons that nothing else can take leave room for the others.
    auto lonely = view_of({iset(20), iset(21), iset(0, 1), iset(0, 2)});
    EXPECT_EQ(all_different_propagator::count_unique_singletons(lonely), 2u);
    all_different_propagator::find_big_parameters(lonely, marks);
    EXPECT_EQ(marks, (std::vector<unsigned char>{0, 0, 1, 1}));
    auto shared = view_of({iset(1), iset(1), iset(2), iset(0, 2), iset(5, 6)});
    EXPECT_EQ(all_different_propagator::count_unique_singletons(shared), 0u);
#if !QARN_SMALL_DOMAINS
    // A domain of every value is always big.
    iset all;
    all.complement();
    auto full = view_of({iset(1, 2), iset(1, 2), all});
    all_different_propagator::find_big_parameters(full, marks);
    EXPECT_EQ(marks, (std::vector<unsigned char>{0, 0, 1}));
    EXPECT_EQ(all_different_propagator().propagate(full), propagation_types::CONSISTENT);
    iset rest(all);
    rest.erase(iset::range_type(1, 2));
    EXPECT_TRUE(same(full.domain(2), rest));
#endif
}

TEST(AllDifferentPropagator, Conflicts) {
    all_different_propagator p;
    // Two fixed to one value, one of them just narrowed.
    recording_view same_value({iset(3), iset(3), iset(1, 5)});
    same_value.reduced_only({1});
    EXPECT_TRUE(p.conflicts(same_value));
    EXPECT_EQ(p.propagate(same_value), propagation_types::UNSAT);
    // Three over two values and a big fourth: no graph needed.
    auto crowded = view_of({iset(1, 2), iset(1, 2), iset(1, 2), iset(0, 9)});
    EXPECT_TRUE(p.conflicts(crowded));
    EXPECT_EQ(p.propagate(crowded), propagation_types::UNSAT);
    // A Hall violation among the small parameters only.
    auto hall = view_of({iset(1, 2), iset(1, 2), iset(2), iset(3, 4), iset(0, 9)});
    EXPECT_TRUE(p.conflicts(hall));
    EXPECT_EQ(p.propagate(hall), propagation_types::UNSAT);
    auto fine = view_of({iset(1, 2), iset(1, 3), iset(2), iset(0, 9)});
    EXPECT_FALSE(p.conflicts(fine));
}

TEST(AllDifferentPropagator, NothingToDoWithoutSmallNarrowing) {
    // Only a parameter with at least as many values as the unfixed
    // parameters was narrowed: one pass over the domains, nothing set.
    all_different_propagator p;
    recording_view ri({iset(4), iset(1, 2), iset(1, 2), values({3, 5, 6, 7})});
    ri.reduced_only({3});
    EXPECT_EQ(p.propagate(ri), propagation_types::CONSISTENT);
    EXPECT_EQ(ri.set_calls, 0u);
}

TEST(AllDifferentPropagator, CheckAndPrint) {
    all_different_propagator p;
    EXPECT_EQ(p.count_params(), ANY_PARAM_COUNT);
    EXPECT_EQ(all_different_propagator(3).clone()->count_params(), 3u);
    EXPECT_FALSE(p.constraint_check(view_of({iset(3), iset(5), iset(3)})));
    EXPECT_TRUE(p.constraint_check(view_of({iset(3), iset(5), iset(4)})));
    EXPECT_EQ(printed(p, nullptr), "all_different");
    auto ri = view_of({iset(1, 2), iset(4)});
    EXPECT_EQ(printed(p, &ri), "constraint all_different(P0{" + text(iset(1, 2)) + "}, P1{4})");
}

// ---------------------------------------------------------------------------
// Explanations

struct names : variable_print_strategy {
    void print(std::ostream& os, unsigned var) const override { os << "x" << var; }
};

TEST(AllDifferentExplanation, BigParameterExplainedAsTheProxy) {
    all_different_propagator p;
    const std::vector<iset> domains = {iset(1, 2), iset(1, 2), iset(1, 3)};
    std::vector<iset> out;
    p.explain_propagation(2, iset(1, 3), iset(3), view_of(domains), out);
    ASSERT_EQ(out.size(), 3u);
    iset outside(1, 2);
    outside.complement();
    for (const iset& s : out)
        EXPECT_TRUE(same(s, outside)) << s;
    const std::unique_ptr<explanation_rule> r = p.rule(out);
    ASSERT_TRUE(r);
    const auto& hall = dynamic_cast<const all_different_propagator::all_diff_rule&>(*r);
    EXPECT_EQ(hall.arity(), 3u);
    EXPECT_TRUE(same(hall.values(), iset(1, 2)));
    EXPECT_EQ(hall.parameters(), (std::vector<unsigned>{0, 1, 2}));
    std::ostringstream os;
    r->print(os, names(), {7, 8, 9});
    EXPECT_EQ(os.str(), "ALL_DIFF({" + text(iset(1, 2)) + "}, x7, x8, x9)");
    EXPECT_NE(error_of([&] {
                  std::ostringstream sink;
                  r->print(sink, names(), {7, 8});
              }),
              "<no error>");
}

TEST(AllDifferentExplanation, ConflictStartsFromTheUnmatchedParameter) {
    // x, y ∈ {1, 2}, z = 2, w free: z is left unmatched.
    all_different_propagator p;
    const std::vector<iset> domains = {iset(1, 2), iset(1, 2), iset(2), iset(5, 6)};
    std::vector<iset> out;
    p.explain_propagation(0, iset(), iset(), view_of(domains), out);
    ASSERT_EQ(out.size(), 4u);
    iset outside(1, 2);
    outside.complement();
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_TRUE(same(out[i], outside)) << i << ": " << out[i];
    EXPECT_TRUE(out[3].empty());
}

TEST(AllDifferentExplanation, RuleExpandsToItsSets) {
    iset values(4, 6);
    all_different_propagator::all_diff_rule r(4, values, {0, 2});
    std::vector<iset> out = {iset(1)};
    r.get_explanation(out);
    ASSERT_EQ(out.size(), 4u);
    iset outside(values);
    outside.complement();
    EXPECT_TRUE(same(out[0], outside));
    EXPECT_TRUE(out[1].empty());
    EXPECT_TRUE(same(out[2], outside));
    EXPECT_TRUE(out[3].empty());
    const std::unique_ptr<explanation_rule> copy = r.clone();
    std::vector<iset> again;
    copy->get_explanation(again);
    EXPECT_EQ(again.size(), 4u);
    // Explanations of another form have no rule.
    all_different_propagator p;
    EXPECT_FALSE(p.rule({iset(), iset()}));
    EXPECT_FALSE(p.rule({iset(1), iset(2)}));
}

TEST(AllDifferentExplanation, NoHallSetGivesThePlainExplanation) {
    // Asked for a conflict where the graph has a perfect matching, or for a
    // value the graph keeps: a Hall set would be a false clause, so the
    // answer is the plain one.
    all_different_propagator p;
    const struct {
        std::vector<iset> domains;
        unsigned param;
        iset new_domain;
    } cases[] = {
        {{iset(1, 2), iset(1, 2), iset(3)}, 0, iset()},
        {{iset(1, 2), iset(1, 2), iset(0, 5), iset(0, 5)}, 0, iset()},
        {{iset(1, 2), iset(1, 3), iset(3, 4)}, 1, iset(1)},
        // A big parameter narrowed by something else.
        {{iset(1, 2), iset(1, 2), iset(1, 5)}, 2, iset(1, 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(text(c.domains));
        auto ri = view_of(c.domains);
        iset removed(c.domains[c.param]);
        removed.erase_all_of(c.new_domain);
        std::vector<iset> out, plain;
        p.explain_propagation(c.param, removed, c.new_domain, ri, out);
        explanation_generators::explain_propagation(c.param, removed, c.new_domain, ri, plain);
        ASSERT_EQ(out.size(), plain.size());
        for (unsigned i = 0; i < out.size(); ++i)
            EXPECT_TRUE(same(out[i], plain[i])) << i << ": " << out[i];
    }
}

// ---------------------------------------------------------------------------
// Deep alternating paths

#if !QARN_SMALL_DOMAINS
// x_i ∈ {i, i+1} (or mirrored: x_i ∈ {n-1-i, n-i}). With `tight` the last
// parameter is fixed, which forces every other one down the chain; without,
// one value stays free at the end of a path through every node.
std::vector<iset> chain(unsigned n, bool mirrored, bool tight) {
    std::vector<iset> domains(n);
    for (unsigned i = 0; i < n; ++i) {
        const int lo = mirrored ? static_cast<int>(n - 1 - i) : static_cast<int>(i);
        domains[i] = iset(lo, lo + 1);
    }
    if (tight)
        domains[mirrored ? 0 : n - 1] = iset(static_cast<int>(n - 1));
    return domains;
}

TEST(AllDifferentDeep, HundredThousandVariables) {
    const unsigned n = 100000;
    all_different_propagator p;
    for (bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "mirrored" : "ascending");
        auto loose = view_of(chain(n, mirrored, false));
        EXPECT_EQ(p.propagate(loose), propagation_types::CONSISTENT);
        for (unsigned i = 0; i < n; i += 997)
            EXPECT_EQ(loose.domain(i).size(), 2u) << i;

        const std::vector<iset> domains = chain(n, mirrored, true);
        auto tight = view_of(domains);
        EXPECT_EQ(p.propagate(tight), propagation_types::CONSISTENT);
        for (unsigned i = 0; i < n; ++i)
            ASSERT_EQ(tight.domain(i).size(), 1u) << i;
        // Removing the upper value of the parameter at the far end is
        // explained by the Hall set of all the others.
        const unsigned far = mirrored ? n - 1 : 0;
        const int low = domains[far].min();
        std::vector<iset> out;
        p.explain_propagation(far, iset(low + 1), iset(low), view_of(domains), out);
        ASSERT_EQ(out.size(), n);
        iset outside(low + 1, low + static_cast<int>(n) - 1);
        outside.complement();
        for (unsigned i = 0; i < n; ++i)
            ASSERT_TRUE(same(out[i], outside)) << i;
    }
}
#endif

// ---------------------------------------------------------------------------
// Models solved by the engine

struct model {
    std::vector<iset> domains;
    std::vector<std::vector<unsigned>> scopes; // one all-different each
};

model random_model(std::mt19937& rng) {
    model m;
    const unsigned vars = 3 + rng() % 4;
    for (unsigned v = 0; v < vars; ++v) {
        const int lo = static_cast<int>(rng() % 4);
        iset d(lo, lo + 1 + static_cast<int>(rng() % 2));
        if (rng() % 3 == 0)
            d.erase(iset::range_type(lo + 1, lo + 1));
        m.domains.push_back(d);
    }
    const unsigned constraints = 1 + rng() % 4;
    for (unsigned c = 0; c < constraints; ++c) {
        std::vector<unsigned> scope;
        for (unsigned v = 0; v < vars; ++v)
            if (rng() % 3 != 0)
                scope.push_back(v);
        if (scope.size() >= 2)
            m.scopes.push_back(scope);
    }
    return m;
}

std::set<tuple> all_solutions(const model& m) {
    std::set<tuple> found;
    harness_detail::for_each_tuple(harness_detail::domain_values(view_of(m.domains)),
                                   [&](const tuple& t) {
                                       for (const std::vector<unsigned>& scope : m.scopes) {
                                           tuple part;
                                           for (unsigned v : scope)
                                               part.push_back(t[v]);
                                           if (!pairwise_different(part))
                                               return;
                                       }
                                       found.insert(t);
                                   });
    return found;
}

void build(solver& s, const model& m) {
    for (unsigned v = 0; v < m.domains.size(); ++v)
        s.add_var(m.domains[v], ("x" + std::to_string(v)).c_str(), false);
    for (const std::vector<unsigned>& scope : m.scopes) {
        constraint_connectivity_info& record =
            s.add_constraint(std::make_unique<all_different_propagator>());
        for (unsigned v : scope)
            record << v;
    }
}

TEST(AllDifferentModels, SolverAgreesWithEnumeration) {
    std::mt19937 rng(4242);
    unsigned sat = 0, unsat = 0;
    for (unsigned i = 0; i < 250; ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        const model m = random_model(rng);
        const std::set<tuple> expected = all_solutions(m);
        ++(expected.empty() ? unsat : sat);
        solver s;
        build(s, m);
        s.m_all_solutions = true;
        std::ostringstream out;
        const solver::result_type r = s.solve(&out);
        EXPECT_EQ(r, expected.empty() ? solver::UNSAT : solver::SAT_DONE);
        EXPECT_EQ(printed_solution_set(out.str()), expected);
    }
    EXPECT_GT(sat, 20u);
    EXPECT_GT(unsat, 20u);
}

TEST(AllDifferentModels, Pigeonhole) {
    // n + 1 pigeons in n holes fail at once; n in n with two fixed is solved.
    for (unsigned n : {4u, 7u}) {
        solver s;
        model m;
        m.domains.assign(n + 1, iset(0, static_cast<int>(n) - 1));
        m.scopes.push_back({});
        for (unsigned v = 0; v <= n; ++v)
            m.scopes[0].push_back(v);
        build(s, m);
        EXPECT_EQ(s.solve(nullptr), solver::UNSAT);
    }
    solver s;
    model m;
    m.domains.assign(8, iset(0, 7));
    m.domains[2] = iset(5);
    m.domains[6] = iset(1);
    m.scopes.push_back({0, 1, 2, 3, 4, 5, 6, 7});
    build(s, m);
    ASSERT_EQ(s.solve(nullptr), solver::SAT);
    tuple a;
    for (unsigned v = 0; v < 8; ++v) {
        ASSERT_EQ(s.domain(v).size(), 1u);
        a.push_back(s.domain(v).min());
    }
    EXPECT_TRUE(pairwise_different(a));
    EXPECT_EQ(a[2], 5);
    EXPECT_EQ(a[6], 1);
}

}  // namespace all_different_test
