// The FlatZinc constraint kinds: one object per built-in constraint name,
// registered in the parser context, which hands each constraint item's
// arguments to its kind. A kind checks the number and shape of the
// arguments (a message and false when they do not fit) and builds the
// constraint: an expression posted as true or handed back as the definition
// of the variable the constraint defines, weighted sums, or a propagator.
#pragma once

#include "frontends/common/parser_context.h"

namespace qarn::fzn_constraint {

// Enters the 49 FlatZinc constraint names and their kinds.
void register_all(parser_context::constraint_registry& registry);

} // namespace qarn::fzn_constraint
