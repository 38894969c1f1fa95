// Tuple compression: folding of sorted runs, merging column by column, and
// the text form.
#include "impl/propagators/tuple_set.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "impl/support/ios_state_restore.h"

namespace qarn {

namespace {

// Most sets are singletons: they are compared by their one element.
bool both_singletons(const tuple_set::iset& a, const tuple_set::iset& b) {
    return a.size() == 1 && b.size() == 1;
}

bool same_set(const tuple_set::iset& a, const tuple_set::iset& b) {
    if (both_singletons(a, b))
        return a.min() == b.min();
    return a.size() == b.size() && a.empty() == b.empty() && big_iset::same_elements(a, b);
}

// The least element of a minus b; a must not be a subset of b. Only sets
// whose least element lies in b are copied.
int min_of_difference(const tuple_set::iset& a, const tuple_set::iset& b) {
    if (!b.contains(a.min()))
        return a.min();
    tuple_set::iset rest(a);
    rest.erase_all_of(b);
    return rest.min();
}

std::string set_text(const tuple_set::iset& set) {
    std::ostringstream text;
    text << set;
    return text.str();
}

} // namespace

bool tuple_set::order_ignoring_column::operator()(const box& a, const box& b) const {
    if (a.size() != b.size())
        return a.size() > b.size();
    for (unsigned j = 0; j < a.size(); ++j) {
        if (j == column || same_set(a[j], b[j]))
            continue;
        if (both_singletons(a[j], b[j]))
            return a[j].min() < b[j].min();
        if (b[j].contains_all_of(a[j]))
            return false; // a_j minus b_j is empty
        if (a[j].contains_all_of(b[j]))
            return true; // b_j minus a_j is empty
        return min_of_difference(a[j], b[j]) < min_of_difference(b[j], a[j]);
    }
    return false;
}

bool tuple_set::is_equal_prefix(unsigned n, const box& sets, const std::vector<int>& values) {
    if (n > sets.size() || n > values.size())
        return false;
    for (unsigned i = 0; i < n; ++i)
        if (sets[i].size() != 1 || !sets[i].contains(values[i]))
            return false;
    return true;
}

bool tuple_set::is_equal_ignoring_column(unsigned c, const box& a, const box& b) {
    if (a.size() != b.size())
        return false;
    for (unsigned j = 0; j < a.size(); ++j)
        if (j != c && !same_set(a[j], b[j]))
            return false;
    return true;
}

void tuple_set::check_lengths(const std::vector<std::vector<int>>& tuples) const {
    const std::size_t k = m_tuples.empty() ? tuples.front().size() : m_tuples.front().size();
    for (const std::vector<int>& t : tuples) {
        if (t.size() != k) {
            std::ostringstream msg;
            msg << "A tuple of " << t.size() << " values among tuples of " << k << " columns";
            throw std::invalid_argument(msg.str());
        }
    }
}

void tuple_set::insert(const std::vector<std::vector<int>>& tuples) {
    if (tuples.empty())
        return;
    check_lengths(tuples);
    const unsigned k = static_cast<unsigned>(tuples.front().size());
    if (k == 0) {
        m_tuples.emplace_back();
        return;
    }
    for (const std::vector<int>& t : tuples) {
        if (!m_tuples.empty() && is_equal_prefix(k - 1, m_tuples.back(), t))
            m_tuples.back()[k - 1].insert(iset::range_type(t[k - 1], t[k - 1]));
        else
            push_back(t);
    }
    merge_tuples();
}

void tuple_set::push_back(const std::vector<int>& tuple) {
    if (!m_tuples.empty())
        check_lengths({tuple});
    box sets;
    sets.reserve(tuple.size());
    for (int v : tuple)
        sets.emplace_back(v);
    m_tuples.push_back(std::move(sets));
}

void tuple_set::merge_tuples() {
    if (m_tuples.empty())
        return;
    const unsigned k = static_cast<unsigned>(m_tuples.front().size());
    for (unsigned c = 0; c < k; ++c) {
        if (m_tuples.size() == 1)
            return;
        std::sort(m_tuples.begin(), m_tuples.end(), order_ignoring_column(c));
        // Neighbours equal outside column c merge into the lower one; the
        // last box fills the hole, behind the walk.
        for (std::size_t i = m_tuples.size() - 1; i >= 1; --i) {
            const std::size_t j = i - 1;
            if (!is_equal_ignoring_column(c, m_tuples[j], m_tuples[i]))
                continue;
            m_tuples[j][c].insert_all_of(m_tuples[i][c]);
            if (i != m_tuples.size() - 1)
                m_tuples[i] = std::move(m_tuples.back());
            m_tuples.pop_back();
        }
    }
}

void tuple_set::show_self() const {
    std::cout << *this << std::endl;
}

std::ostream& operator<<(std::ostream& out, const tuple_set& set) {
    const std::vector<tuple_set::box>& tuples = set.tuples();
    if (tuples.empty())
        return out << "[]";
    std::vector<std::vector<std::string>> texts;
    texts.reserve(tuples.size());
    std::vector<std::size_t> widths;
    for (const tuple_set::box& box : tuples) {
        std::vector<std::string> row;
        row.reserve(box.size());
        for (std::size_t j = 0; j < box.size(); ++j) {
            row.push_back(set_text(box[j]));
            if (widths.size() <= j)
                widths.push_back(0);
            widths[j] = std::max(widths[j], row.back().size());
        }
        texts.push_back(std::move(row));
    }
    std::size_t total = 0;
    for (std::size_t w : widths)
        total += w + 2;
    const bool aligned = total <= 78;

    ios_state_restore guard(out);
    out << '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i != 0)
            out << ' ';
        out << '(';
        for (std::size_t j = 0; j < texts[i].size(); ++j) {
            if (aligned)
                out << std::setw(static_cast<int>(widths[j])) << std::right << texts[i][j] << "; ";
            else
                out << texts[i][j] << ";\n   ";
        }
        out << (aligned ? ") \n" : "\n ) \n");
    }
    return out << ']';
}

} // namespace qarn
