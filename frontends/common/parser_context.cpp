// The parser context: declarations, postponed and on-demand constraints,
// the objective, the posting helpers of the constraint kinds and the
// FlatZinc solution printer.
#include "frontends/common/parser_context.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <set>
#include <stdexcept>

#include "impl/model/expression_tree.h"
#include "impl/propagators/element_propagators.h"
#include "impl/propagators/equal_propagator.h"

namespace qarn {

namespace parser_context_detail {

// On-demand definitions nest at most this deep, and a definition is copied
// into a use only up to this many nodes; beyond either the variable itself is
// used, which its own tie to the definition keeps sound. Without the limits a
// long chain of definitions recursed as deep as the chain, and definitions
// that use each other twice grew exponentially.
constexpr unsigned MAX_DEFINITION_DEPTH = 32;
constexpr unsigned MAX_DEFINITION_NODES = 256;

// Whether expr has more than `limit` nodes (walked without recursion).
bool larger_than(const xcsp::AST& expr, unsigned limit) {
    std::vector<const xcsp::AST*> work{&expr};
    unsigned count = 0;
    while (!work.empty()) {
        const xcsp::AST* e = work.back();
        work.pop_back();
        if (++count > limit)
            return true;
        for (int i = 0; i < e->nbArg(); ++i)
            if (const xcsp::AST* a = e->getArg(i))
                work.push_back(a);
    }
    return false;
}

bool has_annotation(const parser_context::annotation_list& list, const char* name) {
    for (const auto& a : list)
        if (a.name == name)
            return true;
    return false;
}

void erase_annotation(parser_context::annotation_list& list, const char* name) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [name](const parser_context::annotation_type& a) {
                                  return a.name == name;
                              }),
               list.end());
}

} // namespace parser_context_detail

using namespace parser_context_detail;

// ---- argument kinds and annotations

parser_context::argument_list parser_context::clone_arguments(const argument_list& args) {
    argument_list copy;
    copy.reserve(args.size());
    for (const auto& a : args)
        copy.push_back(a ? a->clone() : nullptr);
    return copy;
}

parser_context::annotation_type::annotation_type(const annotation_type& other)
    : name(other.name),
      arguments(other.arguments ? std::make_unique<argument_list>(clone_arguments(*other.arguments))
                                : nullptr) {}

parser_context::annotation_type&
parser_context::annotation_type::operator=(const annotation_type& other) {
    if (this != &other) {
        annotation_type copy(other);
        *this = std::move(copy);
    }
    return *this;
}

std::unique_ptr<parser_context::argument_type> parser_context::var_argument::clone() const {
    return std::make_unique<var_argument>(value);
}

std::unique_ptr<parser_context::argument_type> parser_context::array_argument::clone() const {
    return std::make_unique<array_argument>(values);
}

parser_context::ast_argument::ast_argument(std::unique_ptr<xcsp::AST> e) : expr(std::move(e)) {}
parser_context::ast_argument::~ast_argument() = default;

std::unique_ptr<parser_context::argument_type> parser_context::ast_argument::clone() const {
    return std::make_unique<ast_argument>(expr ? deep_copy(*expr) : nullptr);
}

parser_context::ast_array_argument::ast_array_argument() = default;
parser_context::ast_array_argument::~ast_array_argument() = default;

std::unique_ptr<parser_context::argument_type> parser_context::ast_array_argument::clone() const {
    auto copy = std::make_unique<ast_array_argument>();
    copy->exprs.reserve(exprs.size());
    for (const auto& e : exprs)
        copy->exprs.push_back(e ? deep_copy(*e) : nullptr);
    return copy;
}

std::unique_ptr<parser_context::argument_type> parser_context::annotation_argument::clone() const {
    return std::make_unique<annotation_argument>(annotation);
}

std::unique_ptr<parser_context::argument_type>
parser_context::array_dimension_argument::clone() const {
    return std::make_unique<array_dimension_argument>(ranges);
}

void parser_context::symbol_info::print(std::ostream& os, const std::string& name) const {
    os << name;
    if (is_array)
        os << "[1.." << values.size() << "]";
}

std::ostream& operator<<(std::ostream& os, const parser_context::position_point& p) {
    if (p.file)
        os << *p.file;
    return os << ':' << p.line << ':' << p.column;
}

unsigned parser_context::var_or_value::to_id(parser_context& ctx) const {
    return is_constant() ? ctx.singleton_var(value, false) : var;
}

// ---- construction

parser_context::parser_context(solver& s, const scanner_methods& scanner,
                               table_propagator_base::memory_manager& tables, std::istream* input,
                               std::string file_name)
    : m_input(input), m_file_name(std::move(file_name)), m_builder(s), m_solver(s),
      m_scanner_methods(scanner), m_tables(tables) {
    m_builder.detect_all_different(true);
    if (m_input)
        m_input->unsetf(std::ios::skipws);
    m_scanner_methods.start_scanner(*this);
}

parser_context::~parser_context() { m_scanner_methods.destroy_scanner(*this); }

// ---- declarations

bool parser_context::redefined(std::ostream& os, const named_position& name,
                               const unsigned* size) const {
    const auto it = m_symbols.find(name.first);
    if (it == m_symbols.end())
        return false;
    os << name.second << ": redefinition of " << name.first;
    if (size)
        os << "[1.." << *size << "]";
    os << "\n" << it->second.position << ": ";
    it->second.print(os, it->first);
    os << " was previously defined here\n";
    return true;
}

void parser_context::record_var_name(unsigned v, const std::string& name) {
    if (v >= m_var_names.size())
        m_var_names.resize(2 * static_cast<std::size_t>(v) + 2);
    m_var_names[v] = name;
}

const parser_context::symbol_info* parser_context::symbol_of_var(unsigned v) const {
    if (v >= m_var_names.size() || m_var_names[v].empty())
        return nullptr;
    const auto it = m_symbols.find(m_var_names[v]);
    return it == m_symbols.end() ? nullptr : &it->second;
}

parser_context::symbol_info* parser_context::symbol_of_var(unsigned v) {
    return const_cast<symbol_info*>(std::as_const(*this).symbol_of_var(v));
}

bool parser_context::define_variables(std::ostream& os, const iset& domain, const name_list& names,
                                      const var_or_value* initial,
                                      const annotation_list* annotations, element_type type) {
    for (const auto& name : names)
        if (!define_variable(os, domain, name, initial, annotations, type))
            return false;
    return true;
}

bool parser_context::define_variable(std::ostream& os, iset domain, const named_position& name,
                                     const var_or_value* initial,
                                     const annotation_list* annotations, element_type type) {
    if (type & SET_ELEMENT) {
        os << name.second << ": set variables are unsupported.\n";
        return false;
    }
    if (redefined(os, name, nullptr))
        return false;
    symbol_info& symbol = m_symbols[name.first];
    symbol.position = name.second;
    symbol.type = type;
    symbol_info* shared = nullptr;
    if (!initial) {
        domain.compact();
        const unsigned v = m_solver.add_var(std::move(domain), name.first.c_str(), false);
        record_var_name(v, name.first);
        symbol.values.emplace_back(var_or_value::variable(v));
    } else if (!initial->is_constant()) {
        const unsigned v = initial->var;
        iset d(m_solver.domain(v));
        d.intersect(domain);
        m_solver.set_var_domain(v, std::move(d), -1);
        symbol.values.emplace_back(*initial);
        shared = symbol_of_var(v);
    } else {
        // A value outside the declared domain leaves no solution.
        if (!domain.contains(initial->value))
            m_builder.mark_unsat();
        symbol.values.emplace_back(*initial);
    }
    if (annotations) {
        symbol.is_intermediate = has_annotation(*annotations, "is_defined_var") &&
                                 has_annotation(*annotations, "var_is_introduced");
        symbol.annotations = *annotations;
    }
    if (shared && shared != &symbol)
        intersect_annotations(symbol, *shared);
    return true;
}

void parser_context::intersect_annotations(symbol_info& a, symbol_info& b) {
    const bool intermediate = a.is_intermediate && b.is_intermediate;
    a.is_intermediate = b.is_intermediate = intermediate;
    const bool defined_a = has_annotation(a.annotations, "is_defined_var");
    const bool defined_b = has_annotation(b.annotations, "is_defined_var");
    if (defined_a && !defined_b)
        erase_annotation(a.annotations, "is_defined_var");
    if (defined_b && !defined_a)
        erase_annotation(b.annotations, "is_defined_var");
}

bool parser_context::define_arrays(std::ostream& os, const iset& domain, unsigned size,
                                   const name_list& names,
                                   const std::vector<var_or_value>* initial,
                                   const annotation_list* annotations, element_type type) {
    for (const auto& name : names)
        if (!define_array(os, domain, size, name, initial, annotations, type))
            return false;
    return true;
}

bool parser_context::define_array(std::ostream& os, const iset& domain, unsigned size,
                                  const named_position& name,
                                  const std::vector<var_or_value>* initial,
                                  const annotation_list* annotations, element_type type) {
    if (type & SET_ELEMENT) {
        os << name.second << ": set variables are unsupported.\n";
        return false;
    }
    if (redefined(os, name, &size))
        return false;
    symbol_info& symbol = m_symbols[name.first];
    symbol.position = name.second;
    symbol.type = type;
    symbol.is_array = true;
    if (annotations)
        symbol.annotations = *annotations;
    symbol.values.reserve(initial ? std::min<std::size_t>(size, initial->size()) : size);
    for (unsigned i = 0; i < size; ++i) {
        if (initial && i < initial->size()) {
            const var_or_value& e = (*initial)[i];
            if (!e.is_constant()) {
                iset d(m_solver.domain(e.var));
                d.intersect(domain);
                m_solver.set_var_domain(e.var, std::move(d), -1);
            } else if (!domain.contains(e.value)) {
                m_builder.mark_unsat();
            }
            symbol.values.emplace_back(e);
        } else {
            iset d(domain);
            d.compact();
            const std::string element = name.first + "[" + std::to_string(i) + "]";
            symbol.values.emplace_back(
                var_or_value::variable(m_solver.add_var(std::move(d), element.c_str(), false)));
        }
    }
    return true;
}

bool parser_context::define_scalar_constant(std::ostream& os, const named_position& name,
                                            int value) {
    if (redefined(os, name, nullptr))
        return false;
    symbol_info& symbol = m_symbols[name.first];
    symbol.position = name.second;
    symbol.type = INT_ELEMENT;
    symbol.values.emplace_back(var_or_value::constant(value));
    return true;
}

bool parser_context::define_array_constant(std::ostream& os, const named_position& name,
                                           const std::vector<int>& values) {
    const unsigned size = static_cast<unsigned>(values.size());
    if (redefined(os, name, &size))
        return false;
    symbol_info& symbol = m_symbols[name.first];
    symbol.position = name.second;
    symbol.type = INT_ELEMENT;
    symbol.is_array = true;
    symbol.values.reserve(values.size());
    for (int v : values)
        symbol.values.emplace_back(var_or_value::constant(v));
    return true;
}

bool parser_context::define_array_set_constant(std::ostream& os, const named_position& name,
                                               const std::vector<iset>& values) {
    const unsigned size = static_cast<unsigned>(values.size());
    if (redefined(os, name, &size))
        return false;
    symbol_info& symbol = m_symbols[name.first];
    symbol.position = name.second;
    symbol.type = INT_ELEMENT | SET_ELEMENT;
    symbol.is_array = true;
    symbol.values.reserve(values.size());
    for (const iset& s : values)
        symbol.values.emplace_back(NO_VARIABLE, s);
    return true;
}

// ---- symbol queries

unsigned parser_context::var_id(const std::string& name) const {
    const auto it = m_symbols.find(name);
    if (it == m_symbols.end() || it->second.is_array || it->second.values.empty())
        return NO_VARIABLE;
    return it->second.values[0].var;
}

namespace parser_context_detail {

bool constant_of(const parser_context::var_or_set& v, int& value) {
    if (v.var != NO_VARIABLE || v.set.empty() || v.set.size() != 1)
        return false;
    value = v.set.min();
    return true;
}

} // namespace parser_context_detail

bool parser_context::get_constant(const std::string& name, int& value) const {
    const auto it = m_symbols.find(name);
    if (it == m_symbols.end() || it->second.is_array || (it->second.type & SET_ELEMENT) ||
        it->second.values.empty())
        return false;
    return constant_of(it->second.values[0], value);
}

unsigned parser_context::array_element_id(const std::string& name, std::size_t i) const {
    const auto it = m_symbols.find(name);
    if (it == m_symbols.end() || !it->second.is_array || i >= it->second.values.size())
        return NO_VARIABLE;
    return it->second.values[i].var;
}

bool parser_context::get_const_array_element(const std::string& name, std::size_t i,
                                             int& value) const {
    const auto it = m_symbols.find(name);
    if (it == m_symbols.end() || !it->second.is_array || (it->second.type & SET_ELEMENT) ||
        i >= it->second.values.size())
        return false;
    return constant_of(it->second.values[i], value);
}

// ---- variables and expressions

unsigned parser_context::singleton_var(int c, bool fresh) {
    if (!fresh)
        return m_solver.singleton_var(c);
    std::string name = "V" + std::to_string(m_solver.var_count()) + "_constant_";
    if (c < 0)
        name += "minus_" + std::to_string(-static_cast<std::int64_t>(c));
    else
        name += std::to_string(c);
    return m_solver.add_var(iset(c), name.c_str(), false);
}

std::string parser_context::var_name(unsigned v) const {
    const std::string& name = m_solver.assignment().var_name(v);
    return name.empty() ? "V" + std::to_string(v) : name;
}

std::unique_ptr<xcsp::AST> parser_context::ast_var(unsigned v) const {
    return std::make_unique<xcsp::ASTVar>(var_name(v), static_cast<int>(v));
}

std::unique_ptr<xcsp::AST> parser_context::to_ast(const var_or_value& v) const {
    if (v.is_constant())
        return std::make_unique<xcsp::ASTInteger>(v.value);
    return ast_var(v.var);
}

parser_context::var_or_value parser_context::from_ast(const xcsp::AST& expr) {
    switch (expr.getType()) {
    case xcsp::INTEGER:
        return var_or_value::constant(static_cast<const xcsp::ASTInteger&>(expr).getValue());
    case xcsp::BOOLEAN:
        return var_or_value::constant(static_cast<const xcsp::ASTBoolean&>(expr).getValue());
    default:
        return var_or_value::variable(expression_to_variable(expr, NO_VARIABLE,
                                                             AST_builder::BOTH_WAYS));
    }
}

parser_context::argument_list parser_context::from_ast(const argument_list& args) {
    argument_list result;
    result.reserve(args.size());
    for (const auto& a : args) {
        if (const auto* e = dynamic_cast<const ast_argument*>(a.get())) {
            result.push_back(std::make_unique<var_argument>(from_ast(*e->expr)));
        } else if (const auto* l = dynamic_cast<const ast_array_argument*>(a.get())) {
            std::vector<var_or_value> values;
            values.reserve(l->exprs.size());
            for (const auto& x : l->exprs)
                values.push_back(from_ast(*x));
            result.push_back(std::make_unique<array_argument>(std::move(values)));
        } else {
            result.push_back(a ? a->clone() : nullptr);
        }
    }
    return result;
}

void parser_context::update_variable_identity_function() {
    for (unsigned i = static_cast<unsigned>(m_identity.size()); i < m_solver.var_count(); ++i)
        m_identity.push_back(i);
}

void parser_context::connect_expr(unsigned var, const xcsp::AST& expr,
                                  AST_builder::usage_type usage) {
    update_variable_identity_function();
    m_builder.connect_expr(m_identity, var, expr, usage);
}

unsigned parser_context::expression_to_variable(const xcsp::AST& expr, unsigned var,
                                                AST_builder::usage_type usage) {
    update_variable_identity_function();
    return m_builder.expression_to_variable(m_identity, expr, var, usage);
}

bool parser_context::is_intermediate_var(unsigned v) const {
    const symbol_info* s = symbol_of_var(v);
    return s && s->is_intermediate;
}

bool parser_context::has_defined_var(const argument_list& args) const {
    for (const auto& a : args) {
        if (const auto* v = dynamic_cast<const var_argument*>(a.get())) {
            if (!v->value.is_constant() && is_intermediate_var(v->value.var))
                return true;
        } else if (const auto* l = dynamic_cast<const array_argument*>(a.get())) {
            for (const var_or_value& e : l->values)
                if (!e.is_constant() && is_intermediate_var(e.var))
                    return true;
        }
    }
    return false;
}

void parser_context::make_unique_vars(std::vector<unsigned>& vars) {
    std::set<unsigned> seen;
    for (unsigned& v : vars) {
        const iset& d = m_solver.domain(v);
        const bool fixed = !d.empty() && d.size() == 1;
        if (!seen.insert(v).second && fixed)
            v = singleton_var(d.min(), true);
    }
}

unsigned parser_context::make_aliased_var(unsigned v) {
    const std::string name = var_name(v) + ".alias" + std::to_string(m_solver.var_count());
    iset d(m_solver.domain(v));
    const unsigned alias = m_solver.add_var(std::move(d), name.c_str(), false);
    m_solver.add_constraint(std::make_unique<equal_propagator>()) << alias << v;
    return alias;
}

iset parser_context::domain(const var_or_value& v) const {
    if (v.is_constant())
        return iset(v.value);
    if (v.var >= m_solver.var_count())
        throw std::out_of_range("parser_context::domain: no such variable");
    return m_solver.domain(v.var);
}

void parser_context::set_domain(unsigned v, iset d) { m_solver.set_var_domain(v, std::move(d), -1); }

// ---- constraints

void parser_context::connect_constraint(const std::vector<unsigned>& vars,
                                        std::unique_ptr<constraint_propagator> p) {
    std::vector<std::pair<unsigned, std::size_t>> order;
    order.reserve(vars.size());
    for (std::size_t i = 0; i < vars.size(); ++i)
        order.emplace_back(vars[i], i);
    std::sort(order.begin(), order.end());
    std::vector<unsigned> params(vars);
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i].first == order[i - 1].first)
            params[order[i].second] = make_aliased_var(order[i].first);
    constraint_connectivity_info& record = m_solver.add_constraint(std::move(p));
    record.variables().reserve(params.size());
    for (unsigned v : params)
        record << v;
}

void parser_context::connect_table_propagator(const std::vector<unsigned>& vars,
                                              const std::vector<std::vector<int>>& tuples) {
    connect_constraint(vars, std::make_unique<support_table_propagator>(m_tables, tuples));
}

bool parser_context::instantiate_element_constraint(std::ostream& os, const position_point& where,
                                                    unsigned index, int first,
                                                    const std::vector<var_or_value>& array,
                                                    unsigned result) {
    iset d(m_solver.domain(index));
    const std::int64_t last = static_cast<std::int64_t>(first) + std::int64_t(array.size()) - 1;
    if (array.empty() || last > MAX_DOMAIN)
        d.intersect(iset::range_type(first, last < first ? first : MAX_DOMAIN));
    else
        d.intersect(iset::range_type(first, static_cast<int>(last)));
    if (array.empty() || d.empty()) {
        // No index selects an element.
        m_builder.mark_unsat();
        return true;
    }
    std::vector<unsigned> vars;
    vars.reserve(static_cast<std::size_t>(std::int64_t(d.max()) - d.min()) + 3);
    vars.push_back(index);
    for (std::int64_t k = d.min(); k <= d.max(); ++k)
        vars.push_back(array[static_cast<std::size_t>(k - first)].to_id(*this));
    vars.push_back(result);
    if (d.size() == 1) {
        if (m_solver.m_report_level > 1)
            os << "% " << where << ": the constraint is equivalent with equality\n";
        m_builder.equate_variables(vars[1], result);
        return true;
    }
    make_unique_vars(vars);
    connect_constraint(vars, std::make_unique<element_propagator>(d.min()));
    return true;
}

bool parser_context::connect_constraint(std::ostream& os, const position_point& where,
                                        const std::string& name, const argument_list& args,
                                        const annotation_list* annotations) {
    const auto kind = m_constraint_types.find(name);
    if (kind == m_constraint_types.end()) {
        os << where << " constraint " << name << " is unknown\n";
        return false;
    }
    symbol_info* defined = nullptr;
    if (annotations) {
        for (const annotation_type& a : *annotations) {
            if (a.name != "defines_var")
                continue;
            defined = nullptr;
            if (!a.arguments || a.arguments->empty())
                continue;
            const auto* target = dynamic_cast<const annotation_argument*>(a.arguments->front().get());
            if (!target)
                continue;
            const auto it = m_symbols.find(target->annotation.name);
            if (it == m_symbols.end())
                os << "% " << where << ": unknown defines_var(" << target->annotation.name << ")\n";
            else
                defined = &it->second;
        }
    }
    if (defined && defined->is_intermediate && !defined->is_array) {
        auto c = std::make_shared<postponed_constraint>();
        c->position = where;
        c->type = kind->second.get();
        c->arguments = clone_arguments(args);
        // A second definition of the same variable is kept as an ordinary
        // postponed constraint, never dropped.
        if (defined->defining_constraint)
            m_postponed.push_back(std::move(defined->defining_constraint));
        defined->defining_constraint = std::move(c);
        return true;
    }
    if (has_defined_var(args)) {
        auto c = std::make_shared<postponed_constraint>();
        c->position = where;
        c->type = kind->second.get();
        c->arguments = clone_arguments(args);
        m_postponed.push_back(std::move(c));
        return true;
    }
    std::unique_ptr<xcsp::AST> definition;
    const bool ok = kind->second->connect_constraint(os, where, *this, args, defined, definition);
    if (ok && definition)
        connect_expr(defined->values.at(0).var, *definition, AST_builder::BOTH_WAYS);
    return ok;
}

std::unique_ptr<xcsp::AST> parser_context::instantiated_var(std::ostream& os, unsigned v,
                                                            bool& ok) {
    std::unique_ptr<xcsp::AST> definition;
    ok = instantiate_var_define(os, v, definition);
    return definition ? std::move(definition) : ast_var(v);
}

bool parser_context::instantiate_var_define(std::ostream& os, unsigned v,
                                            std::unique_ptr<xcsp::AST>& definition) {
    definition.reset();
    symbol_info* symbol = symbol_of_var(v);
    if (!symbol)
        return true;
    if (symbol->definition) {
        if (!larger_than(*symbol->definition, MAX_DEFINITION_NODES))
            definition = deep_copy(*symbol->definition);
        return true;
    }
    postponed_constraint* c = symbol->defining_constraint.get();
    if (!c || c->uses != 0 || m_definition_depth >= MAX_DEFINITION_DEPTH)
        return true;
    ++m_definition_depth;
    const bool ok = instantiate_postponed(os, *c, symbol, definition);
    --m_definition_depth;
    if (!ok)
        return false;
    if (definition) {
        symbol->definition = deep_copy(*definition);
        if (larger_than(*definition, MAX_DEFINITION_NODES))
            definition.reset();
    }
    return true;
}

bool parser_context::instantiate_postponed(std::ostream& os, postponed_constraint& c,
                                           symbol_info* defined,
                                           std::unique_ptr<xcsp::AST>& definition) {
    ++c.uses;
    argument_list args;
    args.reserve(c.arguments.size());
    bool ok = true;
    for (const auto& a : c.arguments) {
        if (const auto* v = dynamic_cast<const var_argument*>(a.get())) {
            if (v->value.is_constant())
                args.push_back(v->clone());
            else
                args.push_back(std::make_unique<ast_argument>(instantiated_var(os, v->value.var, ok)));
        } else if (const auto* l = dynamic_cast<const array_argument*>(a.get())) {
            auto exprs = std::make_unique<ast_array_argument>();
            exprs->exprs.reserve(l->values.size());
            for (const var_or_value& e : l->values) {
                if (!ok)
                    break;
                exprs->exprs.push_back(e.is_constant() ? to_ast(e) : instantiated_var(os, e.var, ok));
            }
            args.push_back(std::move(exprs));
        } else {
            args.push_back(a ? a->clone() : nullptr);
        }
        if (!ok)
            return false;
    }
    return c.type->connect_constraint(os, c.position, *this, args, defined, definition);
}

bool parser_context::connect_defined_variables(std::ostream& os) {
    for (auto& [name, symbol] : m_symbols) {
        if (!symbol.defining_constraint || symbol.values.empty())
            continue;
        const unsigned v = symbol.values[0].var;
        if (symbol.defining_constraint->uses == 0) {
            // Never used: still posted, for the declared domain constrains it.
            std::unique_ptr<xcsp::AST> definition;
            if (!instantiate_postponed(os, *symbol.defining_constraint, &symbol, definition))
                return false;
            if (definition) {
                symbol.definition = deep_copy(*definition);
                if (v != NO_VARIABLE)
                    connect_expr(v, *definition, AST_builder::BOTH_WAYS);
            }
        } else if (symbol.definition && v != NO_VARIABLE) {
            // Used through its definition: the variable itself (printed, the
            // objective, an array element) takes the defined value.
            connect_expr(v, *symbol.definition, AST_builder::BOTH_WAYS);
        }
    }
    return true;
}

bool parser_context::create_constraints(std::ostream& os) {
    for (std::size_t i = 0; i < m_postponed.size(); ++i) {
        std::unique_ptr<xcsp::AST> definition;
        if (!instantiate_postponed(os, *m_postponed[i], nullptr, definition))
            return false;
        if (definition)
            connect_expr(singleton_var(1, false), *definition, AST_builder::BOTH_WAYS);
    }
    if (!connect_defined_variables(os))
        return false;
    if (m_builder.detect_all_different())
        m_builder.detect_all_diff();
    m_builder.connectivity().create_all_constraints();
    return true;
}

// ---- objective

bool parser_context::set_objective(std::ostream& os, std::unique_ptr<xcsp::AST> expr, direction d,
                                   unsigned var) {
    if (!expr && var != NO_VARIABLE)
        expr = ast_var(var);
    if (!expr)
        return true;
    m_objective_var = var;
    if (var != NO_VARIABLE && is_intermediate_var(var)) {
        std::unique_ptr<xcsp::AST> definition;
        if (!instantiate_var_define(os, var, definition))
            return false;
    }
    m_objective = std::move(expr);
    m_direction = d;
    if (d == MINIMIZE)
        connect_minimization();
    else
        connect_maximization();
    return true;
}

namespace parser_context_detail {

iset every_value() {
    iset all;
    all.complement();
    return all;
}

} // namespace parser_context_detail

void parser_context::connect_maximization() {
    const unsigned v = m_solver.add_var(every_value(), "max::objective", false);
    update_variable_identity_function();
    m_builder.connect_unbounded_result(m_identity, v, *m_objective, AST_builder::RESULT_IMPLIES);
    m_solver.m_objective_var = static_cast<int>(m_objective_var != NO_VARIABLE ? m_objective_var : v);
    m_solver.m_minimize = false;
}

void parser_context::connect_minimization() {
    const unsigned v = m_solver.add_var(every_value(), "min::objective", false);
    update_variable_identity_function();
    m_builder.connect_unbounded_result(m_identity, v, *m_objective, AST_builder::IMPLIES_RESULT);
    m_solver.m_objective_var = static_cast<int>(m_objective_var != NO_VARIABLE ? m_objective_var : v);
    m_solver.m_minimize = true;
}

int parser_context::evaluate_objective() const {
    return m_objective ? m_builder.evaluate(*m_objective) : 0;
}

// ---- output

namespace parser_context_detail {

// An element's value: a copy of the variable's current domain, or the
// constant's own set.
iset element_value(const solver& s, const parser_context::var_or_set& e) {
    if (e.var == NO_VARIABLE)
        return e.set;
    if (e.var >= s.var_count())
        throw std::out_of_range("parser_context: output element is no variable");
    return s.domain(e.var);
}

// The index ranges an output_array annotation gives, or null when it gives
// none (the array is then printed without its values).
const parser_context::array_dimension_argument*
output_dimensions(const parser_context::annotation_type& annotation) {
    if (!annotation.arguments || annotation.arguments->empty())
        return nullptr;
    return dynamic_cast<const parser_context::array_dimension_argument*>(
        annotation.arguments->front().get());
}

} // namespace parser_context_detail

void parser_context::print_values(std::ostream& os, element_type type, const iset& set) const {
    switch (type) {
    case INT_ELEMENT:
        os << set;
        break;
    case BOOL_ELEMENT:
        os << (!set.empty() && set.min() == 0 ? "false" : "true");
        break;
    case INT_ELEMENT | SET_ELEMENT: {
        // Runs of consecutive members: the stored ranges with stride 1, and
        // every member alone with a larger stride.
        os << "{";
        const char* separator = "";
        for (auto it = set.begin(); it != set.end();) {
            const int low = *it;
            int high = low;
            for (++it; it != set.end() && high < MAX_DOMAIN && *it == high + 1; ++it)
                high = *it;
            os << separator << low;
            if (high != low)
                os << ".." << high;
            separator = ", ";
        }
        os << "}";
        break;
    }
    case BOOL_ELEMENT | SET_ELEMENT:
        os << "{";
        if (set.contains(0))
            os << "false";
        if (set.contains(1))
            os << (set.contains(0) ? ", true" : "true");
        os << "}";
        break;
    case 8:
        os << "UNKNOWN_TYPE{" << set << "}";
        break;
    default:
        break;
    }
}

void parser_context::print_var_solution(std::ostream& os,
                                        const symbol_table::value_type& entry) const {
    os << entry.first << " = ";
    print_values(os, entry.second.type, element_value(m_solver, entry.second.values.at(0)));
    os << ";\n";
}

void parser_context::print_array_solution(std::ostream& os, const symbol_table::value_type& entry,
                                          const annotation_type& annotation) const {
    os << entry.first << " = ";
    const array_dimension_argument* dims = output_dimensions(annotation);
    if (!dims) {
        os << "[];\n";
        return;
    }
    os << "array" << dims->ranges.size() << "d(";
    for (const auto& [low, high] : dims->ranges)
        os << low << ".." << high << ", ";
    os << "[";
    const char* separator = "";
    for (const var_or_set& e : entry.second.values) {
        os << separator;
        print_values(os, entry.second.type, element_value(m_solver, e));
        separator = ", ";
    }
    os << "]);\n";
}

void parser_context::print_solution(std::ostream& os) const {
    for (const auto& entry : m_symbols) {
        for (const annotation_type& a : entry.second.annotations) {
            if (a.name == "output_var") {
                print_var_solution(os, entry);
                break;
            }
            if (a.name == "output_array") {
                print_array_solution(os, entry, a);
                break;
            }
        }
    }
}

std::vector<unsigned> parser_context::shown_vars() const {
    std::vector<unsigned> vars;
    std::set<unsigned> seen;
    const auto show = [&](const var_or_set& e) {
        if (e.var != NO_VARIABLE && seen.insert(e.var).second)
            vars.push_back(e.var);
    };
    for (const auto& entry : m_symbols) {
        for (const annotation_type& a : entry.second.annotations) {
            if (a.name == "output_var") {
                show(entry.second.values.at(0));
                break;
            }
            if (a.name == "output_array") {
                if (output_dimensions(a))
                    for (const var_or_set& e : entry.second.values)
                        show(e);
                break;
            }
        }
    }
    return vars;
}

} // namespace qarn
