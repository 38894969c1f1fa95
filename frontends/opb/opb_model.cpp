// The OPB model: variables, hash-consed products, weighted sums and
// constraints with their normal forms, objective evaluation and the
// solution line.
#include "frontends/opb/opb_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <unordered_map>

#include "impl/engine/solver.h"

namespace qarn::opb {

// ---------------------------------------------------------------------------
// Variables

variable::~variable() {
    std::free(m_name);
}

std::uint64_t variable::hash() const {
    std::uint64_t h = 1;
    for (const char* p = m_name; *p != '\0'; ++p)
        h = h * 1523 + static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<signed char>(*p)));
    return h;
}

// ---------------------------------------------------------------------------
// Products

namespace {

// By name; for one variable the negative literal first.
bool literal_less(const literal_type& a, const literal_type& b) {
    const int by_name = std::strcmp(a.var->name(), b.var->name());
    if (by_name != 0)
        return by_name < 0;
    return a.polarity < b.polarity;
}

} // namespace

void conjunction::normalize() {
    for (literal_type& l : m_literals)
        l.polarity = l.polarity > 0 ? 1 : -1;
    std::sort(m_literals.begin(), m_literals.end(), literal_less);
    m_literals.erase(std::unique(m_literals.begin(), m_literals.end(),
                                 [](const literal_type& a, const literal_type& b) {
                                     return a.polarity == b.polarity && a.var == b.var;
                                 }),
                     m_literals.end());
    for (std::size_t i = 1; i < m_literals.size(); ++i) {
        if (m_literals[i].var == m_literals[i - 1].var) {
            m_literals.clear();
            m_contradictory = true;
            return;
        }
    }
}

std::uint64_t conjunction::hash() const {
    if (m_contradictory)
        return 0;
    std::uint64_t h = 1;
    for (const literal_type& l : m_literals)
        h = h * 98321 + l.var->hash() * static_cast<std::uint64_t>(static_cast<std::int64_t>(l.polarity));
    return h;
}

bool conjunction::same_literals(const conjunction& other) const {
    if (m_contradictory != other.m_contradictory || m_literals.size() != other.m_literals.size())
        return false;
    for (std::size_t i = 0; i < m_literals.size(); ++i)
        if (m_literals[i].var != other.m_literals[i].var ||
            m_literals[i].polarity != other.m_literals[i].polarity)
            return false;
    return true;
}

bool conjunction::operator<(const conjunction& other) const {
    if (m_contradictory || other.m_contradictory)
        return m_contradictory && !other.m_contradictory;
    const std::size_t n = std::min(m_literals.size(), other.m_literals.size());
    for (std::size_t i = 0; i < n; ++i) {
        const literal_type& a = m_literals[i];
        const literal_type& b = other.m_literals[i];
        if (a.var != b.var)
            return std::strcmp(a.var->name(), b.var->name()) < 0;
        if (a.polarity != b.polarity)
            return a.polarity < b.polarity;
    }
    return m_literals.size() < other.m_literals.size();
}

bool conjunction::evaluate(const context& ctx) const {
    const solver& s = ctx.owner();
    for (const literal_type& l : m_literals) {
        const bool set = s.domain(l.var->index()).min() != 0;
        if (set != (l.polarity >= 0))
            return false;
    }
    return !m_contradictory;
}

conjunction* conjunction::get_not(context& ctx) const {
    conjunction* result = nullptr;
    if (m_literals.size() == 1)
        result = ctx.record_unique_conjunction(
            std::make_unique<conjunction>(-m_literals[0].polarity, m_literals[0].var));
    if (ctx.trace_construction()) {
        std::cout << *this << ".get_not()->";
        if (result == nullptr)
            std::cout << "NULL\n";
        else
            std::cout << *result << "\n";
    }
    return result;
}

std::ostream& operator<<(std::ostream& os, const conjunction& c) {
    if (c.literals().empty())
        return os << "empty";
    bool first = true;
    for (const literal_type& l : c.literals()) {
        if (!first)
            os << ' ';
        first = false;
        if (l.polarity < 0)
            os << '~';
        os << l.var->name();
        if (l.var->index() != NO_VARIABLE)
            os << '[' << l.var->index() << ']';
    }
    return os;
}

// ---------------------------------------------------------------------------
// Weighted sums

namespace {

// Atoms over the same product: the plain one first; otherwise the product order.
bool compare_conjunctions(const expression::atom_type& a, const expression::atom_type& b) {
    if (a.product->same_literals(*b.product))
        return !a.negated && b.negated;
    return *a.product < *b.product;
}

} // namespace

void expression::negate_coefficients() {
    for (atom_type& a : m_atoms)
        a.coefficient = -a.coefficient;
}

bool expression::all_coefficients_positive() const {
    return std::all_of(m_atoms.begin(), m_atoms.end(),
                       [](const atom_type& a) { return a.coefficient >= 1; });
}

void expression::merge_similar_conjunctions() {
    std::stable_sort(m_atoms.begin(), m_atoms.end(), compare_conjunctions);
    for (std::size_t i = 1; i < m_atoms.size(); ++i) {
        if (m_atoms[i].product == m_atoms[i - 1].product) {
            m_atoms[i].coefficient += m_atoms[i - 1].coefficient;
            m_atoms[i - 1].coefficient = 0;
        }
    }
    std::erase_if(m_atoms, [](const atom_type& a) {
        return a.coefficient == 0 || a.product->contradictory();
    });
}

void expression::merge_repeated_products() {
    std::unordered_map<const conjunction*, std::size_t> first;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_atoms.size(); ++i) {
        const atom_type& a = m_atoms[i];
        auto [at, inserted] = first.try_emplace(a.product, kept);
        if (!inserted && m_atoms[at->second].negated == a.negated) {
            m_atoms[at->second].coefficient += a.coefficient;
            continue;
        }
        m_atoms[kept++] = a;
    }
    m_atoms.resize(kept);
}

void expression::make_atoms_positive(std::int64_t& k) {
    for (atom_type& a : m_atoms) {
        if (a.coefficient < 0) {
            a.negated = !a.negated;
            k -= a.coefficient;
            a.coefficient = -a.coefficient;
        }
    }
}

void expression::normalize(context& ctx, std::int64_t& k) {
    if (m_atoms.empty())
        return;
    for (atom_type& a : m_atoms) {
        if (a.product->literals().size() == 1 && a.product->literals()[0].polarity < 0) {
            a.product = a.product->get_not(ctx);
            a.negated = !a.negated;
        }
    }
    // c * not(P) = c - c * P
    for (atom_type& a : m_atoms) {
        if (a.negated) {
            k -= a.coefficient;
            a.coefficient = -a.coefficient;
            a.negated = false;
        }
    }
    merge_similar_conjunctions();
    make_atoms_positive(k);
    std::stable_sort(m_atoms.begin(), m_atoms.end(), compare_conjunctions);
}

int expression::evaluate(const context& ctx) const {
    std::int64_t sum = 0;
    for (const atom_type& a : m_atoms)
        if (a.product->evaluate(ctx) != a.negated)
            sum += a.coefficient;
    sum = std::clamp<std::int64_t>(sum, std::numeric_limits<int>::min(),
                                   std::numeric_limits<int>::max());
    return static_cast<int>(sum);
}

std::ostream& operator<<(std::ostream& os, const expression& e) {
    if (e.atoms().empty())
        return os << "empty_sum";
    bool first = true;
    for (const expression::atom_type& a : e.atoms()) {
        if (!first)
            os << ' ';
        first = false;
        if (a.coefficient >= 0)
            os << '+';
        os << a.coefficient << ' ';
        if (!a.negated)
            os << *a.product;
        else if (a.product->literals().size() < 2)
            os << '~' << *a.product;
        else
            os << "~(" << *a.product << ')';
    }
    return os;
}

// ---------------------------------------------------------------------------
// Constraints

void constraint::normalize(context& ctx) {
    if (ctx.trace_construction())
        std::cout << '[' << *this << "].normalize()\n";
    m_expression->normalize(ctx, m_k);
    // Every coefficient is now positive, so every sum is at least 0.
    const bool empty = m_expression->atoms().empty();
    if (m_direction == AT_LEAST) {
        m_trivially_true = m_k <= 0;
        m_trivially_false = empty && m_k >= 1;
    } else if (empty) {
        m_trivially_true = m_k == 0;
        m_trivially_false = m_k != 0;
    }
    if (ctx.trace_construction())
        std::cout << "normalize()-->[" << *this << "]\n";
}

std::ostream& operator<<(std::ostream& os, constraint::direction d) {
    if (d == constraint::AT_LEAST)
        os << ">=";
    else if (d == constraint::EQUAL)
        os << '=';
    return os;
}

std::ostream& operator<<(std::ostream& os, const constraint& c) {
    os << c.sum() << c.relation() << c.k();
    if (c.trivially_false())
        os << ", i.e., false";
    else if (c.trivially_true())
        os << ", i.e., true";
    return os << ';';
}

// ---------------------------------------------------------------------------
// The context

bool context::name_less::operator()(const std::unique_ptr<variable>& a,
                                    const std::unique_ptr<variable>& b) const {
    return std::strcmp(a->name(), b->name()) < 0;
}

bool context::name_less::operator()(const std::unique_ptr<variable>& a, const char* b) const {
    return std::strcmp(a->name(), b) < 0;
}

bool context::name_less::operator()(const char* a, const std::unique_ptr<variable>& b) const {
    return std::strcmp(a, b->name()) < 0;
}

bool context::conjunction_hash_entry::operator<(const conjunction_hash_entry& other) const {
    if (hash != other.hash)
        return hash < other.hash;
    return *product < *other.product;
}

context::context(solver& s, std::istream* input, std::string name)
    : m_solver(s), m_input(input), m_name(std::move(name)) {
    if (m_input != nullptr)
        m_input->unsetf(std::ios_base::skipws);
    init_scanner();
}

context::~context() {
    destroy_scanner();
    m_objective.reset();
    while (!m_constraints.empty())
        m_constraints.pop_back();
}

variable* context::get_variable(char* name) {
    auto found = m_variables.find(name);
    if (found != m_variables.end()) {
        std::free(name);
        return found->get();
    }
    std::unique_ptr<variable> fresh;
    try {
        fresh = std::make_unique<variable>(name);
    } catch (...) {
        std::free(name);
        throw;
    }
    return m_variables.insert(std::move(fresh)).first->get();
}

conjunction* context::record_unique_conjunction(std::unique_ptr<conjunction> product) {
    product->normalize();
    conjunction_hash_entry entry{product->hash(), std::move(product)};
    auto found = m_products.find(entry);
    if (found != m_products.end())
        return found->product.get(); // the new product dies with the entry
    return m_products.insert(std::move(entry)).first->product.get();
}

void context::add_constraint(std::unique_ptr<constraint> c) {
    c->normalize(*this);
    m_constraints.push_back(std::move(c));
}

void context::set_objective(std::unique_ptr<expression> e, direction d) {
    m_objective = std::move(e);
    m_direction = d;
    // A product named twice is one atom: its variable must not be summed
    // with itself.
    m_objective->merge_repeated_products();
    if (trace_construction())
        std::cout << "objective[" << *m_objective << "].normalize()\n";
}

int context::evaluate_objective() const {
    return m_objective ? m_objective->evaluate(*this) : 0;
}

void context::print_solution(std::ostream& os) const {
    os << "v ";
    for (const std::unique_ptr<variable>& v : m_variables) {
        os << ' ';
        if (m_solver.domain(v->index()).min() == 0)
            os << '-';
        os << v->name();
    }
    os << std::endl;
}

bool context::trace_parsing() const {
    return m_solver.m_report_level > 2;
}

bool context::trace_construction() const {
    return m_solver.m_report_level > 1;
}

bool context::trace_failure() const {
    return m_solver.m_report_level > 0;
}

std::ostream& operator<<(std::ostream& os, const context& ctx) {
    for (std::size_t i = 0; i < ctx.constraints().size(); ++i)
        os << "constraint[" << i << "]: " << *ctx.constraints()[i] << "\n";
    return os;
}

} // namespace qarn::opb
