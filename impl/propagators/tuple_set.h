// Compression of integer tuples into boxes of sets.
//
// A tuple_set stores tuples of sets (S_1, ..., S_k); each stands for every
// integer tuple of S_1 x ... x S_k, and the union of these boxes is exactly
// the set of integer tuples inserted. Insertion folds runs of tuples that
// agree on all but their last value into one box (sorted input folds in one
// pass), then merges boxes that differ in one column only, column by column.
// Every stored tuple has the column count of the first one; tuples of another
// length are rejected.
#pragma once

#include <iosfwd>
#include <vector>

#include "impl/sets/big_iset.h"

namespace qarn {

class tuple_set {
public:
    typedef big_model::iset iset;
    typedef std::vector<iset> box;

    // Strict weak order on boxes that ignores one column: longer boxes first,
    // then by the first other column whose sets differ, the set holding the
    // least element of their symmetric difference first.
    struct order_ignoring_column {
        unsigned column;
        explicit order_ignoring_column(unsigned c) : column(c) {}
        bool operator()(const box& a, const box& b) const;
    };

    // Adds integer tuples, folding and merging them into the stored boxes.
    // Throws std::invalid_argument when a tuple's length differs from the
    // column count, before anything changes.
    void insert(const std::vector<std::vector<int>>& tuples);
    // Appends one tuple as a box of singletons, unmerged.
    void push_back(const std::vector<int>& tuple);
    // Merges stored boxes that differ in one column only.
    void merge_tuples();

    // Whether each of the first n sets is the singleton of the value at the
    // same position.
    static bool is_equal_prefix(unsigned n, const box& sets, const std::vector<int>& values);
    // Whether a and b have the same columns and equal sets outside column c.
    static bool is_equal_ignoring_column(unsigned c, const box& a, const box& b);

    const std::vector<box>& tuples() const { return m_tuples; }
    void show_self() const;

private:
    // Throws std::invalid_argument unless every tuple has the stored column
    // count (the first new tuple's while nothing is stored).
    void check_lengths(const std::vector<std::vector<int>>& tuples) const;

    std::vector<box> m_tuples;
};

// "[" then one "(set; set; ) " line per box, columns right-aligned when they
// fit in 78 characters, else one set per line; then "]".
std::ostream& operator<<(std::ostream& out, const tuple_set& set);

} // namespace qarn
