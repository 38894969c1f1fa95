// The domain model of this build: the set type every domain, literal and
// explanation is made of, and the limits of the values a domain may hold.
// QARN_SMALL_DOMAINS=1 selects the one-word set over 0..31, otherwise the
// strided set over all 32-bit values. Shared sources name only qarn::iset,
// qarn::MIN_DOMAIN and qarn::MAX_DOMAIN.
#pragma once

#include <cstddef>
#include <vector>

#if QARN_SMALL_DOMAINS
#include "impl/sets/small_iset.h"
namespace qarn {
namespace model = small_model;
}
#else
#include "impl/sets/big_iset.h"
namespace qarn {
namespace model = big_model;
}
#endif

namespace qarn {

typedef model::iset iset;

constexpr int MIN_DOMAIN = iset::MIN_DOMAIN;
constexpr int MAX_DOMAIN = iset::MAX_DOMAIN;

// Whether two lists of sets have the same length and equal sets throughout.
inline bool same_set_lists(const std::vector<iset>& a, const std::vector<iset>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].size() != b[i].size() || !iset::same_elements(a[i], b[i]))
            return false;
    return true;
}

} // namespace qarn
