// Printing, ordering, canonical form and comparison of literals and clauses.
#include "impl/learning/literal_data.h"

#include <algorithm>

namespace qarn {

void literal_data::print_right_hand_side(std::ostream& os, const iset& values) {
    if (values.size() == 1) {
        os << '=' << values;
        return;
    }
    if (values.empty()) {
        os << ":{}";
        return;
    }
    iset::iterator it = values.begin();
    const iset::iterator end = values.end();
    const iset::range_type first = it.current_range();
    it.advance_range();
    if (it == end) {
        if (first.first == MIN_DOMAIN) {
            os << "<=" << first.second;
            return;
        }
        if (first.second == MAX_DOMAIN) {
            os << ">=" << first.first;
            return;
        }
    } else {
        const iset::range_type second = it.current_range();
        it.advance_range();
        // Everything but one value: the gap between the two ranges is one wide.
        if (it == end && first.first == MIN_DOMAIN && second.second == MAX_DOMAIN &&
            static_cast<long long>(first.second) + 2 == static_cast<long long>(second.first)) {
            os << "!=" << first.second + 1;
            return;
        }
    }
    os << ":{" << values << '}';
}

void literal_data::print(std::ostream& os, const variable_printer& variable,
                         const iset& values) {
    os << variable;
    print_right_hand_side(os, values);
}

void clause_data::print(std::ostream& os, const variable_print_strategy& strategy) const {
    os << '[';
    bool first = true;
    for (const literal_data& literal : *this) {
        if (!first)
            os << ", ";
        first = false;
        literal_data::print(os, variable_printer{&strategy, literal.variable}, literal.values);
    }
    os << ']';
}

void clause_data::sort() {
    std::sort(begin(), end(), [](const literal_data& a, const literal_data& b) {
        return a.variable < b.variable;
    });
}

void clause_data::canonicalize() {
    sort();
    // Each run of literals on one variable accumulates into its last member.
    for (size_type i = 1; i < size(); ++i) {
        literal_data& previous = (*this)[i - 1];
        literal_data& current = (*this)[i];
        if (previous.variable != current.variable)
            continue;
        current.values.insert_all_of(previous.values);
        previous.values = iset();
    }
    size_type kept = 0;
    for (size_type i = 0; i < size(); ++i) {
        literal_data& literal = (*this)[i];
        if (literal.values.empty())
            continue;
        if (kept != i)
            (*this)[kept] = std::move(literal);
        (*this)[kept].values.compact();
        ++kept;
    }
    erase(begin() + static_cast<difference_type>(kept), end());
}

bool clause_data::equivalent(const clause_data& other) const {
    if (other.size() > size())
        return other.equivalent(*this);
    // Cheap test before the canonical copies: every variable of a non-empty
    // literal here must occur in the smaller clause.
    if (other.size() < 5) {
        for (const literal_data& literal : *this) {
            if (literal.values.empty())
                continue;
            bool found = std::any_of(other.begin(), other.end(), [&](const literal_data& o) {
                return o.variable == literal.variable;
            });
            if (!found)
                return false;
        }
    }
    clause_data a(*this), b(other);
    a.canonicalize();
    b.canonicalize();
    if (a.size() != b.size())
        return false;
    for (size_type i = 0; i < a.size(); ++i) {
        if (a[i].variable != b[i].variable || a[i].values.size() != b[i].values.size() ||
            !iset::same_elements(a[i].values, b[i].values))
            return false;
    }
    return true;
}

} // namespace qarn
