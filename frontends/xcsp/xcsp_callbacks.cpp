// The instance as the XCSP reader delivers it, built into the solver:
// domains and variables first, then relations (analysed as each closes),
// predicates, and constraints posted as their parameters arrive.
#include "frontends/xcsp/xcsp_callbacks.h"

#include <sstream>
#include <stdexcept>

#include "impl/model/operator_registry.h"

namespace xcsp_callbacks_detail {

[[noreturn]] void error(const std::string& message) {
    throw std::runtime_error(message);
}

std::string infix(const xcsp::AST& node) {
    std::ostringstream text;
    node.infixExpression(text);
    return text.str();
}

} // namespace xcsp_callbacks_detail

using xcsp_callbacks_detail::error;

xcsp_callbacks::xcsp_callbacks(qarn::solver& s, memory_manager& tables, bool detect_all_different)
    : m_solver(s), m_builder(s), m_memory_manager(tables) {
    m_builder.detect_all_different(detect_all_different);
}

xcsp_callbacks::~xcsp_callbacks() = default;

void xcsp_callbacks::constraint_error(const std::string& message) const {
    error("constraint " + m_constraint_name + ": " + message);
}

void xcsp_callbacks::beginInstance(const std::string& name) {
    m_instance_name = name;
    m_domains.clear();
}

xcsp_callbacks::named_set& xcsp_callbacks::section_slot(std::vector<named_set>& slots, int index,
                                                        int announced, const char* what) {
    if (index < 0 || index >= announced)
        error(std::string("effective number of ") + what +
              " doesn't match the announced number");
    if (static_cast<std::size_t>(index) >= slots.size())
        slots.resize(static_cast<std::size_t>(index) + 1);
    return slots[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- domains

void xcsp_callbacks::beginDomainsSection(int nbDomains) {
    m_announced_domains = nbDomains;
    m_declared_domains = 0;
    m_domains.clear();
}

void xcsp_callbacks::beginDomain(const std::string& name, int id, int) {
    if (m_current_domain != -1)
        error("did not finish previous domain");
    named_set& slot = section_slot(m_domains, id, m_announced_domains, "domains");
    if (!slot.first.empty())
        error(name + ": overwriting existing " + slot.first);
    slot.first = name;
    ++m_declared_domains;
    m_current_domain = id;
}

void xcsp_callbacks::addDomainValue(int value) {
    m_domains.at(static_cast<std::size_t>(m_current_domain)).second.insert(
        qarn::iset::range_type(value, value));
}

void xcsp_callbacks::addDomainValue(int first, int last) {
    m_domains.at(static_cast<std::size_t>(m_current_domain)).second.insert(
        qarn::iset::range_type(first, last));
}

void xcsp_callbacks::endDomain() {
    m_current_domain = -1;
}

void xcsp_callbacks::endDomainsSection() {
    if (m_declared_domains != m_announced_domains)
        error("effective number of domains doesn't match the announced number");
}

// ---------------------------------------------------------------- variables

void xcsp_callbacks::beginVariablesSection(int nbVariables) {
    m_announced_variables = nbVariables;
    m_declared_variables = 0;
    m_variables.clear();
}

void xcsp_callbacks::addVariable(const std::string& name, int id, const std::string& domain,
                                 int domainId) {
    named_set& slot = section_slot(m_variables, id, m_announced_variables, "variables");
    if (!slot.first.empty())
        error(domain + ": overwriting existing " + slot.first);
    slot.first = name;
    ++m_declared_variables;
    if (domainId < 0 || static_cast<std::size_t>(domainId) >= m_domains.size() ||
        m_domains[static_cast<std::size_t>(domainId)].first != domain)
        error("mismatch domain name");
    slot.second = m_domains[static_cast<std::size_t>(domainId)].second;
}

void xcsp_callbacks::endVariablesSection() {
    if (m_declared_variables != m_announced_variables)
        error("effective number of variables doesn't match the announced number");
    for (named_set& variable : m_variables)
        m_solver.add_var(std::move(variable.second), variable.first.c_str(), true);
    m_variables.clear();
    m_variables.shrink_to_fit();
    m_solver.m_vars_to_print = static_cast<int>(m_solver.var_count());
}

// ---------------------------------------------------------------- relations

void xcsp_callbacks::beginRelationsSection(int nbRelations) {
    m_announced_relations = nbRelations;
    m_declared_relations = 0;
    m_relations.clear();
}

void xcsp_callbacks::beginRelation(const std::string& name, int id, int arity, int,
                                   xcsp::RelType semantics) {
    if (m_current_relation != -1)
        error("did not finish previous relation");
    if (id < 0 || id >= m_announced_relations)
        error("effective number of relations doesn't match the announced number");
    if (static_cast<std::size_t>(id) >= m_relations.size())
        m_relations.resize(static_cast<std::size_t>(id) + 1);
    relation_info_type& relation = m_relations[static_cast<std::size_t>(id)];
    if (!relation.m_name.empty())
        error(name + ": overwriting existing " + relation.m_name);
    relation.m_name = name;
    ++m_declared_relations;
    relation.m_arity = static_cast<std::uint32_t>(arity);
    if (semantics == xcsp::REL_SOFT)
        throw qarn::AST_builder::unsupported("REL_SOFT: soft relations are not supported");
    relation.m_conflicts = semantics == xcsp::REL_CONFLICT;
    m_current_relation = id;
}

void xcsp_callbacks::addRelationTuple(int arity, const int* tuple) {
    relation_info_type& relation = m_relations.at(static_cast<std::size_t>(m_current_relation));
    if (static_cast<std::uint32_t>(arity) != relation.m_arity)
        error("Mismatch arity");
    relation.m_tuples.emplace_back(tuple, tuple + arity);
}

void xcsp_callbacks::addRelationTuple(int, const int*, int) {
    throw qarn::AST_builder::unsupported("Soft tuples are not supported");
}

void xcsp_callbacks::endRelation() {
    m_relations.at(static_cast<std::size_t>(m_current_relation)).build(m_memory_manager);
    m_current_relation = -1;
}

void xcsp_callbacks::endRelationsSection() {
    if (m_declared_relations != m_announced_relations)
        error("effective number of relations doesn't match the announced number");
}

// ---------------------------------------------------------------- predicates

void xcsp_callbacks::beginPredicatesSection(int) {}

void xcsp_callbacks::beginPredicate(const std::string& name, int id) {
    if (id < 0 || static_cast<std::size_t>(id) != m_predicates.size())
        error("Expecting a different predicate ID");
    m_predicates.emplace_back();
    m_predicates.back().m_name = name;
}

void xcsp_callbacks::addFormalParameter(int, const std::string&, const std::string&) {
    if (!m_predicates.empty())
        ++m_predicates.back().m_formal_count;
}

void xcsp_callbacks::predicateExpression(xcsp::AST* tree) {
    std::unique_ptr<xcsp::AST> owned(tree);
    if (m_predicates.empty() || m_predicates.back().m_expression)
        error("Updating an expression for an old predicate");
    m_predicates.back().m_expression = std::move(owned);
}

void xcsp_callbacks::predicateExpression(const std::string&) {
    throw qarn::AST_builder::unsupported("predicateExpression unsupported");
}

void xcsp_callbacks::endPredicate() {}

void xcsp_callbacks::endPredicatesSection() {}

// ---------------------------------------------------------------- constraints

void xcsp_callbacks::beginConstraintsSection(int) {}

void xcsp_callbacks::beginConstraint(const std::string& name, int, int,
                                     const std::string& reference, xcsp::CSPDefinitionType type,
                                     int refId, const xcsp::ASTList&) {
    switch (type) {
    case xcsp::RelationType:
        if (refId < 0 || static_cast<std::size_t>(refId) >= m_relations.size() ||
            m_relations[static_cast<std::size_t>(refId)].m_name != reference)
            error("relation name mismatch");
        break;
    case xcsp::PredicateType:
        if (refId < 0 || static_cast<std::size_t>(refId) >= m_predicates.size() ||
            m_predicates[static_cast<std::size_t>(refId)].m_name != reference)
            error("reference name mismatch");
        break;
    case xcsp::GlobalConstraintType:
        if (refId != 0 && refId != 5)
            throw qarn::AST_builder::unsupported("GlobalConstraintType unsupported");
        break;
    default:
        throw qarn::AST_builder::unsupported("Unsupported reference type");
    }
    m_constraint_name = name;
    m_reference_id = refId;
    m_reference_type = type;
}

void xcsp_callbacks::parameters_to_variables(const xcsp::AST& list, std::vector<unsigned>& vars) {
    for (int i = 0; i < list.nbArg(); ++i) {
        const xcsp::AST& node = *list.getArg(i);
        switch (node.getType()) {
        case xcsp::VAR:
            vars.push_back(static_cast<unsigned>(static_cast<const xcsp::ASTVar&>(node).index()));
            break;
        case xcsp::INTEGER:
            vars.push_back(
                m_solver.singleton_var(static_cast<const xcsp::ASTInteger&>(node).getValue()));
            break;
        case xcsp::BOOLEAN:
            vars.push_back(
                m_solver.singleton_var(static_cast<const xcsp::ASTBoolean&>(node).getValue() ? 1 : 0));
            break;
        case xcsp::LIST:
            parameters_to_variables(node, vars);
            break;
        default:
            throw qarn::AST_builder::unsupported("Unsupported expression in parameter " +
                                                 std::to_string(i) + ":" +
                                                 xcsp_callbacks_detail::infix(node));
        }
    }
}

void xcsp_callbacks::constraintParameters(const xcsp::ASTList& args) {
    if (m_reference_type == xcsp::GlobalConstraintType && m_reference_id == 5) {
        instantiate_weighted_sum_or_objective(args);
        return;
    }
    std::vector<unsigned> vars;
    parameters_to_variables(args, vars);
    switch (m_reference_type) {
    case xcsp::PredicateType: {
        const predicate_info_type& predicate = m_predicates[static_cast<std::size_t>(m_reference_id)];
        if (!predicate.m_expression)
            throw qarn::AST_builder::unsupported("predicate " + predicate.m_name +
                                                 " has no functional expression");
        if (vars.size() != static_cast<std::size_t>(predicate.m_formal_count))
            constraint_error(std::to_string(vars.size()) + " parameters for predicate " +
                             predicate.m_name + " of " +
                             std::to_string(predicate.m_formal_count) + " formal parameters");
        m_builder.connect_expr(vars, m_solver.singleton_var(1), *predicate.m_expression,
                               qarn::AST_builder::BOTH_WAYS);
        break;
    }
    case xcsp::GlobalConstraintType:
        if (m_reference_id != 0)
            throw qarn::AST_builder::unsupported("GlobalConstraintType unsupported");
        m_builder.instantiate_all_different(vars);
        break;
    case xcsp::RelationType: {
        const relation_info_type& relation = m_relations[static_cast<std::size_t>(m_reference_id)];
        if (vars.size() != relation.m_arity)
            constraint_error(std::to_string(vars.size()) + " variables for relation " +
                             relation.m_name + " of arity " + std::to_string(relation.m_arity));
        relation.instantiate(*this, vars);
        break;
    }
    default:
        throw qarn::AST_builder::unsupported("Unsupported reference type");
    }
}

void xcsp_callbacks::instantiate_weighted_sum_or_objective(const xcsp::ASTList& args) {
    const char* malformed = "global:weightedsum expects a list of { /coef integer /var variable } "
                            "dictionaries, a relational symbol and an integer";
    if (args.nbArg() != 3 || args.getArg(0)->getType() != xcsp::LIST ||
        args.getArg(2)->getType() != xcsp::INTEGER)
        constraint_error(malformed);
    long long rhs = static_cast<const xcsp::ASTInteger&>(*args.getArg(2)).getValue();
    bool ge = false, le = false;
    const xcsp::AST& symbol = *args.getArg(1);
    switch (symbol.getType()) {
    case xcsp::SYMB_EQ:
        ge = le = true;
        break;
    case xcsp::SYMB_GE:
        ge = true;
        break;
    case xcsp::SYMB_GT:
        ge = true;
        ++rhs;
        break;
    case xcsp::SYMB_LE:
        le = true;
        break;
    case xcsp::SYMB_LT:
        le = true;
        --rhs;
        break;
    case xcsp::SYMB_NIL:
    case xcsp::SYMB_NE:
        throw qarn::AST_builder::unsupported("global:weightedsum does not support '" +
                                             xcsp_callbacks_detail::infix(symbol) + "'");
    default:
        constraint_error(malformed);
    }
    const xcsp::AST& terms = *args.getArg(0);
    std::vector<int> coefficients;
    std::vector<unsigned> vars;
    coefficients.reserve(static_cast<std::size_t>(terms.nbArg()));
    vars.reserve(static_cast<std::size_t>(terms.nbArg()));
    for (int i = 0; i < terms.nbArg(); ++i) {
        const xcsp::AST& term = *terms.getArg(i);
        if (term.getType() != xcsp::DICT)
            constraint_error(malformed);
        const auto& dict = static_cast<const xcsp::ASTDict&>(term);
        const xcsp::AST* coef = dict.getArg(std::string("coef"));
        const xcsp::AST* var = dict.getArg(std::string("var"));
        if (!coef || !var || coef->getType() != xcsp::INTEGER || var->getType() != xcsp::VAR)
            constraint_error(malformed);
        coefficients.push_back(static_cast<const xcsp::ASTInteger&>(*coef).getValue());
        vars.push_back(static_cast<unsigned>(static_cast<const xcsp::ASTVar&>(*var).index()));
    }
    if (maybe_set_objective(coefficients, vars))
        return;
    if (ge)
        m_builder.instantiate_weighted_sum(coefficients, vars, true, rhs);
    if (le)
        m_builder.instantiate_weighted_sum(coefficients, vars, false, rhs);
}

bool xcsp_callbacks::maybe_set_objective(const std::vector<int>& coefficients,
                                         const std::vector<unsigned>& vars) {
    if (coefficients.size() != 1 || coefficients[0] != 0)
        return false;
    bool minimize;
    if (m_constraint_name.rfind("Optimize:maximize", 0) == 0)
        minimize = false;
    else if (m_constraint_name.rfind("Optimize:minimize", 0) == 0)
        minimize = true;
    else
        return false;
    m_solver.m_objective_var = static_cast<int>(vars[0]);
    m_solver.m_minimize = minimize;
    return true;
}

void xcsp_callbacks::endConstraint() {}

void xcsp_callbacks::endConstraintsSection() {
    if (m_builder.detect_all_different())
        m_builder.detect_all_diff();
    m_builder.connectivity().create_all_constraints();
}

void xcsp_callbacks::endInstance() {}
