// Union-find with path compression; the larger root always survives.
#include "impl/model/equivalence_classes.h"

#include <algorithm>

#include "impl/engine/solver_types.h"

namespace qarn {

unsigned equivalence_classes::find(unsigned x) {
    auto is_root = [&](unsigned v) { return v >= m_parents.size() || m_parents[v] == NO_VARIABLE; };
    unsigned root = x;
    while (!is_root(root))
        root = m_parents[root];
    while (!is_root(x)) {
        const unsigned next = m_parents[x];
        m_parents[x] = root;
        x = next;
    }
    return root;
}

void equivalence_classes::unite(unsigned a, unsigned b) {
    const unsigned ra = find(a), rb = find(b);
    if (ra == rb)
        return;
    const unsigned smaller = std::min(ra, rb), larger = std::max(ra, rb);
    if (smaller >= m_parents.size())
        m_parents.resize(smaller + 1, NO_VARIABLE);
    m_parents[smaller] = larger;
}

} // namespace qarn
