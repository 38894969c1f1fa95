// Base behaviour of the runtime views and the environment thresholds.
#include "impl/engine/constraint_runtime_info.h"

#include <cstdlib>
#include <iostream>

#include "impl/engine/domain_access.h"

namespace qarn {

unsigned read_environment_threshold(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    if (!text)
        return fallback;
    return static_cast<unsigned>(std::strtoul(text, nullptr, 0));
}

unsigned constraint_runtime_info::latest_modified_param(unsigned) const {
    return NO_PARAM;
}

unsigned constraint_runtime_info::effort() const {
    return 0;
}

bool constraint_runtime_info::querying_domain() const {
    return false;
}

void constraint_runtime_info::print(std::ostream&) const {}

void constraint_runtime_info::print_prefix(std::ostream&) const {}

void constraint_runtime_info::print_param(std::ostream&, unsigned) const {}

// Each threshold is read on first use and kept for the rest of the process.
unsigned constraint_runtime_info::accurate_size_bound() const {
    static const unsigned bound = read_environment_threshold("ACCURATE_SIZE_BOUND", 10);
    return bound;
}

unsigned constraint_runtime_info::accurate_size_pair_bound() const {
    static const unsigned bound = read_environment_threshold("ACCURATE_SIZE_PAIR_BOUND", 50);
    return bound;
}

unsigned constraint_runtime_info::max_accurate_ranges() const {
    static const unsigned bound = read_environment_threshold("MAX_ACCURATE_RANGES", 20);
    return bound;
}

void constraint_runtime_info::show_self() const {
    print(std::cout);
    std::cout << '\n';
    for (unsigned p = 0; p < arity(); ++p)
        std::cout << p << ": " << domain(p) << '\n';
    std::cout.flush();
}

bool any_empty(const constraint_runtime_info& ri) {
    return any_empty_domain(view_domains{ri});
}

void constraint_runtime_info::print_params(std::ostream& os, const char* separator) const {
    for (unsigned p = 0; p < arity(); ++p) {
        if (p)
            os << separator;
        print_param(os, p);
        os << "={" << domain(p) << '}';
    }
}

} // namespace qarn
