// Operator definitions: what the model builder knows about one arithmetic or
// comparison operator: its value on constants, the simplification and
// recording of an application for sharing (symbolic_eval), the kind of bound
// each argument must keep, the canonical argument order, how strongly its
// propagators prune (tightness, which orders the posting) and the
// propagators it posts once the whole model is read. Definitions are
// stateless; the registry holds one of each for the whole process.
//
// Arguments are solver variables (a constant is the solver's shared
// singleton variable for its value); NO_VARIABLE stands for no variable.
// Arithmetic follows the truncating propagators: a value outside the 32-bit
// range is impossible, never clamped or wrapped.
#pragma once

#include <optional>

#include "impl/engine/solver_types.h"
#include "impl/sets/model.h"

namespace qarn {

class operator_connectivity;
class solver;

// Which direction of r = f(args) an application's result r must follow.
enum eval_type : unsigned {
    EVAL_NONE = 0,     // no direction: the one-sided forms post nothing
    EVAL_AT_MOST = 1,  // r <= f(args) (Boolean result: r implies the relation)
    EVAL_AT_LEAST = 2, // r >= f(args) (Boolean result: the relation implies r)
    EVAL_BOTH = 3,     // both, as two one-sided constraints
    EVAL_EXACT = 7,    // r = f(args), one functional constraint
};

constexpr eval_type operator|(eval_type a, eval_type b) {
    return static_cast<eval_type>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// For an argument that enters the value with a negative sign: exchanges
// EVAL_AT_MOST and EVAL_AT_LEAST.
constexpr eval_type flip(eval_type t) {
    return t == EVAL_AT_MOST ? EVAL_AT_LEAST : t == EVAL_AT_LEAST ? EVAL_AT_MOST : t;
}

class operator_definition {
public:
    // The value on constant arguments; empty when it lies outside the 32-bit
    // range (the propagators support no such value).
    virtual std::optional<int> eval(const int* first, const int* last) const = 0;
    // Simplifies the application or records it with c; returns its result
    // variable (`result` when given and not shared with an earlier one).
    virtual unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                                   const unsigned* last, unsigned result) const = 0;
    // The value argument i must have for the result to lie in `result`, if
    // that is one value.
    virtual std::optional<int> reverse_eval(const iset& result, unsigned i) const;
    // The evaluation type argument i must keep when the result keeps t.
    virtual eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                                    const unsigned* first, const unsigned* last,
                                    unsigned result) const;
    // Puts the arguments in the order under which applications are shared.
    virtual void canonize_order(operator_connectivity& c, unsigned* first, unsigned* last) const;
    // Posts the propagators of a recorded application.
    virtual void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                                    const unsigned* first, const unsigned* last) const = 0;
    virtual const char* name() const = 0;
    virtual double tightness() const = 0;
    virtual ~operator_definition() = default;
};

class sum_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void canonize_order(operator_connectivity& c, unsigned* first, unsigned* last) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "sum"; }
    double tightness() const override { return 0.996269; }
};

// Records beside itself the sum whose propagators enforce it; posts nothing.
class sub_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "sub"; }
    double tightness() const override { return 0.996269; }
};

class mul_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void canonize_order(operator_connectivity& c, unsigned* first, unsigned* last) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "mul"; }
    double tightness() const override { return 0.999713; }
};

// An operator posted as one propagator P over (result, arguments...).
template <class P> class direct_operator_definition : public operator_definition {
public:
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
};

class div_propagator;
class mod_propagator;

// div and mod: recorded exact whatever the caller asks.
class div_definition : public direct_operator_definition<div_propagator> {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    const char* name() const override { return "div"; }
    double tightness() const override { return 0.995025; }
};

class mod_definition : public direct_operator_definition<mod_propagator> {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    const char* name() const override { return "mod"; }
    double tightness() const override { return 0.995025; }
};

class abs_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "abs"; }
    double tightness() const override { return 0.990099; }
};

class not_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    std::optional<int> reverse_eval(const iset& result, unsigned i) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "not"; }
    double tightness() const override { return 0.5; }
};

// x - y >= k over (x, y, the constant k), with a Boolean result.
class difference_ge_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "diff_ge"; }
    double tightness() const override { return 0.5; }
};

// a < b, recorded as b - a >= 1.
class lt_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "lt"; }
    double tightness() const override { return 0.5; }
};

// a >= b, recorded as a - b >= 0.
class ge_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    const char* name() const override { return "ge"; }
    double tightness() const override;
};

// An operator that is another one with its two arguments exchanged: every
// operation swaps the arguments and forwards to reversed_op().
class reversed_definition : public operator_definition {
public:
    std::optional<int> eval(const int* first, const int* last) const override;
    unsigned symbolic_eval(operator_connectivity& c, eval_type t, const unsigned* first,
                           const unsigned* last, unsigned result) const override;
    std::optional<int> reverse_eval(const iset& result, unsigned i) const override;
    eval_type arg_eval_type(operator_connectivity& c, eval_type t, unsigned i,
                            const unsigned* first, const unsigned* last,
                            unsigned result) const override;
    void canonize_order(operator_connectivity& c, unsigned* first, unsigned* last) const override;
    void create_constraints(solver& s, eval_type t, unsigned flags, unsigned result,
                            const unsigned* first, const unsigned* last) const override;
    double tightness() const override;
    virtual const operator_definition& reversed_op() const = 0;
};

class le_definition : public reversed_definition {
public:
    const char* name() const override { return "le"; }
    const operator_definition& reversed_op() const override;
};

class gt_definition : public reversed_definition {
public:
    const char* name() const override { return "gt"; }
    const operator_definition& reversed_op() const override;
};

} // namespace qarn
