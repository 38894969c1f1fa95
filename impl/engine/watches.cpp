// Watch type names and the two instances of the keyed watch list.
#include "impl/engine/watches.h"

namespace qarn {

std::ostream& operator<<(std::ostream& os, watch_types::watch_type type) {
    switch (type) {
    case watch_types::MODIFICATION_WATCH:
        return os << "MODIFICATION_WATCH";
    case watch_types::FINALIZATION_WATCH:
        return os << "FINALIZATION_WATCH";
    case watch_types::LOWER_BOUND_WATCH:
        return os << "LOWER_BOUND_WATCH";
    case watch_types::UPPER_BOUND_WATCH:
        return os << "UPPER_BOUND_WATCH";
    }
    return os;
}

template class var_watchers_impl<small_iset>;
template class var_watchers_impl<iset>;

} // namespace qarn
