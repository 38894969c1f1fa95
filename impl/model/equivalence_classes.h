// Union-find over variable indices. The representative of a class is its
// largest index; an index at or beyond the parent vector's end, or whose
// entry is NO_VARIABLE, is a root, so a new variable needs no entry.
#pragma once

#include <vector>

namespace qarn {

class equivalence_classes {
public:
    // The representative of x's class; compresses the path from x.
    unsigned find(unsigned x);
    // Joins the classes of a and b under the larger representative.
    void unite(unsigned a, unsigned b);

private:
    std::vector<unsigned> m_parents;
};

} // namespace qarn
